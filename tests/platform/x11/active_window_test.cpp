#include "platform/x11/active_window.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(ActiveApplication, TheDesktopIdComesFromTheApplicationIdThenTheDesktopFileThenTheClass)
{
    EXPECT_EQ(ActiveApplication::idFrom("org.gnome.TextEditor", "other", "Gnome-text-editor"), "org.gnome.TextEditor");
    EXPECT_EQ(ActiveApplication::idFrom("", "org.kde.kate.desktop", "kate"), "org.kde.kate");
    EXPECT_EQ(ActiveApplication::idFrom(" ", "", "firefox"), "firefox");
    EXPECT_EQ(ActiveApplication::idFrom("", "", ""), "");
}

TEST(ActiveApplication, TerminalsAreKnownByTheirClass)
{
    ActiveApplication terminal;
    terminal.instance = "gnome-terminal-server";
    terminal.windowClass = "Gnome-terminal";
    EXPECT_TRUE(terminal.isTerminal());
    ActiveApplication xterm;
    xterm.windowClass = "XTerm";
    EXPECT_TRUE(xterm.isTerminal());
    ActiveApplication console;
    console.appId = "org.gnome.Console";
    EXPECT_TRUE(console.isTerminal());
    ActiveApplication editor;
    editor.instance = "gedit";
    editor.windowClass = "Gedit";
    editor.appId = "org.gnome.gedit";
    EXPECT_FALSE(editor.isTerminal());
    EXPECT_FALSE(ActiveApplication::isTerminalName("stterm-ish"));
}
