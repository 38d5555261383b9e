#include "settings_fixture.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/shortcut_recorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;
using Kind = ShortcutRecorder::Press::Kind;

namespace {

// X key codes of a keyboard with the usual evdev codes.
constexpr quint32 xA = 38, xQ = 24, xC = 54, xV = 55, xSpace = 65, xEscape = 9, xSuperL = 133, xAltL = 64, xF13 = 191,
                  xKeypad1 = 87;

// A recorder bound to a value of the test's own, in a window with a text field beside it.
struct RecorderBench {
    RecorderBench()
    {
        window.setPalette(settings_style::palette(false));
        auto* layout = new QVBoxLayout(&window);
        recorder = new ShortcutRecorder(
            Binding<KeyCombo> { [this] { return stored; },
                [this](const KeyCombo& combo) {
                    stored = combo;
                    writes << combo;
                } },
            [this](const KeyCombo& combo) { return heldElsewhere.contains(combo); });
        field = new QLineEdit;
        layout->addWidget(recorder);
        layout->addWidget(field);
        window.resize(240, 90);
        window.show();
        QApplication::processEvents();
    }

    // A key going down (and up) as the window system delivers it to the recorder.
    void type(int key, Qt::KeyboardModifiers modifiers, quint32 scanCode)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, scanCode, 0, 0);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, scanCode, 0, 0);
        QApplication::sendEvent(recorder, &press);
        QApplication::sendEvent(recorder, &release);
    }

    QImage render(bool dark)
    {
        recorder->setPalette(settings_style::palette(dark));
        QImage image(recorder->size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(settings_style::palette(dark).color(QPalette::Window));
        recorder->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    KeyCombo stored = KeyCombo::defaultClipboard;
    QList<KeyCombo> writes;
    // Combinations another program holds.
    QList<KeyCombo> heldElsewhere;
    QWidget window;
    ShortcutRecorder* recorder;
    QLineEdit* field;
};

// Whether any pixel of `image` is close to `colour`.
bool hasColour(const QImage& image, const QColor& colour, int tolerance = 40)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green())
                    + std::abs(c.blue() - colour.blue())
                < tolerance)
                return true;
        }
    }
    return false;
}

} // namespace

TEST(ShortcutRecorderPress, KeysAreNamedByTheirPlaceAndNeedCommandOptionOrControl)
{
    // Super is the command bit, Alt option; the key is the place of its X key code in the table.
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_Space, Qt::AltModifier, xSpace),
        (ShortcutRecorder::Press { Kind::combo, KeyCombo { 49, KeyCombo::option } }));
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_A, Qt::MetaModifier | Qt::ShiftModifier, xA),
        (ShortcutRecorder::Press { Kind::combo, KeyCombo { 0, KeyCombo::cmd | KeyCombo::shift } }));
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_Q, Qt::MetaModifier, xQ).combo, (KeyCombo { 12, KeyCombo::cmd }));
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_C, Qt::AltModifier | Qt::ShiftModifier | Qt::ControlModifier, xC).combo,
        (KeyCombo { 8, KeyCombo::option | KeyCombo::shift | KeyCombo::control }));
    // The layout's letter does not matter: the place does (a French keyboard's A sits where Q is).
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_A, Qt::ControlModifier, xQ).combo, (KeyCombo { 12, KeyCombo::control }));
    // Keypad and lock flags are no modifiers of a hot key.
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_V, Qt::MetaModifier | Qt::KeypadModifier, xV).combo,
        (KeyCombo { 9, KeyCombo::cmd }));

    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_A, Qt::ShiftModifier, xA).kind, Kind::needsModifier);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_A, Qt::NoModifier, xA).kind, Kind::needsModifier);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_Escape, Qt::NoModifier, xEscape).kind, Kind::cancel);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_Escape, Qt::MetaModifier, xEscape).kind, Kind::cancel);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_Meta, Qt::MetaModifier, xSuperL).kind, Kind::modifierOnly);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_Alt, Qt::AltModifier, xAltL).kind, Kind::modifierOnly);
    // A key the table has no place for could never be grabbed again: refused.
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_F13, Qt::ControlModifier, xF13).kind, Kind::unknownKey);
    EXPECT_EQ(
        ShortcutRecorder::press(Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier, xKeypad1).kind, Kind::unknownKey);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_A, Qt::ControlModifier, 0).kind, Kind::unknownKey);
    EXPECT_EQ(ShortcutRecorder::press(Qt::Key_A, Qt::ControlModifier, 300).kind, Kind::unknownKey);
}

TEST(ShortcutRecorder, AClickRecordsTheNextCombinationAndWritesItOnce)
{
    RecorderBench bench;
    ShortcutRecorder& recorder = *bench.recorder;
    EXPECT_EQ(recorder.text(), "Shift+Super+V");
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);

    QTest::mouseClick(&recorder, Qt::LeftButton);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.text(), "Press keys…");
    EXPECT_EQ(QWidget::keyboardGrabber(), &recorder);
    EXPECT_TRUE(recorder.hasFocus());

    // Modifiers going down alone change nothing.
    bench.type(Qt::Key_Meta, Qt::MetaModifier, xSuperL);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.text(), "Press keys…");

    // Shift+A is refused with a hint, and recording goes on; Shift+Super+A is taken.
    bench.type(Qt::Key_A, Qt::ShiftModifier, xA);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.text(), "Needs Super, Alt or Ctrl");
    EXPECT_TRUE(bench.writes.isEmpty());
    bench.type(Qt::Key_A, Qt::MetaModifier | Qt::ShiftModifier, xA);
    EXPECT_FALSE(recorder.isRecording());
    ASSERT_EQ(bench.writes.size(), 1);
    EXPECT_EQ(bench.writes.front(), (KeyCombo { 0, KeyCombo::cmd | KeyCombo::shift }));
    // Stopping clears the hint: the new combination shows, and the keyboard is free again.
    EXPECT_FALSE(recorder.warning().has_value());
    EXPECT_EQ(recorder.text(), "Shift+Super+A");
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);

    // Keys after the recording are the application's again: nothing more is written.
    bench.type(Qt::Key_Q, Qt::MetaModifier, xQ);
    EXPECT_EQ(bench.writes.size(), 1);
}

TEST(ShortcutRecorder, EscapeASecondClickAndAnUnknownKeyLeaveTheCombinationAlone)
{
    RecorderBench bench;
    ShortcutRecorder& recorder = *bench.recorder;

    QTest::mouseClick(&recorder, Qt::LeftButton);
    bench.type(Qt::Key_F13, Qt::ControlModifier, xF13);
    EXPECT_EQ(recorder.text(), "Pick another key");
    EXPECT_TRUE(recorder.isRecording());
    bench.type(Qt::Key_Escape, Qt::NoModifier, xEscape);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.text(), "Shift+Super+V");

    QTest::mouseClick(&recorder, Qt::LeftButton);
    EXPECT_TRUE(recorder.isRecording());
    QTest::mouseClick(&recorder, Qt::LeftButton);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.text(), "Shift+Super+V");
    EXPECT_TRUE(bench.writes.isEmpty());
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);

    // Space on the focused control starts recording, as a click does; Tab is recorded, not
    // used to move the focus.
    recorder.setFocus();
    bench.type(Qt::Key_Space, Qt::NoModifier, xSpace);
    EXPECT_TRUE(recorder.isRecording());
    bench.type(Qt::Key_Tab, Qt::ControlModifier, 23);
    EXPECT_FALSE(recorder.isRecording());
    ASSERT_EQ(bench.writes.size(), 1);
    EXPECT_EQ(bench.writes.front(), (KeyCombo { 48, KeyCombo::control }));
}

TEST(ShortcutRecorder, ACombinationAnotherProgramHoldsIsRefusedAndTheOldOneStays)
{
    RecorderBench bench;
    ShortcutRecorder& recorder = *bench.recorder;
    bench.heldElsewhere = { KeyCombo { 9, KeyCombo::control | KeyCombo::option } };
    QTest::mouseClick(&recorder, Qt::LeftButton);
    bench.type(Qt::Key_V, Qt::ControlModifier | Qt::AltModifier, xV);
    EXPECT_EQ(recorder.text(), "Another program uses this shortcut");
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(bench.writes.isEmpty());
    saveArtefact(bench.render(false), "shortcut-recorder-held-elsewhere");
    // Another combination is taken as usual.
    bench.type(Qt::Key_C, Qt::ControlModifier | Qt::AltModifier, xC);
    ASSERT_EQ(bench.writes.size(), 1);
    EXPECT_EQ(bench.writes.front(), (KeyCombo { 8, KeyCombo::control | KeyCombo::option }));
}

TEST(ShortcutRecorder, NoShortcutOfTheApplicationFiresWhileRecording)
{
    RecorderBench bench;
    QTest::mouseClick(bench.recorder, Qt::LeftButton);
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier, xQ, 0, 0);
    override.ignore();
    QApplication::sendEvent(bench.recorder, &override);
    EXPECT_TRUE(override.isAccepted());

    bench.recorder->stopRecording();
    QKeyEvent idle(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier, xQ, 0, 0);
    idle.ignore();
    QApplication::sendEvent(bench.recorder, &idle);
    EXPECT_FALSE(idle.isAccepted());
}

TEST(ShortcutRecorder, RecordingEndsWhenTheWindowHidesTheFocusLeavesOrTheControlGoes)
{
    {
        // The window closes while recording: the keyboard is let go and nothing is written.
        RecorderBench bench;
        QTest::mouseClick(bench.recorder, Qt::LeftButton);
        ASSERT_EQ(QWidget::keyboardGrabber(), bench.recorder);
        bench.window.close();
        EXPECT_FALSE(bench.recorder->isRecording());
        EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
        bench.type(Qt::Key_C, Qt::AltModifier, xC);
        EXPECT_TRUE(bench.writes.isEmpty());
    }
    {
        // Another control takes the focus.
        RecorderBench bench;
        QTest::mouseClick(bench.recorder, Qt::LeftButton);
        ASSERT_TRUE(bench.recorder->isRecording());
        bench.field->setFocus(Qt::MouseFocusReason);
        EXPECT_FALSE(bench.recorder->isRecording());
        EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    }
    {
        // The control is destroyed while recording.
        RecorderBench bench;
        QTest::mouseClick(bench.recorder, Qt::LeftButton);
        ASSERT_EQ(QWidget::keyboardGrabber(), bench.recorder);
        delete bench.recorder;
        EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
    }
}

TEST(ShortcutRecorder, AValueStoredWhileRecordingShowsOnceTheRecordingEnds)
{
    RecorderBench bench;
    ShortcutRecorder& recorder = *bench.recorder;
    QTest::mouseClick(&recorder, Qt::LeftButton);
    bench.stored = KeyCombo { 9, KeyCombo::control };
    recorder.refresh();
    EXPECT_EQ(recorder.text(), "Press keys…");
    bench.type(Qt::Key_Escape, Qt::NoModifier, xEscape);
    EXPECT_EQ(recorder.text(), "Ctrl+V");
    bench.stored = KeyCombo { 9, KeyCombo::option };
    recorder.refresh();
    EXPECT_EQ(recorder.text(), "Alt+V");
}

TEST(ShortcutRecorder, DrawsTheCombinationThePromptOnAnAccentAndTheHintInOrange)
{
    for (const bool dark : { false, true }) {
        RecorderBench bench;
        const QPalette palette = settings_style::palette(dark);
        const QImage idle = bench.render(dark);
        saveArtefact(idle, QString("shortcut-recorder-idle-%1").arg(dark ? "dark" : "light"));
        EXPECT_FALSE(hasColour(idle, settings_style::orange(palette)));

        QTest::mouseClick(bench.recorder, Qt::LeftButton);
        const QImage recording = bench.render(dark);
        saveArtefact(recording, QString("shortcut-recorder-recording-%1").arg(dark ? "dark" : "light"));
        // The 2 pt outline in the accent colour.
        EXPECT_TRUE(hasColour(recording, settings_style::accent(palette), 12));
        EXPECT_FALSE(hasColour(idle, settings_style::accent(palette), 12));

        bench.type(Qt::Key_A, Qt::NoModifier, xA);
        const QImage warning = bench.render(dark);
        saveArtefact(warning, QString("shortcut-recorder-warning-%1").arg(dark ? "dark" : "light"));
        EXPECT_TRUE(hasColour(warning, settings_style::orange(palette), 30));
    }
}
