#pragma once

#include "core/key_combo.h"
#include "ui/settings/settings_view.h"

#include <QWidget>
#include <functional>
#include <optional>

class QKeyEvent;

namespace nimbra {

// The control that records the clipboard's hot key. A click (or Space on the focused control)
// starts recording and takes the whole keyboard, so the next combination reaches it even when
// the desktop or another window would act on it; the first key pressed with Super, Alt or Ctrl
// becomes the new hot key and is written through the binding at once.
// Escape or a second click cancels. A combination another program holds is refused with a hint
// (the recording goes on), since the shell could never bind it. Re-binding the global hot key
// is the shell's business, through the settings it applies.
//
// Recording never outlives the control's use: it stops, and lets the keyboard go, when the
// control hides (its page or window closes), loses the focus, its window is deactivated, or it
// is destroyed.
class ShortcutRecorder : public QWidget {
    Q_OBJECT
public:
    // `isHeldElsewhere` says whether another program holds a combination; none: nobody does.
    explicit ShortcutRecorder(Binding<KeyCombo> combo, std::function<bool(const KeyCombo&)> isHeldElsewhere = {},
        QWidget* parent = nullptr);
    ~ShortcutRecorder() override;

    // What one key press means while recording.
    struct Press {
        enum class Kind {
            modifierOnly, // a modifier going down alone: nothing happens
            cancel, // Escape
            combo, // a usable combination: recorded
            needsModifier, // no Super, Alt or Ctrl: refused with a hint
            unknownKey // a key without a place in the hot key's key table: refused with a hint
        };
        Kind kind;
        KeyCombo combo;
        friend bool operator==(const Press&, const Press&) = default;
    };
    // `nativeScanCode` is the X key code; Qt's Meta is Super.
    static Press press(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode);

    static QString needsModifierHint() { return QStringLiteral("Needs Super, Alt or Ctrl"); }
    static QString unknownKeyHint() { return QStringLiteral("Pick another key"); }
    static QString heldElsewhereHint() { return QStringLiteral("Another program uses this shortcut"); }
    static QString recordingPrompt() { return QStringLiteral("Press keys…"); }

    KeyCombo combo() const { return m_combo; }
    bool isRecording() const { return m_recording; }
    const std::optional<QString>& warning() const { return m_warning; }
    // The text drawn: the warning, else the prompt while recording, else the combination.
    QString text() const;

    void startRecording();
    void stopRecording();
    // Shows the bound value again, unless a recording runs (it is taken when that ends).
    void refresh();

    // 150 × 26, or wider where the hints or the combination need it (the desktop's key names
    // are longer than symbols); it changes only with the combination.
    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void recordKey(const QKeyEvent& event);
    void showCombo(const KeyCombo& combo);

    Binding<KeyCombo> m_binding;
    std::function<bool(const KeyCombo&)> m_isHeldElsewhere;
    KeyCombo m_combo;
    bool m_recording = false;
    std::optional<QString> m_warning;
};

} // namespace nimbra
