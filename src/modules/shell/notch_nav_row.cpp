#include "modules/shell/notch_nav_row.h"

#include "core/clamped.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QAbstractButton>
#include <QPainter>
#include <cmath>

namespace nimbra {

QString rawValue(NotchSurfaceTab tab)
{
    switch (tab) {
    case NotchSurfaceTab::music:
        return QStringLiteral("music");
    case NotchSurfaceTab::clipboard:
        return QStringLiteral("clipboard");
    case NotchSurfaceTab::shelf:
        return QStringLiteral("shelf");
    case NotchSurfaceTab::timer:
        return QStringLiteral("timer");
    case NotchSurfaceTab::status:
        return QStringLiteral("status");
    case NotchSurfaceTab::settings:
        return QStringLiteral("settings");
    }
    return {};
}

template <> std::optional<NotchSurfaceTab> fromRawValue<NotchSurfaceTab>(QStringView raw)
{
    for (NotchSurfaceTab tab : kNotchSurfaceTabs) {
        if (raw == rawValue(tab))
            return tab;
    }
    return std::nullopt;
}

QString title(NotchSurfaceTab tab)
{
    switch (tab) {
    case NotchSurfaceTab::music:
        return QStringLiteral("Now Playing");
    case NotchSurfaceTab::clipboard:
        return QStringLiteral("Clipboard");
    case NotchSurfaceTab::shelf:
        return QStringLiteral("Shelf");
    case NotchSurfaceTab::timer:
        return QStringLiteral("Timers");
    case NotchSurfaceTab::status:
        return QStringLiteral("Status");
    case NotchSurfaceTab::settings:
        return QStringLiteral("Settings");
    }
    return {};
}

QString symbol(NotchSurfaceTab tab)
{
    switch (tab) {
    case NotchSurfaceTab::music:
        return QStringLiteral("music.note");
    case NotchSurfaceTab::clipboard:
        return QStringLiteral("doc.on.clipboard");
    case NotchSurfaceTab::shelf:
        return QStringLiteral("tray.full");
    case NotchSurfaceTab::timer:
        return QStringLiteral("stopwatch");
    case NotchSurfaceTab::status:
        return QStringLiteral("gauge.with.dots.needle.33percent");
    case NotchSurfaceTab::settings:
        return QStringLiteral("gearshape.fill");
    }
    return {};
}

bool isLeading(NotchSurfaceTab tab)
{
    return tab == NotchSurfaceTab::music || tab == NotchSurfaceTab::clipboard || tab == NotchSurfaceTab::shelf
        || tab == NotchSurfaceTab::timer;
}

namespace {

constexpr double kFullPitch = 17; // narrower than this, a row collapses
constexpr double kCollapsedPitch = 20;

// One tab button: the tab's symbol on a rounded well that shows selection and hover.
class NavButton : public QAbstractButton {
public:
    NavButton(NotchSurfaceTab tab, bool isSelected, double pitch, std::function<void()> action, QWidget* parent)
        : QAbstractButton(parent)
        , m_tab(tab)
        , m_isSelected(isSelected)
        , m_pitch(pitch)
    {
        setToolTip(title(tab));
        setAccessibleName(title(tab));
        setFocusPolicy(Qt::NoFocus);
        setCheckable(false);
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
            if (action)
                action();
        });
    }

protected:
    void enterEvent(QEnterEvent* event) override
    {
        m_hovering = true;
        update();
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent* event) override
    {
        m_hovering = false;
        update();
        QAbstractButton::leaveEvent(event);
    }
    void paintEvent(QPaintEvent*) override
    {
        const NotchTheme theme = notchTheme(this);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(theme.well(m_isSelected ? 0.16 : m_hovering ? 0.08 : 0));
        p.drawRoundedRect(QRectF(rect()), 5, 5);
        const QColor foreground = m_isSelected ? theme.primaryText()
            : m_hovering                       ? theme.secondaryText(0.75)
                                               : theme.secondaryText(0.4);
        symbols::draw(p, symbol(m_tab), QRectF(rect()), NotchNavRow::symbolSize(m_pitch), foreground, QFont::DemiBold);
    }

private:
    NotchSurfaceTab m_tab;
    bool m_isSelected;
    double m_pitch;
    bool m_hovering = false;
};

// The "ellipsis" button of a collapsed row.
class OverflowButton : public QAbstractButton {
public:
    OverflowButton(double pitch, QWidget* parent)
        : QAbstractButton(parent)
        , m_pitch(pitch)
    {
        setToolTip(QStringLiteral("More surfaces"));
        setAccessibleName(QStringLiteral("More surfaces"));
        setFocusPolicy(Qt::NoFocus);
    }

    static QSizeF frame(double pitch)
    {
        if (pitch <= kCollapsedPitch)
            return { 17, 14.4 };
        return { NotchNavRow::buttonWidth(pitch), NotchNavRow::buttonHeight(pitch) };
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        // The same soft white in both themes.
        const double size = m_pitch <= kCollapsedPitch ? 9.2 : NotchNavRow::symbolSize(m_pitch);
        symbols::draw(
            p, QStringLiteral("ellipsis"), QRectF(rect()), size, QColor::fromRgbF(1, 1, 1, 0.45f), QFont::DemiBold);
    }

private:
    double m_pitch;
};

QRect snapped(const QRectF& r)
{
    return QRect(int(std::round(r.left())), int(std::round(r.top())), std::max(1, int(std::round(r.width()))),
        std::max(1, int(std::round(r.height()))));
}

} // namespace

double NotchNavRow::buttonHeight(double pitch)
{
    return clamped(pitch * 0.72, 14.0, 26.0);
}

double NotchNavRow::symbolSize(double pitch)
{
    return clamped(pitch * 0.46, 8.0, 18.0);
}

NotchNavRow::NotchNavRow(const QList<NotchSurfaceTab>& tabs, Side side, NotchSurfaceTab selection, double width,
    double pitch, std::function<void(NotchSurfaceTab)> select, QWidget* parent)
    : QWidget(parent)
    , onSelect(std::move(select))
    , m_tabs(tabs)
    , m_side(side)
    , m_selection(selection)
    , m_width(std::max(0.0, width))
    , m_pitch(pitch)
{
    setAttribute(Qt::WA_TranslucentBackground);
    build();
}

NotchNavRow::Form NotchNavRow::form() const
{
    if (m_tabs.isEmpty())
        return Form::empty;
    return m_pitch >= kFullPitch ? Form::full : Form::collapsed;
}

std::optional<NotchSurfaceTab> NotchNavRow::overflowTarget() const
{
    if (m_tabs.isEmpty())
        return std::nullopt;
    const int position = int(m_tabs.indexOf(m_selection)); // −1 when on the other side
    return m_tabs[(position + 1) % m_tabs.size()];
}

void NotchNavRow::build()
{
    auto select = [this](NotchSurfaceTab tab) {
        if (onSelect)
            onSelect(tab);
    };
    switch (form()) {
    case Form::empty:
        return;
    case Form::full:
        for (NotchSurfaceTab tab : m_tabs) {
            m_buttons.append(new NavButton(
                tab, tab == m_selection, m_pitch, [select, tab] { select(tab); }, this));
            m_slots.append(m_pitch);
        }
        break;
    case Form::collapsed: {
        const double p = std::max(m_pitch, kCollapsedPitch);
        if (m_tabs.contains(m_selection)) {
            // Already selected: clicking it changes nothing.
            m_buttons.append(new NavButton(m_selection, true, p, nullptr, this));
            m_slots.append(p);
        }
        m_overflow = new OverflowButton(m_pitch, this);
        connect(m_overflow, &QAbstractButton::clicked, this, [this, select] {
            if (const std::optional<NotchSurfaceTab> next = overflowTarget())
                select(*next);
        });
        break;
    }
    }
    place();
}

void NotchNavRow::resizeEvent(QResizeEvent*)
{
    place();
}

void NotchNavRow::place()
{
    QList<std::pair<QWidget*, QSizeF>> items; // each widget with its slot (width) and frame
    double total = 0;
    for (int i = 0; i < m_buttons.size(); ++i)
        total += m_slots[i];
    const QSizeF overflowFrame = OverflowButton::frame(m_pitch);
    if (m_overflow)
        total += overflowFrame.width();

    // Buttons hug the outer edge of their strip; the flexible space faces the notch.
    double x = m_side == Side::leading ? 0 : width() - total;
    const double midY = height() / 2.0;
    for (int i = 0; i < m_buttons.size(); ++i) {
        const double slot = m_slots[i];
        const double w = buttonWidth(slot), h = buttonHeight(slot);
        m_buttons[i]->setGeometry(snapped(QRectF(x + (slot - w) / 2, midY - h / 2, w, h)));
        x += slot;
    }
    if (m_overflow)
        m_overflow->setGeometry(
            snapped(QRectF(x, midY - overflowFrame.height() / 2, overflowFrame.width(), overflowFrame.height())));
}

} // namespace nimbra
