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
