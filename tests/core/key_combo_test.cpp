#include "core/key_combo.h"

#include <gtest/gtest.h>

using nimbra::KeyCombo;

TEST(KeyCombo, DisplaysTheDesktopsNamesCtrlAltShiftSuperThenTheKey)
{
    EXPECT_EQ(KeyCombo::defaultClipboard.displayString(), "Shift+Super+V");
    EXPECT_EQ((KeyCombo { 49, KeyCombo::control | KeyCombo::cmd }).displayString(), "Ctrl+Super+Space");
    const uint32_t all = KeyCombo::cmd | KeyCombo::shift | KeyCombo::option | KeyCombo::control;
    EXPECT_EQ((KeyCombo { 126, all }).displayString(), "Ctrl+Alt+Shift+Super+Up");
    // Bits other than the four modifiers are not shown.
    EXPECT_EQ((KeyCombo { 0, 0x1 | 0x400 | 0x80000000u }).displayString(), "A");
    EXPECT_EQ((KeyCombo { 0, KeyCombo::option | 0x400 }).displayString(), "Alt+A");
}

TEST(KeyCombo, NamesFollowTheKeyTableAndFallBackToTheCode)
{
    EXPECT_EQ(KeyCombo::name(0), "A");
    EXPECT_EQ(KeyCombo::name(9), "V");
    EXPECT_EQ(KeyCombo::name(10), "Key 10");
    EXPECT_EQ(KeyCombo::name(17), "T");
    EXPECT_EQ(KeyCombo::name(22), "6");
    EXPECT_EQ(KeyCombo::name(23), "5");
    EXPECT_EQ(KeyCombo::name(36), "Return");
    EXPECT_EQ(KeyCombo::name(42), "\\");
    EXPECT_EQ(KeyCombo::name(47), ".");
    EXPECT_EQ(KeyCombo::name(50), "`");
    EXPECT_EQ(KeyCombo::name(51), "Backspace");
    EXPECT_EQ(KeyCombo::name(52), "Key 52");
    EXPECT_EQ(KeyCombo::name(53), "Esc");
    // Every other key a hot key can sit on has its name too.
    EXPECT_EQ(KeyCombo::name(96), "F5");
    EXPECT_EQ(KeyCombo::name(117), "Delete");
    EXPECT_EQ(KeyCombo::name(121), "Page Down");
    EXPECT_EQ(KeyCombo::name(123), "Left");
    EXPECT_EQ(KeyCombo::name(127), "Key 127");
    EXPECT_EQ(KeyCombo::name(4294967295u), "Key 4294967295");
}

TEST(KeyCombo, UsableNeedsCommandOptionOrControl)
{
    EXPECT_FALSE((KeyCombo { 9, KeyCombo::shift }).isUsable());
    EXPECT_TRUE((KeyCombo { 9, KeyCombo::shift | KeyCombo::cmd }).isUsable());
    EXPECT_TRUE((KeyCombo { 9, KeyCombo::option }).isUsable());
    EXPECT_TRUE((KeyCombo { 9, KeyCombo::control }).isUsable());
    EXPECT_FALSE((KeyCombo { 9, 0x400 }).isUsable());
    EXPECT_TRUE((KeyCombo { 0, 0 }).isEmpty());
    EXPECT_FALSE((KeyCombo { 0, KeyCombo::cmd }).isEmpty());
    EXPECT_FALSE((KeyCombo { 1, 0 }).isEmpty());
}

TEST(KeyCombo, StoresAsAnObjectWithTwoNumbersAndReadsItBack)
{
    const QJsonObject stored = KeyCombo::defaultClipboard.toJson();
    EXPECT_EQ(stored.size(), 2);
    EXPECT_EQ(stored.value("keyCode").toDouble(), 9.0);
    EXPECT_EQ(stored.value("modifiers").toDouble(), 768.0);

    const KeyCombo extreme { 4294967295u, 4294967295u };
    EXPECT_EQ(KeyCombo::decoded(extreme.encoded()), extreme);
    EXPECT_EQ(KeyCombo::decoded(R"({"modifiers": 4352, "keyCode": 49})"), (KeyCombo { 49, 4352 }));
    // Whole numbers written with a fraction part or an exponent are still whole numbers.
    EXPECT_EQ(KeyCombo::decoded(R"({"keyCode": 9.0, "modifiers": 7.68e2})"), KeyCombo::defaultClipboard);
    // Keys beyond the two are ignored.
    EXPECT_EQ(KeyCombo::decoded(R"({"keyCode": 9, "modifiers": 768, "extra": "x"})"), KeyCombo::defaultClipboard);
}

TEST(KeyCombo, RejectsStoredFormsThatAreNotTwoUnsigned32BitNumbers)
{
    for (const char* json : {
             R"({"keyCode": 9, "modifiers": -1})",
             R"({"modifiers": 768})",
             R"({"keyCode": 9})",
             R"({"keyCode": 9.5, "modifiers": 768})",
             R"({"keyCode": 9, "modifiers": 4294967296})",
             R"({"keyCode": 9, "modifiers": 1e300})",
             R"({"keyCode": "9", "modifiers": 768})",
             R"({"keyCode": null, "modifiers": 768})",
             R"({"keyCode": true, "modifiers": 768})",
             R"({"keyCode": [9], "modifiers": 768})",
             R"([9, 768])",
             R"(9)",
             R"({"keyCode": 9, "modifiers": 768)",
             "",
         }) {
        EXPECT_EQ(KeyCombo::decoded(json), std::nullopt) << json;
    }
}
