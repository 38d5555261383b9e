#include "ui/surface/hover_probe_window.h"
#include "ui/surface/notch_panel.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace nimbra;

TEST(HoverProbeView, RefusesDragsFromInsideAndNonFileContent)
{
    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")), QUrl(QStringLiteral("https://example.org/")) });
    EXPECT_EQ(HoverProbeView::urls(&files, false), QList<QUrl>({ QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt")) }));
    EXPECT_TRUE(HoverProbeView::urls(&files, true).isEmpty());
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    EXPECT_TRUE(HoverProbeView::urls(&text, false).isEmpty());
    EXPECT_TRUE(HoverProbeView::urls(nullptr, false).isEmpty());
}

TEST(NotchPanel, InputShapeDecision)
{
    const QSize window(436, 164);
    EXPECT_TRUE(NotchPanel::inputShape(true, QRectF(20, 0, 396, 124), window, true).isEmpty());
    EXPECT_TRUE(NotchPanel::inputShape(false, std::nullopt, window, true).isEmpty());
    EXPECT_EQ(NotchPanel::inputShape(false, std::nullopt, window, false), QRegion(0, 0, 436, 164));
    EXPECT_EQ(NotchPanel::inputShape(false, QRectF(20.5, 0, 395, 124), window, true), QRegion(20, 0, 396, 124));
    EXPECT_EQ(NotchPanel::inputShape(false, QRectF(-10, 0, 500, 500), window, true), QRegion(0, 0, 436, 164));
}

TEST(NotchPanel, InputLimitCoversWholeDevicePixels)
{
    // One device pixel high on a doubled screen is half a point.
    EXPECT_EQ(NotchPanel::devicePixelCover(QRectF(4, 0, 120, 0.5), 2, QSize(256, 56)), QRegion(8, 0, 240, 1));
    EXPECT_EQ(NotchPanel::devicePixelCover(QRectF(4, 0, 120, 1), 1, QSize(128, 28)), QRegion(4, 0, 120, 1));
    // A fractional edge takes the whole pixel it touches, and nothing outside the window.
    EXPECT_EQ(NotchPanel::devicePixelCover(QRectF(3.5, 0, 120, 1), 1, QSize(128, 28)), QRegion(3, 0, 121, 1));
    EXPECT_EQ(NotchPanel::devicePixelCover(QRectF(-10, -5, 300, 10), 1, QSize(128, 28)), QRegion(0, 0, 128, 5));
    EXPECT_TRUE(NotchPanel::devicePixelCover(QRectF(4, 0, 120, 0), 1, QSize(128, 28)).isEmpty());
}

TEST(PassthroughHostingView, ClicksReachTheHostedViewOnlyInsideTheRegion)
{
    PassthroughHostingView view;
    view.resize(436, 164);
    EXPECT_FALSE(view.hitTest(QPointF(200, 10)));
    std::optional<QRectF> region;
    view.interactiveRegion = [&] { return region; };
    EXPECT_FALSE(view.hitTest(QPointF(200, 10)));
    // Declared with the origin at the bottom left: 124 high from the top edge of a 164-high panel.
    region = QRectF(20, 40, 396, 124);
    EXPECT_EQ(view.interactiveRect(), QRectF(20, 0, 396, 124));
    EXPECT_TRUE(view.hitTest(QPointF(200, 10)));
    EXPECT_FALSE(view.hitTest(QPointF(200, 130)));
    EXPECT_FALSE(view.hitTest(QPointF(10, 10)));
}

TEST(NotchPanel, ShowsTheTooltipsOfItsButtonsThoughItIsNeverTheActiveWindow)
{
    // The panel takes no focus, so it is not the active window while the pointer rests on it;
    // its symbol-only buttons still explain themselves.
    NotchPanel panel(QRectF(100, 600, 436, 164));
    auto* button = new QWidget(&panel);
    button->setGeometry(40, 4, 30, 20);
    button->setToolTip(QStringLiteral("Status"));
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    // Another application's window has the focus.
    QWidget other;
    other.setGeometry(700, 300, 100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(panel.isActiveWindow());

    // The pointer comes to rest on the button.
    QTest::mouseMove(panel.windowHandle(), QPoint(50, 10));
    QTest::mouseMove(panel.windowHandle(), QPoint(55, 12));
    EXPECT_TRUE(nimbra::test::waitUntil([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Status"));
    QToolTip::hideText();
}

TEST(HoverProbeWindow, FollowsTheNotchAndReportsSamples)
{
    const NotchGeometry geometry(DisplayMetrics { QRectF(0, 0, 800, 600), QRectF(0, 0, 800, 576), 0, {}, {} });
    HoverProbeWindow probe(geometry, 4);
    EXPECT_TRUE(probe.isVisible());
    EXPECT_EQ(probe.frame(), geometry.trackingRect(4));
    EXPECT_FALSE(probe.allowsKey());
    probe.setActive(false);
    EXPECT_TRUE(probe.currentInputShape().isEmpty());
    probe.setActive(true);
    EXPECT_EQ(probe.currentInputShape(), QRegion(0, 0, 128, 28));
    // Limited to the top row of the notch: model coordinates, 4 points in from the left.
    probe.setInputLimit(QRectF(340, 599, 120, 1));
    EXPECT_EQ(probe.currentInputShape(), QRegion(4, 0, 120, 1));
    probe.setActive(false);
    EXPECT_TRUE(probe.currentInputShape().isEmpty()) << "ignoring mouse events wins";
    probe.setActive(true);
    probe.setInputLimit(std::nullopt);
    probe.track(QRectF(300, 500, 200, 100));
    EXPECT_EQ(probe.frame(), QRectF(300, 500, 200, 100));

    std::vector<std::pair<QPointF, bool>> samples;
    probe.onSample() = [&](QPointF p, bool inside) { samples.emplace_back(p, inside); };
    probe.probeView()->pointer = [] { return QPointF(400, 590); };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(probe.probeView(), &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(probe.probeView(), &leave);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], std::make_pair(QPointF(400, 590), true));
    EXPECT_EQ(samples[1], std::make_pair(QPointF(400, 590), false));

    // A click on the probe ends there: it is not a click on a surface, so the hosting view's
    // click handling (and its "mouseDown" log line) never sees it.
    struct PressCounter : QObject {
        int presses = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            presses += e->type() == QEvent::MouseButtonPress;
            return false;
        }
    } counter;
    probe.contentView()->installEventFilter(&counter);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(probe.probeView(), &press);
    EXPECT_EQ(counter.presses, 0);
}

TEST(HoverProbeView, DragAndDropProtocol)
{
    HoverProbeView view;
    view.resize(128, 28);
    std::vector<QString> calls;
    view.onDragHover
        = [&](bool hovering) { calls.push_back(hovering ? QStringLiteral("hover") : QStringLiteral("unhover")); };

    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(QStringLiteral("/tmp/report.pdf")) });
    QDragEnterEvent noTaker(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &noTaker);
    EXPECT_FALSE(noTaker.isAccepted()) << "nobody takes the files yet";
    EXPECT_TRUE(calls.empty());

    QList<QUrl> dropped;
    view.onDropFiles = [&](const QList<QUrl>& urls) {
        calls.push_back(QStringLiteral("drop"));
        dropped = urls;
        return true;
    };
    QMimeData text;
    text.setText(QStringLiteral("https://example.org/"));
    QDragEnterEvent textEnter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &textEnter);
    EXPECT_FALSE(textEnter.isAccepted());
    EXPECT_TRUE(calls.empty()) << "non-file content never counts as a drag over the notch";

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(6, 6), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    // The hover ends before the files are offered.
    EXPECT_EQ(
        calls, std::vector<QString>({ QStringLiteral("hover"), QStringLiteral("unhover"), QStringLiteral("drop") }));
    EXPECT_EQ(dropped, files.urls());

    calls.clear();
    QDragEnterEvent again(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &again);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&view, &leave);
    // Leaving ends the hover once no other window of the notch took the drag over.
    EXPECT_EQ(calls, std::vector<QString>({ QStringLiteral("hover") }));
    ASSERT_TRUE(nimbra::test::waitUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls, std::vector<QString>({ QStringLiteral("hover"), QStringLiteral("unhover") }));
}

TEST(HoverProbeView, ADragPassingFromThePanelToTheProbeIsOneHover)
{
    // The open surface's panel hands its drags to the probe's protocol.
    HoverProbeView probe;
    PassthroughHostingView panel;
    panel.setDropTarget(probe.dropTarget());
    EXPECT_TRUE(panel.acceptDrops());
    std::vector<QString> calls;
    probe.onDragHover
        = [&](bool hovering) { calls.push_back(hovering ? QStringLiteral("hover") : QStringLiteral("unhover")); };
    QList<QUrl> dropped;
    probe.onDropFiles = [&](const QList<QUrl>& urls) {
        calls.push_back(QStringLiteral("drop"));
        dropped = urls;
        return true;
    };
    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(QStringLiteral("/tmp/report.pdf")) });

    QDragEnterEvent overPanel(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &overPanel);
    EXPECT_TRUE(overPanel.isAccepted());
    EXPECT_EQ(overPanel.dropAction(), Qt::CopyAction);
    EXPECT_TRUE(probe.isDragHovering());
    // The panel stops taking the pointer; the drag goes on over the probe beneath. Its source,
    // busy, does not answer the probe's question for the files: they are the same drag's.
    QDragLeaveEvent leavePanel;
    QCoreApplication::sendEvent(&panel, &leavePanel);
    QMimeData unanswered;
    QDragEnterEvent overProbe(QPoint(5, 5), Qt::CopyAction, &unanswered, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&probe, &overProbe);
    EXPECT_TRUE(overProbe.isAccepted());
    QDropEvent drop(QPointF(6, 6), Qt::CopyAction, &unanswered, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&probe, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(
        calls, std::vector<QString>({ QStringLiteral("hover"), QStringLiteral("unhover"), QStringLiteral("drop") }));
    EXPECT_EQ(dropped, files.urls());

    // A drop on the panel itself is taken just the same.
    calls.clear();
    QDragEnterEvent again(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &again);
    QDropEvent onPanel(QPointF(6, 6), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&panel, &onPanel);
    EXPECT_TRUE(onPanel.isAccepted());
    EXPECT_EQ(
        calls, std::vector<QString>({ QStringLiteral("hover"), QStringLiteral("unhover"), QStringLiteral("drop") }));

    // Without a drop target the panel takes no drags.
    PassthroughHostingView bare;
    EXPECT_FALSE(bare.acceptDrops());
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&bare, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(HoverProbeView, FileDragsMoveThePointerAsMotionWould)
{
    // The drag's source holds the pointer meanwhile: only the drag reports where it is.
    HoverProbeView view;
    std::vector<bool> samples;
    view.onSample = [&](QPointF, bool inside) { samples.push_back(inside); };
    view.pointer = [] { return QPointF(400, 590); };
    view.onDropFiles = [](const QList<QUrl>&) { return true; };
    const QList<QUrl> files { QUrl::fromLocalFile(QStringLiteral("/tmp/report.pdf")) };
    EXPECT_TRUE(view.dragEntered(files));
    EXPECT_TRUE(view.dragMoved(files));
    view.dragExited();
    EXPECT_EQ(samples, std::vector<bool>({ true, true, false }));

    // Entering reads the files; moving does not ask the source again and keeps what entered.
    QMimeData data;
    data.setUrls(files);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QMimeData emptied;
    QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &emptied, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
    EXPECT_TRUE(move.isAccepted());
    QList<QUrl> dropped;
    view.onDropFiles = [&](const QList<QUrl>& urls) {
        dropped = urls;
        return true;
    };
    QDropEvent drop(QPointF(6, 6), Qt::CopyAction, &emptied, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &drop);
    EXPECT_EQ(dropped, files);
    // A new drag starts afresh.
    QDragEnterEvent text(QPoint(5, 5), Qt::CopyAction, &emptied, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &text);
    EXPECT_FALSE(text.isAccepted());
}
