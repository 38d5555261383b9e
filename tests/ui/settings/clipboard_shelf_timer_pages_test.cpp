#include "settings_fixture.h"
#include "ui/settings/capability_row.h"
#include "ui/settings/clipboard_shelf_timer_pages.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/shortcut_recorder.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// Chooses a picker's entry as a person would: the menu's choice is reported as activated.
void choose(QComboBox* picker, const QString& title)
{
    const int index = picker->findText(title);
    ASSERT_GE(index, 0) << title.toStdString();
    picker->setCurrentIndex(index);
    Q_EMIT picker->activated(index);
}

void stepUp(StepperControl* stepper, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(stepper, Qt::LeftButton, {}, QPoint(stepper->width() / 2, 3));
}

void stepDown(StepperControl* stepper, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(stepper, Qt::LeftButton, {}, QPoint(stepper->width() / 2, stepper->height() - 3));
}

} // namespace

TEST(ClipboardPage, PasteRowTellsWhetherChoosingAnEntryPastesAndOffersNoButton)
{
    SettingsFixture f;
    bool keysAvailable = false;
    SettingsView::Inputs in = f.inputs();
    in.isAccessibilityGranted = [&keysAvailable] { return keysAvailable; };
    f.make(false, in);
    f.open(SettingsSection::clipboard);

    auto* paste = f.find<CapabilityRow>("Paste where you were");
    ASSERT_NE(paste, nullptr);
    EXPECT_FALSE(paste->status().isAvailable());
    EXPECT_EQ(
        paste->explanation(), "Pasting back needs an X11 session. Under Wayland, choosing an entry only copies it.");
    // Nothing here can grant access: no button.
    EXPECT_TRUE(paste->findChildren<QPushButton*>().isEmpty());

    keysAvailable = true;
    f.view->refreshAccessibility();
    EXPECT_TRUE(paste->status().isAvailable());
    EXPECT_EQ(paste->explanation(), "Choosing an entry pastes it into the app you were using.");
}

TEST(ClipboardPage, SaysWhileAnotherProgramHoldsTheHotKey)
{
    SettingsFixture f;
    KeyboardStatus status;
    SettingsView::Inputs in = f.inputs();
    in.keyboardStatus = [&status] { return status; };
    f.make(false, in);
    f.open(SettingsSection::clipboard);
    QLabel* held = nullptr;
    for (QLabel* label : f.view->currentScrollArea()->findChildren<QLabel*>())
        held = label->accessibleName() == "Shortcut held elsewhere" ? label : held;
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(held->isVisible());

    status.hotKeyHeldElsewhere = true;
    f.view->refreshAccessibility();
    EXPECT_TRUE(held->isVisible());
    EXPECT_EQ(held->text(),
        "Another program holds Shift+Super+V, so it opens nothing now. Nimbra tries again whenever one of its windows "
        "comes to the front; you can also record another shortcut.");
    saveArtefact(f.renderPage(), "page-clipboard-hot-key-held-elsewhere");
    // Another combination is named as soon as it is chosen.
    f.settings.setClipboardHotKey({ 8, KeyCombo::option | KeyCombo::shift });
    EXPECT_TRUE(held->text().startsWith("Another program holds Alt+Shift+C,"));

    status.hotKeyHeldElsewhere = false;
    f.view->refreshAccessibility();
    EXPECT_FALSE(held->isVisible());
}

TEST(ClipboardPage, PickersStoreTheirChoicesAndNeverStaysZero)
{
    SettingsFixture f;
    f.open(SettingsSection::clipboard);
    auto* close = f.find<QComboBox>("Close it again");
    auto* keep = f.find<QComboBox>("Keep");
    ASSERT_NE(close, nullptr);
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(close->currentText(), "After 10s");
    EXPECT_EQ(keep->currentText(), "100 items");
    QStringList closeTitles, keepTitles;
    for (int i = 0; i < close->count(); ++i)
        closeTitles << close->itemText(i);
    for (int i = 0; i < keep->count(); ++i)
        keepTitles << keep->itemText(i);
    EXPECT_EQ(closeTitles, (QStringList { "Never", "After 5s", "After 10s", "After 30s" }));
    EXPECT_EQ(keepTitles, (QStringList { "25 items", "50 items", "100 items", "200 items", "500 items" }));

    choose(close, "Never");
    EXPECT_EQ(f.settings.clipboardAutoCloseSeconds(), 0);
    // A stored 0 means never, not unset: it reads back as 0.
    NimbraSettings reloaded(f.storage);
    EXPECT_EQ(reloaded.clipboardAutoCloseSeconds(), 0);
    choose(close, "After 30s");
    EXPECT_EQ(f.settings.clipboardAutoCloseSeconds(), 30);

    choose(keep, "25 items");
    EXPECT_EQ(f.settings.clipboardHistoryLimit(), 25);
    EXPECT_EQ(f.settings.clipboardLimits().maxItems, 25);

    // A value set elsewhere moves the picker; one no entry names shows none.
    f.settings.setClipboardHistoryLimit(500);
    EXPECT_EQ(keep->currentText(), "500 items");
    f.settings.setClipboardHistoryLimit(37);
    EXPECT_EQ(keep->currentIndex(), -1);
}

TEST(ClipboardPage, TheRecorderWritesTheHotKeyAndTheSwitchStaysUsableWhileDimmed)
{
    SettingsFixture f;
    f.open(SettingsSection::clipboard);
    auto* recorder = f.find<ShortcutRecorder>("Shortcut");
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->text(), "Shift+Super+V");
    QTest::mouseClick(recorder, Qt::LeftButton);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::AltModifier | Qt::ShiftModifier, 54, 0, 0);
    QApplication::sendEvent(recorder, &press);
    EXPECT_EQ(f.settings.clipboardHotKey(), (KeyCombo { 8, KeyCombo::option | KeyCombo::shift }));
    EXPECT_EQ(recorder->text(), "Alt+Shift+C");
    // Written elsewhere (a reset, another window): the recorder follows.
    f.settings.setClipboardHotKey(KeyCombo::defaultClipboard);
    EXPECT_EQ(recorder->text(), "Shift+Super+V");

    auto* enabled = f.find<SwitchControl>("Remember what I copy");
    ASSERT_NE(enabled, nullptr);
    enabled->click();
    EXPECT_FALSE(f.settings.clipboardEnabled());
    EXPECT_DOUBLE_EQ(f.view->pageOpacity(SettingsSection::clipboard), 0.55);
    EXPECT_TRUE(enabled->isEnabled());
    enabled->click();
    EXPECT_TRUE(f.settings.clipboardEnabled());
    EXPECT_DOUBLE_EQ(f.view->pageOpacity(SettingsSection::clipboard), 1);

    const QStringList texts = f.shownTexts();
    EXPECT_TRUE(texts.contains("History never touches the disk"));
    EXPECT_TRUE(texts.contains("Opens the clipboard wherever you are. Arrow keys to choose, Return to paste it, "
                               "Ctrl+Backspace to delete."));
}

TEST(ShelfPage, KeepingBetweenRestartsIsDisabledWhileTheShelfIsOffAndKeepsItsValue)
{
    SettingsFixture f;
    f.open(SettingsSection::shelf);
    auto* catches = f.find<SwitchControl>("Catch files dropped on the notch");
    auto* persists = f.find<SwitchControl>("Keep the shelf between restarts");
    ASSERT_NE(catches, nullptr);
    ASSERT_NE(persists, nullptr);
    EXPECT_TRUE(persists->isEnabled());
    EXPECT_TRUE(persists->isChecked());

    catches->click();
    EXPECT_FALSE(f.settings.shelfEnabled());
    EXPECT_FALSE(persists->isEnabled());
    EXPECT_TRUE(f.settings.shelfPersists());
    EXPECT_TRUE(persists->isChecked());
    EXPECT_DOUBLE_EQ(f.view->pageOpacity(SettingsSection::shelf), 0.55);
    EXPECT_TRUE(catches->isEnabled());

    f.settings.setShelfEnabled(true);
    EXPECT_TRUE(persists->isEnabled());
    persists->click();
    EXPECT_FALSE(f.settings.shelfPersists());

    const QStringList texts = f.shownTexts();
    EXPECT_TRUE(texts.contains("A place to put things down"));
    EXPECT_TRUE(texts.contains("Files are held by reference, not copied. Dragging one out hands over the original, "
                               "and taking it off the shelf never deletes anything."));
}

TEST(TimersPage, SteppersMoveOneAtATimeAndStopAtTheirEnds)
{
    SettingsFixture f;
    f.open(SettingsSection::timers);
    auto* focus = f.find<StepperControl>("Focus block");
    auto* shortBreak = f.find<StepperControl>("Short break");
    auto* longBreak = f.find<StepperControl>("Long break");
    auto* cycles = f.find<StepperControl>("Blocks before a long break");
    ASSERT_TRUE(focus && shortBreak && longBreak && cycles);
    EXPECT_TRUE(f.shownTexts().contains("25 min"));
    EXPECT_TRUE(f.shownTexts().contains("4"));

    stepUp(focus);
    EXPECT_EQ(f.settings.pomodoroWorkMinutes(), 26);
    EXPECT_TRUE(f.shownTexts().contains("26 min"));
    f.settings.setPomodoroWorkMinutes(89);
    stepUp(focus, 3);
    EXPECT_EQ(f.settings.pomodoroWorkMinutes(), 90);
    f.settings.setPomodoroWorkMinutes(6);
    stepDown(focus, 3);
    EXPECT_EQ(f.settings.pomodoroWorkMinutes(), 5);

    f.settings.setPomodoroBreakMinutes(2);
    stepDown(shortBreak, 3);
    EXPECT_EQ(f.settings.pomodoroBreakMinutes(), 1);
    f.settings.setPomodoroBreakMinutes(29);
    stepUp(shortBreak, 3);
    EXPECT_EQ(f.settings.pomodoroBreakMinutes(), 30);

    stepDown(longBreak);
    EXPECT_EQ(f.settings.pomodoroLongBreakMinutes(), 14);

    stepDown(cycles, 5);
    EXPECT_EQ(f.settings.pomodoroCycles(), 2);
    stepUp(cycles, 9);
    EXPECT_EQ(f.settings.pomodoroCycles(), 8);
    EXPECT_TRUE(f.shownTexts().contains("8"));
    // The arrow keys step the focused stepper too.
    cycles->setFocus();
    QTest::keyClick(cycles, Qt::Key_Down);
    EXPECT_EQ(f.settings.pomodoroCycles(), 7);
    EXPECT_EQ(f.settings.pomodoroConfiguration().cyclesBeforeLongBreak, 7);
}
