#include "platform/clipboard/system_clipboard.h"

#include "support/peer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <optional>

using namespace nimbra;
using nimbra::test::waitUntil;

namespace {

// Reads the clipboard's UTF8_STRING once and waits for the answer, however it ends.
std::optional<ClipboardOffer> readText(SystemClipboard& clipboard)
{
    std::optional<ClipboardOffer> result;
    clipboard.read([](const QList<QByteArray>&) { return QList<QByteArray> { "UTF8_STRING" }; },
        SystemClipboard::maxTransferBytes, [&](const ClipboardOffer& offer) { result = offer; });
    waitUntil([&] { return result.has_value(); }, 30000);
    return result;
}

struct SelectionOnX : ::testing::Test {
    SystemClipboard clipboard;
};

} // namespace

// An X server has one clipboard: each case has a server (and harness) of its own.
NIMBRA_OWN_HARNESS(SelectionOnX);

TEST_F(SelectionOnX, AnIncrementalTransferThatStopsLeavesNothingForTheNextRead)
{
    const QByteArray stalled = QByteArray("stale piece ").repeated(600);
    const QByteArray fresh = QByteArray("fresh words ").repeated(40);
    test::Peer owner(NIMBRA_INCR_OWNER, { QString::fromLatin1(stalled), QString::fromLatin1(fresh) });
    ASSERT_TRUE(owner.said("owning"));

    // The owner starts sending and stops: the read gives up with nothing.
    const std::optional<ClipboardOffer> first = readText(clipboard);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->hasData());

    // It wakes up, copies a new text and goes on with the old transfer as well. The next read
    // gets the new text whole, and none of the old one.
    owner.process.write("resume\n");
    ASSERT_TRUE(owner.said("resumed"));
    const std::optional<ClipboardOffer> second = readText(clipboard);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->target, "UTF8_STRING");
    EXPECT_EQ(second->data.toStdString(), fresh.toStdString());
}

TEST_F(SelectionOnX, ATargetAboveTheLimitIsNotReadAndSaysSo)
{
    const QByteArray text = QByteArray("pieces of a long text ").repeated(20);
    test::Peer owner(NIMBRA_INCR_OWNER, { QString::fromLatin1(text), QString::fromLatin1(text) });
    ASSERT_TRUE(owner.said("owning"));
    owner.process.write("resume\n");
    ASSERT_TRUE(owner.said("resumed"));

    std::optional<ClipboardOffer> offer;
    clipboard.read([](const QList<QByteArray>&) { return QList<QByteArray> { "UTF8_STRING" }; }, text.size() - 1,
        [&](const ClipboardOffer& answer) { offer = answer; });
    ASSERT_TRUE(waitUntil([&] { return offer.has_value(); }, 30000));
    EXPECT_TRUE(offer->tooLarge);
    EXPECT_FALSE(offer->hasData());
    // Within the limit the same text is read whole.
    const std::optional<ClipboardOffer> whole = readText(clipboard);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->data.toStdString(), text.toStdString());
}
