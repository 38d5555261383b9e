#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/clipboard/clipboard_monitor.h"
#include "modules/clipboard/clipboard_view.h"
#include "modules/clipboard/global_hot_key.h"
#include "modules/shell/expanded_shell.h"
#include "ui/surface/notch_panel.h"
#include "ui/surface/notch_surface_view.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWindow>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

struct ClipboardTab : ::testing::Test {
    ClipboardTab()
    {
        settings.setShowOnAllDisplays(true);
        delegate.applicationDidFinishLaunching();
        QCoreApplication::processEvents();
    }

    NotchDisplayController& controller() const { return *delegate.coordinator()->controllers().begin()->second; }
    NotchPanel* panel() const { return controller().panel(); }

    // Entries as if copied, oldest first; returns their ids newest first.
    QList<QUuid> fill(const QStringList& texts, int pinnedIndex = -1)
    {
        QList<QUuid> ids;
        for (int i = 0; i < texts.size(); ++i) {
            ClipboardItem item { QUuid::createUuid(), ClipboardItem::Payload::text(texts[i]), std::nullopt,
                QDateTime::currentDateTime().addSecs(i), i == pinnedIndex };
            delegate.clipboard().store().insert(item);
            ids.prepend(item.id);
        }
        delegate.clipboard().onChange();
        return ids;
    }

    // A key typed into the open notch (its search field has the keyboard there).
    bool press(int key, Qt::KeyboardModifiers modifiers = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        return delegate.handleClipboardKey(receiver(), event);
    }
    QWidget* receiver() const
    {
        if (auto* view = clipboardView())
            return view->searchField();
        return panel();
    }
    ClipboardView* clipboardView() const
    {
        auto* shell = qobject_cast<ExpandedShell*>(controller().view()->contentWidget());
        return shell ? qobject_cast<ClipboardView*>(shell->content()) : nullptr;
    }

    NimbraSettings settings { std::make_shared<MemorySettingsStorage>() };
    AppDelegate delegate { &settings };
};

} // namespace

TEST_F(ClipboardTab, TheHotKeyActionOpensTheTabWithTheNewestEntrySelectedAndTakesTheKeyboard)
{
    const QList<QUuid> ids = fill({ "alpha", "beta", "gamma" });
    delegate.setClipboardQuery("zzz");
    delegate.openClipboard();
    EXPECT_EQ(delegate.tab(), NotchSurfaceTab::clipboard);
    EXPECT_EQ(delegate.clipboardQuery(), "") << "the search starts empty";
    EXPECT_EQ(delegate.clipboardSelection(), ids[0]);
    EXPECT_TRUE(controller().isExpandedSurface());
    EXPECT_TRUE(panel()->allowsKey());
    ClipboardView* view = clipboardView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->items().size(), 3);

    // Redraws keep the view on screen: the search field is the same object.
    const QPointer<ClipboardSearchField> field(view->searchField());
    ASSERT_TRUE(press(Qt::Key_Down));
    EXPECT_EQ(clipboardView(), view);
    EXPECT_EQ(view->searchField(), field.data());
    EXPECT_EQ(view->selection(), ids[1]);

    // Closing gives the keyboard back and forgets the search.
    delegate.setClipboardQuery("gam");
    ASSERT_TRUE(press(Qt::Key_Escape));
    EXPECT_FALSE(controller().isExpandedSurface());
    EXPECT_FALSE(panel()->allowsKey());
    EXPECT_EQ(delegate.clipboardQuery(), "");
}

TEST_F(ClipboardTab, AnotherTabGivesTheKeyboardBackAndLeavingFromThereKeepsTheSurface)
{
    fill({ "alpha" });
    delegate.openClipboard();
    const QWindow* window = panel()->windowHandle();
    ASSERT_NE(window, nullptr);
    // Nimbra losing the focus while the clipboard tab has it: the user went elsewhere.
    EXPECT_FALSE(delegate.coordinator()->gaveKeyboardBack(window));

    delegate.selectTab(NotchSurfaceTab::settings);
    EXPECT_TRUE(controller().isExpandedSurface());
    EXPECT_FALSE(panel()->allowsKey());
    // Now losing it is the notch's own doing.
    EXPECT_TRUE(delegate.coordinator()->gaveKeyboardBack(window));

    delegate.selectTab(NotchSurfaceTab::clipboard);
    EXPECT_TRUE(panel()->allowsKey());
    EXPECT_FALSE(delegate.coordinator()->gaveKeyboardBack(window));
    // Windows that are no notch's panel are the user's to leave.
    QWidget other;
    other.show();
    EXPECT_FALSE(delegate.coordinator()->gaveKeyboardBack(other.windowHandle()));
    EXPECT_FALSE(delegate.coordinator()->gaveKeyboardBack(nullptr));
}

TEST_F(ClipboardTab, ArrowsStopAtTheEndsAndAMissingSelectionCountsAsTheFirst)
{
    const QList<QUuid> ids = fill({ "one", "two", "three" });
    delegate.openClipboard();
    EXPECT_TRUE(press(Qt::Key_Up));
    EXPECT_EQ(delegate.clipboardSelection(), ids[0]) << "up on the first stays";
    EXPECT_TRUE(press(Qt::Key_Down));
    EXPECT_TRUE(press(Qt::Key_Down));
    EXPECT_TRUE(press(Qt::Key_Down));
    EXPECT_EQ(delegate.clipboardSelection(), ids[2]) << "down on the last stays";

    // A fresh capture clears the selection; down then picks the second entry.
    delegate.clipboard().onCapture();
    EXPECT_EQ(delegate.clipboardSelection(), std::nullopt);
    EXPECT_TRUE(press(Qt::Key_Down));
    EXPECT_EQ(delegate.clipboardSelection(), ids[1]);
}

TEST_F(ClipboardTab, HoweverTheTabOpensAgainItShowsNoSearchAndTheFirstRowSelected)
{
    const QList<QUuid> ids = fill({ "one", "two", "three" });
    // Closed after a search found the oldest entry.
    delegate.openClipboard();
    delegate.setClipboardQuery("on");
    EXPECT_EQ(delegate.clipboardSelection(), ids[2]);
    ASSERT_TRUE(press(Qt::Key_Escape));
    EXPECT_EQ(delegate.clipboardQuery(), "");
    EXPECT_EQ(delegate.clipboardSelection(), ids[0]);

    // Closed by the pointer leaving, with a later row highlighted.
    delegate.openClipboard();
    ASSERT_TRUE(press(Qt::Key_Down));
    delegate.coordinator()->onExpandedChange(false);
    EXPECT_EQ(delegate.clipboardSelection(), ids[0]);

    // Another tab, then the clipboard tab again; choosing the tab it is on changes nothing.
    delegate.openClipboard();
    ASSERT_TRUE(press(Qt::Key_Down));
    delegate.selectTab(NotchSurfaceTab::clipboard);
    EXPECT_EQ(delegate.clipboardSelection(), ids[1]);
    delegate.selectTab(NotchSurfaceTab::timer);
    delegate.selectTab(NotchSurfaceTab::clipboard);
    EXPECT_EQ(delegate.clipboardSelection(), ids[0]);
}

TEST_F(ClipboardTab, CtrlBackspaceRemovesTheSelectedEntryPlainBackspaceEditsTheSearch)
{
    const QList<QUuid> ids = fill({ "one", "two", "three" });
    delegate.openClipboard();
    EXPECT_FALSE(press(Qt::Key_Backspace)) << "goes on to the search field";
    EXPECT_EQ(delegate.clipboard().store().items().size(), 3);
    EXPECT_TRUE(press(Qt::Key_Backspace, Qt::ControlModifier));
    ASSERT_EQ(delegate.clipboard().store().items().size(), 2);
    EXPECT_EQ(delegate.clipboardSelection(), ids[1]) << "the selection moves to the first remaining entry";
    EXPECT_EQ(clipboardView()->items().size(), 2);
}

TEST_F(ClipboardTab, WithNothingListedOnlyEscapeActs)
{
    fill({ "one" });
    delegate.openClipboard();
    delegate.setClipboardQuery("nothing like it");
    EXPECT_EQ(delegate.clipboardSelection(), std::nullopt);
    for (int key : { Qt::Key_Up, Qt::Key_Down, Qt::Key_Return })
        EXPECT_FALSE(press(key)) << key;
    EXPECT_FALSE(press(Qt::Key_Backspace, Qt::ControlModifier));
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_FALSE(controller().isExpandedSurface());
}

TEST_F(ClipboardTab, TypingKeepsAMatchingSelectionElseTakesTheFirstMatch)
{
    const QList<QUuid> ids = fill({ "apple pie", "banana", "apple juice" });
    delegate.openClipboard();
    ASSERT_TRUE(press(Qt::Key_Down));
    ASSERT_TRUE(press(Qt::Key_Down));
    EXPECT_EQ(delegate.clipboardSelection(), ids[2]);
    delegate.setClipboardQuery("apple");
    EXPECT_EQ(delegate.clipboardSelection(), ids[2]) << "still listed";
    delegate.setClipboardQuery("ban");
    EXPECT_EQ(delegate.clipboardSelection(), ids[1]);
    EXPECT_EQ(clipboardView()->items().size(), 1);
    EXPECT_EQ(clipboardView()->query(), "ban");
}

TEST_F(ClipboardTab, ReturnWritesTheEntryBackAndClosesTheSurface)
{
    const QList<QUuid> ids = fill({ "first", "second" });
    delegate.openClipboard();
    ASSERT_TRUE(press(Qt::Key_Down));
    EXPECT_TRUE(press(Qt::Key_Return));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "first");
    EXPECT_FALSE(controller().isExpandedSurface());
    EXPECT_EQ(delegate.clipboard().store().items().first().id, ids[0]) << "the history keeps its order";
}

TEST_F(ClipboardTab, KeysOfOtherWindowsAndOtherTabsAreLeftAlone)
{
    fill({ "one", "two" });
    delegate.openClipboard();
    QWidget settingsWindow;
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, {});
    EXPECT_FALSE(delegate.handleClipboardKey(&settingsWindow, down));
    EXPECT_FALSE(delegate.handleClipboardKey(nullptr, down));

    delegate.selectTab(NotchSurfaceTab::status);
    EXPECT_FALSE(panel()->allowsKey());
    EXPECT_FALSE(press(Qt::Key_Escape));
    EXPECT_TRUE(controller().isExpandedSurface());
}

TEST_F(ClipboardTab, SwitchingTheClipboardOffClearsAllButThePinnedAndHidesTheTab)
{
    fill({ "kept", "gone", "also gone" }, 0);
    EXPECT_TRUE(delegate.clipboard().isStarted());
    EXPECT_TRUE(delegate.liveTabs().contains(NotchSurfaceTab::clipboard));
    settings.setClipboardEnabled(false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(delegate.clipboard().isStarted());
    ASSERT_EQ(delegate.clipboard().store().items().size(), 1);
    EXPECT_EQ(delegate.clipboard().store().items().first().preview(), "kept");
    EXPECT_EQ(delegate.clipboardSelection(), delegate.clipboard().store().items().first().id);
    EXPECT_FALSE(delegate.liveTabs().contains(NotchSurfaceTab::clipboard));
    // The hot key's action does nothing while the clipboard is off.
    delegate.openClipboard();
    EXPECT_FALSE(controller().isExpandedSurface());
}

TEST_F(ClipboardTab, HistoryLimitsFollowTheSettings)
{
    fill({ "1", "2", "3", "4", "5" });
    settings.setClipboardHistoryLimit(3);
    settings.setClipboardKeepsImages(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.clipboard().store().items().size(), 3);
    EXPECT_FALSE(delegate.clipboard().keepsImages);
}

TEST_F(ClipboardTab, SettingsRebindTheHotKeyOnlyWhenTheCombinationChanges)
{
    // Each bind is four grabs: a slider dragged through other settings must not repeat them.
    const std::uint32_t first = delegate.clipboardHotKey().registration();
    EXPECT_GT(first, 0u);
    settings.setHoverDwell(0.3);
    settings.setClipboardAutoCloseSeconds(4);
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.clipboardHotKey().registration(), first);

    settings.setClipboardHotKey({ 9, KeyCombo::cmd | KeyCombo::option });
    QCoreApplication::processEvents();
    const std::uint32_t second = delegate.clipboardHotKey().registration();
    EXPECT_GT(second, first);

    // Off lets go of the key; on again binds it anew.
    settings.setClipboardEnabled(false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(delegate.clipboardHotKey().isBound());
    settings.setClipboardEnabled(true);
    QCoreApplication::processEvents();
    EXPECT_GT(delegate.clipboardHotKey().registration(), second);
}
