#include "ui/settings/shortcut_recorder.h"

#include "platform/x11/key_positions.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_style.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace nimbra {

using namespace settings_style;

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

constexpr std::uint32_t kEscape = 53;

} // namespace

ShortcutRecorder::ShortcutRecorder(
    Binding<KeyCombo> combo, std::function<bool(const KeyCombo&)> isHeldElsewhere, QWidget* parent)
    : QWidget(parent)
    , m_binding(std::move(combo))
    , m_isHeldElsewhere(std::move(isHeldElsewhere))
    , m_combo(m_binding.get())
{
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Shortcut"));
    setToolTip(QStringLiteral("Click, then press the new shortcut; Escape cancels. Some Super combinations belong "
                              "to the desktop and never reach Nimbra: pick another one then."));
}

ShortcutRecorder::~ShortcutRecorder()
{
    stopRecording();
}

ShortcutRecorder::Press ShortcutRecorder::press(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode)
{
    if (isModifierKey(key))
        return { Press::Kind::modifierOnly, {} };
    const std::optional<std::uint32_t> place
        = nativeScanCode <= 0xff ? x11::virtualKeyCodeAt(std::uint8_t(nativeScanCode)) : std::nullopt;
    if (key == Qt::Key_Escape || place == kEscape)
        return { Press::Kind::cancel, {} };
    std::uint32_t mask = 0;
    if (modifiers & Qt::MetaModifier)
        mask |= KeyCombo::cmd;
    if (modifiers & Qt::ShiftModifier)
        mask |= KeyCombo::shift;
    if (modifiers & Qt::AltModifier)
        mask |= KeyCombo::option;
    if (modifiers & Qt::ControlModifier)
        mask |= KeyCombo::control;
    if (!(mask & KeyCombo::usableMask))
        return { Press::Kind::needsModifier, {} };
    // Stored combinations name a key by its place; one the table has no place for could never
    // be grabbed again.
    if (!place)
        return { Press::Kind::unknownKey, {} };
    return { Press::Kind::combo, KeyCombo { *place, mask } };
}

QSize ShortcutRecorder::sizeHint() const
{
    const QFontMetrics metrics(settings_style::font(TextStyle::callout, QFont::Medium));
    int widest = 0;
    for (const QString& text :
        { needsModifierHint(), unknownKeyHint(), heldElsewhereHint(), recordingPrompt(), m_combo.displayString() })
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return { std::max(150, widest + 24), 26 };
}

void ShortcutRecorder::showCombo(const KeyCombo& combo)
{
    m_combo = combo;
    setFixedSize(sizeHint());
    update();
}

QString ShortcutRecorder::text() const
{
    if (m_warning)
        return *m_warning;
    if (m_recording)
        return recordingPrompt();
    return m_combo.displayString();
}

void ShortcutRecorder::startRecording()
{
    if (m_recording)
        return;
    m_recording = true;
    m_warning.reset();
    if (window() && isVisible())
        setFocus(Qt::OtherFocusReason);
    // The whole keyboard: a combination the desktop or another window acts on reaches the
    // recorder instead.
    grabKeyboard();
    update();
}

void ShortcutRecorder::stopRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    releaseKeyboard();
    // The hint belonged to that recording: the combination shows again.
    m_warning.reset();
    showCombo(m_binding.get());
}

void ShortcutRecorder::refresh()
{
    if (m_recording)
        return;
    const KeyCombo bound = m_binding.get();
    if (bound == m_combo)
        return;
    showCombo(bound);
}

void ShortcutRecorder::recordKey(const QKeyEvent& event)
{
    const Press result = press(event.key(), event.modifiers(), event.nativeScanCode());
    switch (result.kind) {
    case Press::Kind::modifierOnly:
        return;
    case Press::Kind::cancel:
        stopRecording();
        return;
    case Press::Kind::needsModifier:
        m_warning = needsModifierHint();
        update();
        return;
    case Press::Kind::unknownKey:
        m_warning = unknownKeyHint();
        update();
        return;
    case Press::Kind::combo:
        // Written, it would leave the clipboard without a hot key: the old one stays.
        if (result.combo != m_binding.get() && m_isHeldElsewhere && m_isHeldElsewhere(result.combo)) {
            m_warning = heldElsewhereHint();
            update();
            return;
        }
        showCombo(result.combo);
        m_binding.set(result.combo);
        stopRecording();
        return;
    }
}

bool ShortcutRecorder::event(QEvent* event)
{
    if (m_recording) {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // No shortcut of the application fires while recording: the key comes here.
            event->accept();
            return true;
        case QEvent::KeyPress:
            // Tab and Backtab too, before they would move the focus.
            recordKey(*static_cast<QKeyEvent*>(event));
            return true;
        case QEvent::KeyRelease:
            return true;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event)
{
    // Idle: Space or Return on the focused control starts recording, as a click does.
    if (event->modifiers() == Qt::NoModifier
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        startRecording();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShortcutRecorder::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    if (m_recording)
        stopRecording();
    else
        startRecording();
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    stopRecording();
}

void ShortcutRecorder::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    stopRecording();
}

void ShortcutRecorder::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        stopRecording();
}

void ShortcutRecorder::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = m_recording ? accent(pal) : pal.color(QPalette::WindowText);
    fill.setAlphaF(m_recording ? 0.16f : 0.06f);
    QPainterPath shape;
    shape.addRoundedRect(outline, 6, 6);
    p.fillPath(shape, fill);
    if (m_recording) {
        p.setPen(QPen(accent(pal), 2));
    } else if (hasFocus()) {
        QColor ring = accent(pal);
        ring.setAlphaF(0.6f);
        p.setPen(QPen(ring, 2));
    } else {
        p.setPen(QPen(separator(pal), 1));
    }
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);

    QColor ink = pal.color(QPalette::WindowText);
    if (m_warning)
        ink = orange(pal);
    else if (m_recording)
        ink = secondary(pal);
    p.setPen(ink);
    p.setFont(settings_style::font(TextStyle::callout, m_recording ? QFont::Normal : QFont::Medium));
    p.drawText(outline, Qt::AlignCenter, text());
}

} // namespace nimbra
