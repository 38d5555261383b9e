#include "ui/settings/priority_music_pages.h"

#include "core/nimbra_settings.h"
#include "ui/settings/music_previews.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"
#include "ui/surface/symbols.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

using namespace settings_style;

// MARK: Priority list

PriorityList::PriorityList(NimbraSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Readout order"));
    setAccessibleDescription(QStringLiteral("Drag a row, or press Alt with the up or down arrow, to move it."));
    setFixedHeight(sizeHint().height());
    connect(&m_settings, &NimbraSettings::changed, this, [this](NimbraSettings::Property property) {
        if (property == NimbraSettings::Property::activityOrder) {
            setFixedHeight(sizeHint().height());
            update();
        }
    });
}

QSize PriorityList::sizeHint() const
{
    return { 400, rowHeight * int(m_settings.activityOrder().size()) + 2 * inset };
}

QList<ActivityCategory> PriorityList::moved(QList<ActivityCategory> order, int from, int to)
{
    if (from < 0 || from >= order.size() || to < 0 || to > order.size())
        return order;
    const ActivityCategory entry = order.takeAt(from);
    order.insert(to > from ? to - 1 : to, entry);
    return order;
}

QRectF PriorityList::rowRect(int index) const
{
    return QRectF(inset, inset + index * rowHeight, width() - 2 * inset, rowHeight);
}

std::optional<int> PriorityList::rowAt(QPointF point) const
{
    const int count = int(m_settings.activityOrder().size());
    for (int i = 0; i < count; ++i) {
        if (rowRect(i).contains(point))
            return i;
    }
    return std::nullopt;
}

int PriorityList::landing() const
{
    const int count = int(m_settings.activityOrder().size());
    if (!m_pressed)
        return 0;
    const double centre = rowRect(*m_pressed).center().y() + m_dragOffset;
    return std::clamp(int((centre - inset) / rowHeight), 0, count - 1);
}

void PriorityList::moveRow(int from, int landingIndex)
{
    if (from == landingIndex)
        return;
    const int to = landingIndex > from ? landingIndex + 1 : landingIndex;
    m_settings.setActivityOrder(moved(m_settings.activityOrder(), from, to));
}

void PriorityList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressed = rowAt(event->position());
    m_pressAt = event->position();
    m_dragOffset = 0;
    m_dragging = false;
    if (m_pressed)
        m_focused = *m_pressed;
    update();
}

void PriorityList::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed)
        return;
    const QPointF delta = event->position() - m_pressAt;
    if (!m_dragging && delta.manhattanLength() < QApplication::startDragDistance())
        return;
    m_dragging = true;
    // The row follows the pointer, but stays within the list.
    const double lowest = -(*m_pressed) * rowHeight;
    const double highest = (int(m_settings.activityOrder().size()) - 1 - *m_pressed) * rowHeight;
    m_dragOffset = std::clamp(delta.y(), lowest, highest);
    setCursor(Qt::ClosedHandCursor);
    update();
}

void PriorityList::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed)
        return QWidget::mouseReleaseEvent(event);
    const int from = *m_pressed;
    const int to = landing();
    const bool dragged = m_dragging;
    m_pressed.reset();
    m_dragging = false;
    m_dragOffset = 0;
    unsetCursor();
    if (dragged) {
        m_focused = to;
        moveRow(from, to);
    }
    update();
}

void PriorityList::keyPressEvent(QKeyEvent* event)
{
    const int count = int(m_settings.activityOrder().size());
    const bool moving = event->modifiers() & (Qt::AltModifier | Qt::ControlModifier);
    int step = 0;
    if (event->key() == Qt::Key_Up)
        step = -1;
    else if (event->key() == Qt::Key_Down)
        step = 1;
    if (step == 0 || count == 0)
        return QWidget::keyPressEvent(event);
    const int target = std::clamp(m_focused + step, 0, count - 1);
    if (moving)
        moveRow(m_focused, target);
    m_focused = target;
    update();
}

void PriorityList::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void PriorityList::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void PriorityList::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QList<ActivityCategory>& order = m_settings.activityOrder();
    const int count = int(order.size());

    p.setPen(Qt::NoPen);
    p.setBrush(pal.color(QPalette::Base));
    p.drawRoundedRect(QRectF(rect()), 9, 9);

    // Where each row is drawn: while a row is dragged, the rows it passes make room for it.
    const int from = m_pressed.value_or(-1);
    const int to = m_dragging ? landing() : from;
    const auto slot = [&](int index) {
        if (!m_dragging || index == from)
            return index;
        if (from < to && index > from && index <= to)
            return index - 1;
        if (to < from && index >= to && index < from)
            return index + 1;
        return index;
    };

    // Alternating backgrounds follow the places, not the rows that move through them.
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 1) {
            p.setBrush(pal.color(QPalette::AlternateBase));
            p.drawRoundedRect(rowRect(i), 6, 6);
        }
    }

    const QFont rankFont = settings_style::font(TextStyle::callout, QFont::Medium);
    const QFont titleFont = settings_style::font(TextStyle::body, QFont::Medium);
    const QFont detailFont = settings_style::font(TextStyle::caption);
    const auto paintRow = [&](int index, QRectF r, bool lifted) {
        const ActivityCategory category = order[index];
        if (lifted) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, isDark(pal) ? 90 : 36));
            p.drawRoundedRect(r.translated(0, 2), 6, 6);
            p.setBrush(pal.color(QPalette::Base));
            p.drawRoundedRect(r, 6, 6);
        }
        if (hasFocus() && index == m_focused && !lifted) {
            QColor ring = accent(pal);
            ring.setAlphaF(0.6f);
            p.setPen(QPen(ring, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 6, 6);
        }
        const QRectF content = r.adjusted(12, 5, -12, -5);
        double x = content.left();
        p.setFont(rankFont);
        p.setPen(secondary(pal));
        p.drawText(QRectF(x, content.top(), 16, content.height()), Qt::AlignRight | Qt::AlignVCenter,
            QString::number(index + 1));
        x += 16 + 12;
        symbols::draw(p, symbol(category), QRectF(x, content.center().y() - 11, 22, 22), 13, accent(pal));
        x += 22 + 12;
        const double handle = symbols::side(12);
        const QRectF handleBox(content.right() - handle, content.center().y() - handle / 2, handle, handle);
        symbols::draw(p, QStringLiteral("line.3.horizontal"), handleBox, 12, tertiary(pal));
        const double textWidth = handleBox.left() - 12 - x;
        const QFontMetricsF titleMetrics(titleFont), detailMetrics(detailFont);
        const double block = titleMetrics.height() + 1 + detailMetrics.height();
        double y = content.center().y() - block / 2;
        p.setFont(titleFont);
        p.setPen(pal.color(QPalette::WindowText));
        p.drawText(
            QPointF(x, y + titleMetrics.ascent()), titleMetrics.elidedText(title(category), Qt::ElideRight, textWidth));
        y += titleMetrics.height() + 1;
        p.setFont(detailFont);
        p.setPen(secondary(pal));
        p.drawText(QPointF(x, y + detailMetrics.ascent()),
            detailMetrics.elidedText(detail(category), Qt::ElideRight, textWidth));
    };
    for (int i = 0; i < count; ++i) {
        if (m_dragging && i == from)
            continue;
        paintRow(i, rowRect(slot(i)), false);
    }
    if (m_dragging && from >= 0 && from < count)
        paintRow(from, rowRect(from).translated(0, m_dragOffset), true);
}

// MARK: Pages

void priorityPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();
    auto* heading = new QWidget;
    auto* headingLayout = new QVBoxLayout(heading);
    headingLayout->setContentsMargins(0, 0, 0, 0);
    headingLayout->setSpacing(6);
    headingLayout->addWidget(
        label(QStringLiteral("When two things happen at once"), TextStyle::title3, Tone::primary, QFont::DemiBold));
    headingLayout->addWidget(label(QStringLiteral("Everything gets shown — this is the order they appear in. Drag to "
                                                  "rearrange."),
        TextStyle::callout, Tone::secondary, QFont::Normal, true));
    column.addWidget(heading);

    column.addWidget(new PriorityList(settings));

    auto* note = new QHBoxLayout;
    note->setSpacing(10);
    auto* info = new SymbolView(QStringLiteral("info.circle"), 13, SymbolView::Tint::secondary);
    note->addWidget(info, 0, Qt::AlignTop);
    note->addWidget(label(QStringLiteral("Nothing is skipped. If a charger event and a brightness change land "
                                         "together, one plays and the other follows straight after."),
                        TextStyle::callout, Tone::secondary, QFont::Normal, true),
        1);
    column.addLayout(note);

    auto* resetLine = new QHBoxLayout;
    auto* reset = new QPushButton(QStringLiteral("Reset Order"));
    reset->setFont(font(TextStyle::callout));
    QObject::connect(reset, &QPushButton::clicked, reset, [&settings] {
        const std::vector<ActivityCategory> order = activityCategoryDefaultOrder();
        settings.setActivityOrder(QList<ActivityCategory>(order.begin(), order.end()));
    });
    resetLine->addWidget(reset);
    resetLine->addStretch(1);
    column.addLayout(resetLine);
}

void musicPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();
    auto* demo = new MusicBehaviourDemo(view.previewTheme(), false, false);
    view.followSettings(demo, [demo, &settings] {
        demo->setBehaviour(settings.nowPlayingActivity() && settings.nowPlayingEnabled(),
            settings.nowPlayingResident() && settings.nowPlayingEnabled());
    });
    QObject::connect(
        &view, &SettingsView::previewThemeChanged, demo, [demo, &view] { demo->setTheme(view.previewTheme()); });
    column.addWidget(demo);

    column.addWidget(view.switchRow(QStringLiteral("Show what's playing"),
        QStringLiteral("Spotify and any other player on MPRIS, browsers included. A player that doesn't publish "
                       "MPRIS can't be seen."),
        view.bind<bool>(&NimbraSettings::nowPlayingEnabled, &NimbraSettings::setNowPlayingEnabled)));
    column.addWidget(divider());
    QWidget* announce = view.switchRow(QStringLiteral("Announce new tracks"),
        QStringLiteral("A brief readout when the track changes, then it hides again."),
        view.bind<bool>(&NimbraSettings::nowPlayingActivity, &NimbraSettings::setNowPlayingActivity));
    view.enableWhile(announce, [&settings] { return settings.nowPlayingEnabled(); });
    column.addWidget(announce);
    QWidget* resident = view.switchRow(QStringLiteral("Keep it visible while playing"),
        QStringLiteral("Leaves a small indicator in the notch until playback stops. Off by default — hovering "
                       "brings the player back whenever you want it."),
        view.bind<bool>(&NimbraSettings::nowPlayingResident, &NimbraSettings::setNowPlayingResident));
    view.enableWhile(resident, [&settings] { return settings.nowPlayingEnabled(); });
    column.addWidget(resident);
}

} // namespace nimbra
