#include "core/clipboard_store.h"

#include <gtest/gtest.h>

using nimbra::ClipboardItem;
using nimbra::ClipboardStore;
using Payload = ClipboardItem::Payload;

namespace {

const QDateTime epoch = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);

ClipboardItem entry(Payload payload, int second = 0, bool pinned = false, std::optional<QString> source = std::nullopt)
{
    return ClipboardItem { QUuid::createUuid(), std::move(payload), std::move(source), epoch.addSecs(second), pinned };
}

ClipboardItem textEntry(const QString& text, int second = 0, bool pinned = false)
{
    return entry(Payload::text(text), second, pinned);
}

QStringList texts(const QList<ClipboardItem>& items)
{
    QStringList result;
    for (const auto& item : items)
        result << (item.payload.asText() ? *item.payload.asText() : item.preview());
    return result;
}

// A PNG-like byte string: a shared 64-byte header, then a body that tells images apart.
QByteArray fakePng(char body, int size = 200)
{
    QByteArray bytes("\x89PNG\r\n\x1a\n");
    bytes.append(QByteArray(64 - bytes.size(), 'h'));
    bytes.append(QByteArray(size - 64, body));
    return bytes;
}

ClipboardStore storeWith(qsizetype maxItems, qsizetype maxBytes, const QList<ClipboardItem>& newestFirst)
{
    ClipboardStore store({ 1000, 1 << 30 });
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
        store.insert(*it);
    store.setLimits({ maxItems, maxBytes });
    return store;
}

} // namespace

TEST(ClipboardItem, IdentityDistinguishesContentExactly)
{
    EXPECT_EQ(textEntry("abc").identity(), "t:abc");
    EXPECT_NE(textEntry("abc").identity(), textEntry("abc ").identity());

    const QUrl a = QUrl::fromLocalFile("/tmp/a.txt");
    const QUrl b = QUrl::fromLocalFile("/tmp/b.txt");
    EXPECT_EQ(entry(Payload::files({ a, b })).identity(), "f:/tmp/a.txt|/tmp/b.txt");
    EXPECT_NE(entry(Payload::files({ a, b })).identity(), entry(Payload::files({ b, a })).identity());
    // One file whose name holds the separator is not the same as two files.
    const QUrl joined = QUrl::fromLocalFile("/tmp/a.txt|/tmp/b.txt");
    EXPECT_NE(entry(Payload::files({ joined })).identity(), entry(Payload::files({ a, b })).identity());

    // A file URL that names the local host is the same file.
    QUrl hosted = a;
    hosted.setHost(QStringLiteral("localhost"));
    EXPECT_EQ(entry(Payload::files({ hosted, b })).identity(), "f:/tmp/a.txt|/tmp/b.txt");
    EXPECT_EQ(entry(Payload::files({ hosted })).byteCount(), 10);

    const auto image = entry(Payload::image(fakePng('x'), { 10, 20 }));
    EXPECT_TRUE(image.identity().startsWith("i:200:"));
}

TEST(ClipboardItem, ImagesOfOneSizeWithEqualHeadersStayApart)
{
    // Two different PNGs of the same length share their first 64 bytes; they must not merge,
    // or pasting the newer one would paste the older picture.
    const auto first = entry(Payload::image(fakePng('1'), { 4, 4 }), 0);
    const auto second = entry(Payload::image(fakePng('2'), { 4, 4 }), 1);
    EXPECT_NE(first.identity(), second.identity());

    ClipboardStore store({ 100, 1 << 20 });
    EXPECT_TRUE(store.insert(first));
    EXPECT_TRUE(store.insert(second));
    ASSERT_EQ(store.items().size(), 2);
    EXPECT_EQ(store.items()[0].payload.asImage()->png, fakePng('2'));

    // The very same bytes are one entry.
    EXPECT_FALSE(store.insert(entry(Payload::image(fakePng('1'), { 4, 4 }), 2)));
    EXPECT_EQ(store.items().size(), 2);
    EXPECT_EQ(store.items()[0].id, first.id);
}

TEST(ClipboardItem, ByteCountMeasuresWhatIsHeld)
{
    EXPECT_EQ(textEntry(QStringLiteral("Résumé")).byteCount(), 8);
    EXPECT_EQ(entry(Payload::image(fakePng('x', 300), { 1, 1 })).byteCount(), 300);
    EXPECT_EQ(entry(Payload::files({ QUrl::fromLocalFile("/a/ü"), QUrl::fromLocalFile("/bc") })).byteCount(), 5 + 3);
    EXPECT_EQ(entry(Payload::files({})).byteCount(), 0);
}

TEST(ClipboardItem, PreviewIsOneLine)
{
    EXPECT_EQ(textEntry("  \n\n first line \r\nsecond\n").preview(), "first line ");
    EXPECT_EQ(textEntry(QStringLiteral("one\u2028two")).preview(), "one");
    EXPECT_EQ(textEntry("one\vtwo").preview(), "one");
    EXPECT_EQ(textEntry("tab\there").preview(), "tab\there");

    // White space only: the count of characters as a person sees them (CR LF is one).
    EXPECT_EQ(textEntry(" \t\r\n ").preview(), "4 characters of whitespace");
    EXPECT_EQ(textEntry("").preview(), "0 characters of whitespace");

    EXPECT_EQ(entry(Payload::image({}, { 640.9, 480.2 })).preview(), QStringLiteral("Image — 640×480"));
    // A size that is no number must not become garbage.
    EXPECT_EQ(entry(Payload::image({}, { qQNaN(), qInf() })).preview(), QStringLiteral("Image — 0×0"));

    EXPECT_EQ(entry(Payload::files({ QUrl::fromLocalFile("/home/me/report.pdf") })).preview(), "report.pdf");
    EXPECT_EQ(entry(Payload::files({ QUrl::fromLocalFile("/home/me/folder/") })).preview(), "folder");
    EXPECT_EQ(entry(Payload::files({ QUrl::fromLocalFile("/a"), QUrl::fromLocalFile("/b") })).preview(), "2 files");
    EXPECT_EQ(entry(Payload::files({})).preview(), "0 files");
}

TEST(ClipboardItem, AHugeTextShowsAndSearchesItsBeginningAndKeepsItAllForPasting)
{
    // Four million characters on one line, an accented letter where the shown line ends.
    QString huge = QString(Payload::shownLineLength - 1, QLatin1Char('a')) + QStringLiteral("e\u0301");
    huge += QString(4'000'000, QLatin1Char('b')) + QStringLiteral(" needle");
    const ClipboardItem item = textEntry(huge);
    EXPECT_EQ(item.preview(), QString(Payload::shownLineLength - 1, QLatin1Char('a')) + QStringLiteral("…"))
        << "cut before the letter, not between it and its accent";
    EXPECT_EQ(item.searchText().size(), Payload::searchedLength);
    EXPECT_EQ(*item.payload.asText(), huge);
    EXPECT_EQ(item.byteCount(), huge.toUtf8().size());

    ClipboardStore store({ 100, 1 << 30 });
    store.insert(item);
    EXPECT_EQ(store.filtered("aaaé").size(), 1);
    EXPECT_TRUE(store.filtered("needle").isEmpty()) << "far past what a search reads";
    // A long first line of a text that goes on is cut too; a short one is whole.
    EXPECT_EQ(textEntry(QString(300, QLatin1Char('x')) + "\nmore").preview().size(), Payload::shownLineLength + 1);
    EXPECT_EQ(textEntry("short\n" + QString(300, QLatin1Char('x'))).preview(), "short");
}

TEST(ClipboardItem, SearchTextAndKind)
{
    EXPECT_EQ(entry(Payload::image({}, { 1, 1 })).searchText(), "image picture screenshot");
    EXPECT_EQ(entry(Payload::files({ QUrl::fromLocalFile("/x/a.png"), QUrl::fromLocalFile("/y/b c") })).searchText(),
        "a.png b c");
    EXPECT_TRUE(textEntry("x").isText());
    EXPECT_FALSE(entry(Payload::files({})).isText());
}

TEST(ClipboardStore, SameTextTwiceRefreshesTheEntry)
{
    ClipboardStore store({ 100, 1 << 20 });
    const auto original = entry(Payload::text("hello"), 0, true, QStringLiteral("org.example.editor"));
    EXPECT_TRUE(store.insert(original));
    EXPECT_TRUE(store.insert(textEntry("other", 1)));
    EXPECT_TRUE(store.insert(textEntry("hello ", 2)));

    // A nil source keeps the old one.
    EXPECT_FALSE(store.insert(entry(Payload::text("hello"), 3)));
    ASSERT_EQ(store.items().size(), 3);
    const ClipboardItem& front = store.items()[0];
    EXPECT_EQ(front.id, original.id);
    EXPECT_TRUE(front.isPinned);
    EXPECT_EQ(front.copiedAt, epoch.addSecs(3));
    EXPECT_EQ(front.sourceBundleID, QStringLiteral("org.example.editor"));

    EXPECT_FALSE(store.insert(entry(Payload::text("hello"), 4, false, QStringLiteral("org.example.shell"))));
    EXPECT_EQ(store.items()[0].sourceBundleID, QStringLiteral("org.example.shell"));
    EXPECT_EQ(texts(store.items()), (QStringList { "hello", "hello ", "other" }));
}

TEST(ClipboardStore, EvictsTheOldestUnpinnedByCount)
{
    auto store = storeWith(3, 1 << 20, { textEntry("A", 0, true), textEntry("B"), textEntry("C") });
    EXPECT_TRUE(store.insert(textEntry("D")));
    EXPECT_EQ(texts(store.items()), (QStringList { "D", "A", "B" }));

    auto allPinned
        = storeWith(3, 1 << 20, { textEntry("A", 0, true), textEntry("B", 0, true), textEntry("C", 0, true) });
    EXPECT_TRUE(allPinned.insert(textEntry("D")));
    EXPECT_EQ(texts(allPinned.items()), (QStringList { "A", "B", "C" }));

    auto none = storeWith(0, 1 << 20, { textEntry("A", 0, true), textEntry("B") });
    EXPECT_TRUE(none.insert(textEntry("C")));
    EXPECT_EQ(texts(none.items()), (QStringList { "A" }));
}

TEST(ClipboardStore, EvictsTheOldestUnpinnedByBytes)
{
    const auto bigPinned = entry(Payload::image(fakePng('p', 1000), { 1, 1 }), 0, true);
    auto store = storeWith(100, 500, { textEntry("a"), bigPinned, textEntry("b") });
    EXPECT_TRUE(store.insert(textEntry("c")));
    ASSERT_EQ(store.items().size(), 1);
    EXPECT_EQ(store.items()[0].id, bigPinned.id);

    auto budget = storeWith(100, 6, { textEntry("aa"), textEntry("bb"), textEntry("cc") });
    EXPECT_TRUE(budget.insert(textEntry("dd")));
    EXPECT_EQ(texts(budget.items()), (QStringList { "dd", "aa", "bb" }));
    EXPECT_EQ(budget.totalBytes(), 6);
}

TEST(ClipboardStore, RemoveClearAndUnknownIds)
{
    auto store = storeWith(100, 1 << 20, { textEntry("A", 0, true), textEntry("B"), textEntry("C", 0, true) });
    const auto before = store;
    store.remove(QUuid::createUuid());
    store.togglePin(QUuid::createUuid());
    EXPECT_EQ(store, before);

    store.clearUnpinned();
    EXPECT_EQ(texts(store.items()), (QStringList { "A", "C" }));
    store.remove(store.items()[0].id);
    EXPECT_EQ(texts(store.items()), (QStringList { "C" }));
    store.clearAll();
    EXPECT_TRUE(store.items().isEmpty());
    EXPECT_EQ(store.totalBytes(), 0);
}

TEST(ClipboardStore, TogglePinOrdersPinnedFirstThenNewest)
{
    auto store = storeWith(100, 1 << 20,
        { textEntry("new", 30), textEntry("pinnedOld", 5, true), textEntry("mid", 20), textEntry("pinnedNew", 25, true),
            textEntry("old", 10) });
    store.togglePin(store.items()[2].id); // pin "mid"
    EXPECT_EQ(texts(store.items()), (QStringList { "pinnedNew", "mid", "pinnedOld", "new", "old" }));
    store.togglePin(store.items()[0].id); // unpin "pinnedNew"
    EXPECT_EQ(texts(store.items()), (QStringList { "mid", "pinnedOld", "new", "pinnedNew", "old" }));

    // Inserting puts a new entry ahead of pinned ones; only a toggle restores the order.
    store.insert(textEntry("fresh", 40));
    EXPECT_EQ(*store.items()[0].payload.asText(), QStringLiteral("fresh"));
}

TEST(ClipboardStore, FilterIgnoresCaseAndDiacritics)
{
    auto store = storeWith(100, 1 << 20,
        { textEntry(QStringLiteral("Mon Résumé final")), textEntry("resume"), textEntry("something else"),
            entry(Payload::image({}, { 1, 1 })), entry(Payload::files({ QUrl::fromLocalFile("/x/Ångström.txt") })) });

    EXPECT_EQ(store.filtered(" \n\t ").size(), 5);
    EXPECT_EQ(texts(store.filtered("resume")), (QStringList { QStringLiteral("Mon Résumé final"), "resume" }));
    EXPECT_EQ(texts(store.filtered(QStringLiteral("  RÉSUMÉ "))),
        (QStringList { QStringLiteral("Mon Résumé final"), "resume" }));
    EXPECT_EQ(store.filtered("SCREEN").size(), 1);
    EXPECT_EQ(texts(store.filtered("angstrom")), (QStringList { QStringLiteral("Ångström.txt") }));
    // A precomposed and a decomposed accent are the same letter.
    EXPECT_EQ(store.filtered(QStringLiteral("Re\u0301sume\u0301 f")).size(), 1);
    EXPECT_TRUE(store.filtered("nothing like it").isEmpty());
}
