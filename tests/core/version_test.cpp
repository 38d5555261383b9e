#include "core/version.h"

#include <gtest/gtest.h>

using namespace nimbra;

namespace {

QString described(const QString& text)
{
    const std::optional<Version> version = Version::parse(text);
    return version ? version->description() : QStringLiteral("none");
}

Version v(const char* text)
{
    return Version::parse(QString::fromUtf8(text)).value();
}

std::optional<UpdateManifest> decode(const char* json)
{
    return UpdateManifest::decode(QByteArray(json));
}

} // namespace

TEST(Version, ParsesLeniently)
{
    EXPECT_EQ(described("v2.10.3"), "2.10.3");
    EXPECT_EQ(described("  1.4-beta.2\t"), "1.4");
    EXPECT_EQ(described("1.x.3"), "1");
    EXPECT_EQ(described("V3"), "3");
    EXPECT_EQ(described("3v"), "3");
    EXPECT_EQ(described("1.02"), "1.2");
    EXPECT_EQ(described("1..2"), "1.2");
    EXPECT_EQ(described(".1.2."), "1.2");
    EXPECT_EQ(described("release"), "none");
    EXPECT_EQ(described(""), "none");
    EXPECT_EQ(described("v"), "none");
    EXPECT_EQ(described("v 1.2"), "none"); // spaces go before the letters, not after
    EXPECT_EQ(described("1.2\n3"), "1.2"); // line breaks are not trimmed: they end a piece
    EXPECT_EQ(described("\n1.2"), "none");
}

TEST(Version, StopsAtNumbersItCannotRead)
{
    EXPECT_EQ(described("9223372036854775807.1"), "9223372036854775807.1");
    EXPECT_EQ(described("2.9223372036854775808"), "2");
    EXPECT_EQ(described("99999999999999999999"), "none");
    // Numeric characters that are not ASCII digits end the version without a part.
    EXPECT_EQ(described(u8"1.\u0663.4"), "1"); // Arabic-Indic three
    EXPECT_EQ(described(u8"1.2\u00BD"), "1"); // a vulgar fraction inside the run
    EXPECT_EQ(described(u8"\u00B2"), "none");
    // A digit carrying a combining mark is one character, and not a plain digit.
    EXPECT_EQ(described(u8"1.2\u0301.3"), "1");
    EXPECT_EQ(described(u8"1.2\u2003"), "1.2"); // em space is trimmed
}

TEST(Version, ComparesNumericallyWithMissingPartsAsZero)
{
    EXPECT_LT(v("2.9"), v("2.10"));
    EXPECT_GT(v("2.10"), v("2.9"));
    EXPECT_EQ(v("1.0"), v("1"));
    EXPECT_EQ(v("1.2"), v("1.2.0"));
    EXPECT_EQ(v("1.02"), v("1.2"));
    EXPECT_FALSE(v("1.0") < v("1"));
    EXPECT_FALSE(v("1") < v("1.0"));
    EXPECT_LT(v("1.2"), v("1.2.0.1"));
    EXPECT_GT(v("3"), v("2.99.99"));
}

TEST(UpdateManifest, DecodesTheFeed)
{
    const auto manifest = decode(R"({"version": "1.3.0", "url": "https://example.com/Nimbra-1.3.0.tar.gz",
        "notes": "Faster notch", "minimumSystemVersion": "14.0", "build": 77})");
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->version, "1.3.0");
    EXPECT_EQ(manifest->url, QUrl("https://example.com/Nimbra-1.3.0.tar.gz"));
    EXPECT_EQ(manifest->notes, "Faster notch");
    EXPECT_EQ(manifest->minimumSystemVersion, "14.0");

    const auto bare = decode(R"({"version": "2", "url": "https://example.com/d", "notes": null})");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->notes, std::nullopt);
    EXPECT_EQ(bare->minimumSystemVersion, std::nullopt);
}

TEST(UpdateManifest, RejectsMissingOrMistypedFields)
{
    for (const char* json : {
             R"({"version": "2"})",
             R"({"url": "https://example.com/d"})",
             R"({"version": 2, "url": "https://example.com/d"})",
             R"({"version": null, "url": "https://example.com/d"})",
             R"({"version": "2", "url": ["https://example.com/d"]})",
             R"({"version": "2", "url": "https://example.com/d", "notes": 5})",
             R"({"version": "2", "url": "https://example.com/d", "minimumSystemVersion": {}})",
             R"([{"version": "2", "url": "https://example.com/d"}])",
             R"({"version": "2", "url": "https://example.com/d"} trailing)",
             "",
             "null",
             "\xff\xfe{",
         })
        EXPECT_EQ(decode(json), std::nullopt) << json;
}

TEST(UpdateManifest, AcceptsOnlyHttpsAddresses)
{
    const auto withUrl = [](const QString& url) {
        return UpdateManifest::decode(QStringLiteral(R"({"version": "2", "url": "%1"})").arg(url).toUtf8());
    };
    EXPECT_TRUE(withUrl("https://example.com/download?v=2#top"));
    EXPECT_TRUE(withUrl("HTTPS://example.com/d"));
    for (const char* url : { "http://example.com/d", "file:///etc/passwd", "javascript:alert(1)", "ftp://example.com/d",
             "https:relative/path", "https://", "/download", "example.com/d", "https://exa mple.com/d", "",
             "smb://server/share", "x-scheme-handler://https://example.com" })
        EXPECT_EQ(withUrl(QString::fromLatin1(url)), std::nullopt) << url;
}

TEST(UpdateManifest, IsNewerOnlyWhenBothVersionsParse)
{
    UpdateManifest manifest;
    manifest.version = "2.10";
    EXPECT_TRUE(manifest.isNewer("2.9"));
    EXPECT_TRUE(manifest.isNewer("v2.9.9"));
    EXPECT_FALSE(manifest.isNewer("2.10.0"));
    EXPECT_FALSE(manifest.isNewer("3"));
    EXPECT_FALSE(manifest.isNewer("dev build"));
    manifest.version = "latest";
    EXPECT_FALSE(manifest.isNewer("0.1"));
    manifest.version = "1";
    EXPECT_FALSE(manifest.isNewer("1.0"));
}
