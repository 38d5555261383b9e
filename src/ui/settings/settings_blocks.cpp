#include "ui/settings/settings_blocks.h"

#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"
#include "ui/surface/symbols.h"

#include <QColorDialog>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace nimbra::settings_style {

QColor orange(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor green(const QPalette& palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor separator(const QPalette& palette)
{
    return over(palette.color(QPalette::WindowText), isDark(palette) ? 0.22 : 0.18, palette.color(QPalette::Window));
}

QWidget* introBlock(const QString& heading, const QString& body)
{
    auto* block = new QWidget;
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(label(heading, TextStyle::title3, Tone::primary, QFont::DemiBold));
    column->addWidget(label(body, TextStyle::callout, Tone::secondary, QFont::Normal, true));
    return block;
}

QPushButton* smallButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setFont(font(TextStyle::callout));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

QPushButton* linkButton(const QString& title)
{
    auto* button = new QPushButton(title);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(font(TextStyle::caption));
    button->setForegroundRole(QPalette::Link);
    // No bezel, and the text in the link colour of whichever palette the window has.
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0 2px; color: palette(link); }"));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

QLabel* valueLabel(int width)
{
    QLabel* value = label({}, TextStyle::callout, Tone::secondary);
    value->setFixedWidth(width);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return value;
}

} // namespace nimbra::settings_style

namespace nimbra {

using namespace settings_style;

QComboBox* popUpPicker(SettingsView& view, int width, const QStringList& titles, std::function<int()> current,
    std::function<void(int)> choose)
{
    auto* picker = new QComboBox;
    picker->setFixedWidth(width);
    picker->addItems(titles);
    QObject::connect(picker, &QComboBox::activated, picker, [choose = std::move(choose)](int index) {
        if (index >= 0)
            choose(index);
    });
    view.followSettings(picker, [picker, current = std::move(current)] {
        const int index = current();
        if (picker->currentIndex() != index)
            picker->setCurrentIndex(index);
    });
    return picker;
}

void setOpacity(QWidget* widget, double opacity)
{
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (opacity >= 1) {
        // An effect renders through an offscreen pixmap: none at all at full opacity.
        if (effect)
            widget->setGraphicsEffect(nullptr);
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect;
        widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}

void enableAndDimWhile(SettingsView& view, QWidget* widget, std::function<bool()> condition)
{
    // Dimmed by the disabled colours alone: half opacity on top of them (and a quarter in a
    // group inside another) left the texts unreadable, in the dark appearance above all.
    view.followSettings(widget, [widget, condition = std::move(condition)] { widget->setEnabled(condition()); });
}

SignalLabel::SignalLabel(const QString& text, settings_style::TextStyle style, Colour colour, QWidget* parent)
    : QLabel(text, parent)
    , m_colour(colour)
{
    setTextFormat(Qt::PlainText);
    setFont(settings_style::font(style));
    apply();
}

void SignalLabel::setColour(Colour colour)
{
    m_colour = colour;
    apply();
}

void SignalLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    // A new window palette (light or dark) brings its own shade of the colour.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
        apply();
}

void SignalLabel::apply()
{
    // Read from the window's palette, not this label's own, which holds the colour set here.
    const QColor wanted = m_colour(parentWidget() ? parentWidget()->palette() : palette());
    if (palette().color(QPalette::WindowText) == wanted)
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, wanted);
    setPalette(pal);
}

// MARK: Note box

namespace {

// The note's symbol at 15 points, in green or the secondary colour.
class NoteSymbol : public QWidget {
public:
    NoteSymbol(QString name, bool isGreen)
        : m_name(std::move(name))
        , m_green(isGreen)
    {
        const int side = int(std::ceil(symbols::side(15)));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        symbols::draw(p, m_name, QRectF(rect()), 15, m_green ? green(palette()) : secondary(palette()));
    }

private:
    QString m_name;
    bool m_green;
};

// The bezel of a small control: a rounded, button-coloured box, outlined in the accent colour
// while the control has the focus. Returns the box.
QRectF drawBezel(QPainter& p, const QWidget& control, double radius)
{
    const QPalette& pal = control.palette();
    const QRectF box = QRectF(control.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(control.hasFocus() ? accent(pal) : separator(pal), 1));
    p.setBrush(pal.color(QPalette::Button));
    p.drawRoundedRect(box, radius, radius);
    return box;
}

} // namespace

NoteBox::NoteBox(const QString& symbol, Tint tint, QWidget* content, QWidget* parent)
    : QWidget(parent)
    , m_tint(tint)
{
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(12, 12, 12, 12);
    line->setSpacing(10);
    line->addWidget(new NoteSymbol(symbol, tint == NoteBox::Tint::green), 0, Qt::AlignVCenter);
    line->addWidget(content, 1, Qt::AlignVCenter);
}

void NoteBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor fill = m_tint == Tint::green
        ? over(green(pal), 0.08, pal.color(QPalette::Window))
        : over(pal.color(QPalette::WindowText), 0.05, pal.color(QPalette::Window));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()), 9, 9);
}

// MARK: Stepper

StepperControl::StepperControl(int minimum, int maximum, QWidget* parent)
    : QWidget(parent)
    , m_minimum(minimum)
    , m_maximum(std::max(minimum, maximum))
    , m_value(minimum)
{
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void StepperControl::setValue(int value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void StepperControl::step(int direction)
{
    // A value outside the range (stored by hand) steps back into it.
    const int next = std::clamp(m_value + (direction > 0 ? 1 : -1), m_minimum, m_maximum);
    if (next == m_value)
        return;
    m_value = next;
    update();
    Q_EMIT stepped(m_value);
}

void StepperControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled())
        return QWidget::mousePressEvent(event);
    step(event->position().y() < height() / 2.0 ? 1 : -1);
}

void StepperControl::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        step(1);
        return;
    case Qt::Key_Down:
        step(-1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void StepperControl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF box = drawBezel(p, *this, 4);
    p.setPen(QPen(separator(pal), 1));
    p.drawLine(QPointF(box.left() + 2, box.center().y()), QPointF(box.right() - 2, box.center().y()));

    const auto chevron = [&](bool up, bool enabled) {
        const double cx = box.center().x();
        const double cy = up ? box.top() + box.height() * 0.27 : box.bottom() - box.height() * 0.27;
        const double w = 3, h = up ? -1.8 : 1.8;
        QColor ink = enabled && isEnabled() ? pal.color(QPalette::WindowText) : tertiary(pal);
        p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF points[] = { { cx - w, cy - h }, { cx, cy + h }, { cx + w, cy - h } };
        p.drawPolyline(points, 3);
    };
    chevron(true, m_value < m_maximum);
    chevron(false, m_value > m_minimum);
}

// MARK: Colour well

ColourWell::ColourWell(QWidget* parent)
    : QAbstractButton(parent)
    , m_colour(Qt::white)
{
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::clicked, this, &ColourWell::choose);
}

void ColourWell::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void ColourWell::choose()
{
    auto* dialog = new QColorDialog(m_colour, window());
    dialog->setOption(QColorDialog::ShowAlphaChannel, false);
    dialog->setWindowTitle(accessibleName());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor& chosen) {
        if (!chosen.isValid())
            return;
        setColour(chosen);
        if (onPick)
            onPick(chosen);
    });
    dialog->open();
}

void ColourWell::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF box = drawBezel(p, *this, 5);
    QColor swatch = m_colour;
    if (!isEnabled())
        swatch = over(swatch, 0.5, pal.color(QPalette::Window));
    p.setPen(QPen(over(pal.color(QPalette::WindowText), 0.25, swatch), 1));
    p.setBrush(swatch);
    p.drawRoundedRect(box.adjusted(4, 4, -4, -4), 3, 3);
}

} // namespace nimbra
