#include "modules/now_playing/now_playing_views.h"

#include "core/uptime.h"
#include "modules/now_playing/now_playing_parts.h"
#include "modules/surface_stage.h"
#include "ui/surface/level_readout.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;
using Transport = NowPlayingActivityView::Transport;

namespace {

const QColor coverRed(220, 30, 30);

QImage cover()
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(coverRed);
    return image;
}

NowPlayingTrack track(bool playing, double duration = 200, double position = 15)
{
    return { NowPlayingTrack::Source::spotify, QStringLiteral("Blue in Green"), QStringLiteral("Miles Davis"),
        QStringLiteral("Kind of Blue"), playing ? 1.0 : 0.0, position, uptime(), duration, QStringLiteral("id") };
}

// One surface size per scale: the collapsed readout and the open surface, with the notch of
// a small, the reference and a large display.
struct Scale {
    const char* name;
    SurfaceMetrics activity;
    SurfaceMetrics expanded;
};
const Scale kScales[] = {
    { "small", SurfaceMetrics(QSizeF(200, 64), 28, 160), SurfaceMetrics(QSizeF(300, 96), 28, 160) },
    { "reference", SurfaceMetrics(QSizeF(233, 78), 32, 185), SurfaceMetrics(QSizeF(360, 124), 32, 185) },
    { "large", SurfaceMetrics(QSizeF(365, 150), 37, 215), SurfaceMetrics(QSizeF(620, 260), 37, 215) },
};

// The expanded tab fills the body below the notch band, as the shell places it.
QSizeF tabSize(const SurfaceMetrics& m)
{
    return QSizeF(m.size().width(), m.size().height() - m.notchHeight());
}

// Lets the landing and any fade finish.
void settle(const std::function<bool()>& moving)
{
    waitUntil([&] { return !moving(); }, 3000);
    QApplication::processEvents();
}

QPointF centre(const QRectF& r)
{
    return r.center();
}

} // namespace

TEST(NowPlayingActivityView, ShowsCoverTitleAndTheRightEndAtEveryScaleInBothThemes)
{
    for (const Scale& scale : kScales) {
        for (const bool dark : { true, false }) {
            for (const bool withCover : { true, false }) {
                const NotchTheme theme { dark, ClockFont::lockScreen };
                Stage stage(theme, scale.activity.size());
                const NowPlayingTrack playing = track(true);
                auto* view = stage.make<NowPlayingActivityView>(
                    playing, withCover ? cover() : QImage(), scale.activity, std::nullopt, 1);
                settle([&] { return view->isAnimating(); });
                const QImage image = stage.render();
                const QString name = QStringLiteral("now_playing_activity_%1_%2_%3")
                                         .arg(scale.name, dark ? "dark" : "light", withCover ? "cover" : "placeholder");
                saveArtefact(image, name);
                const auto l = NowPlayingActivityView::layout(playing, std::nullopt, scale.activity, stage.host.size());
                SCOPED_TRACE(name.toStdString());

                // The cover fills its square; the placeholder is no cover colour.
                const QColor middle = pixelAt(image, centre(l.artwork).x(), centre(l.artwork).y() - 2);
                EXPECT_EQ(near(middle, coverRed, 30), withCover);
                // Readable title and artist lines, and the accent equaliser at the end.
                EXPECT_GT(countNear(image, l.title, theme.primaryText(), 60), 5);
                EXPECT_GT(countNear(image, l.artist, over(theme.secondaryText(0.5), theme.surface()), 60), 3);
                EXPECT_GT(countNear(image, l.trailing, theme.accent(), 40), 3);
                EXPECT_TRUE(l.trailing.right() <= scale.activity.size().width() - scale.activity.sidePadding() + 0.5);
                EXPECT_GE(l.row.top(), scale.activity.notchHeight() - 0.5) << "the row clears the notch";
            }
        }
    }
}

TEST(NowPlayingActivityView, TheRightEndFollowsTransportAndPlayState)
{
    EXPECT_EQ(NowPlayingActivityView::trailingSymbol(track(true), std::nullopt), QString());
    EXPECT_EQ(NowPlayingActivityView::trailingSymbol(track(false), std::nullopt), "pause.fill");
    EXPECT_EQ(NowPlayingActivityView::trailingSymbol(track(true), Transport::play), "play.fill");
    EXPECT_EQ(NowPlayingActivityView::trailingSymbol(track(true), Transport::pause), "pause.fill");
    EXPECT_EQ(NowPlayingActivityView::artistLine(track(false), Transport::pause), "Paused");
    EXPECT_EQ(NowPlayingActivityView::artistLine(track(true), Transport::play), "Miles Davis");

    // The flashed glyph sits in a well circle; the paused glyph alone.
    const Scale& reference = kScales[1];
    const NotchTheme theme = NotchTheme::dark();
    Stage stage(theme, reference.activity.size());
    auto* flashed = stage.make<NowPlayingActivityView>(track(false), QImage(), reference.activity, Transport::pause, 2);
    settle([&] { return flashed->isAnimating(); });
    const auto l
        = NowPlayingActivityView::layout(track(false), Transport::pause, reference.activity, stage.host.size());
    const QImage image = stage.render();
    saveArtefact(image, "now_playing_activity_paused_flash");
    const QColor well = over(theme.well(0.16), theme.surface());
    EXPECT_TRUE(near(pixelAt(image, l.trailing.left() + 2.5, l.trailing.center().y()), well, 6));
    EXPECT_GT(countNear(image, l.trailing, theme.accent(), 40), 3);
    EXPECT_FALSE(flashed->findChild<Equaliser*>()->isVisible());

    // Only a playing track without a flash runs the equaliser.
    auto* playing = stage.make<NowPlayingActivityView>(track(true), QImage(), reference.activity, std::nullopt, 3);
    EXPECT_TRUE(playing->findChild<Equaliser*>()->isVisible());
    EXPECT_TRUE(playing->findChild<Equaliser*>()->isTicking());
}

TEST(NowPlayingActivityView, ANewStateOfTheSameReadoutKeepsItsLandingAndFadesTheCoverIn)
{
    const Scale& reference = kScales[1];
    Stage stage(NotchTheme::dark(), reference.activity.size());
    auto* view = stage.make<NowPlayingActivityView>(track(true), QImage(), reference.activity, std::nullopt, 7);
    settle([&] { return view->isAnimating(); });
    ASSERT_TRUE(view->isLanded());
    const NowPlayingActivityView fresh(track(true), cover(), reference.activity, std::nullopt, 7);
    view->adopt(fresh);
    EXPECT_FALSE(view->isAnimating()) << "no second landing";
    auto* artwork = view->findChild<ArtworkView*>();
    ASSERT_NE(artwork, nullptr);
    EXPECT_TRUE(artwork->isFading());
    settle([&] { return artwork->isFading(); });
    const auto l = NowPlayingActivityView::layout(track(true), std::nullopt, reference.activity, stage.host.size());
    EXPECT_TRUE(near(pixelAt(stage.render(), l.artwork.center().x(), l.artwork.center().y() - 2), coverRed, 30));
}

TEST(NowPlayingExpandedView, ShowsTheTabAtEveryScaleInBothThemes)
{
    for (const Scale& scale : kScales) {
        for (const bool dark : { true, false }) {
            for (const bool withCover : { true, false }) {
                const NotchTheme theme { dark, ClockFont::lockScreen };
                Stage stage(theme, tabSize(scale.expanded));
                const NowPlayingTrack playing = track(true);
                auto* view = stage.make<NowPlayingExpandedView>(
                    playing, withCover ? cover() : QImage(), scale.expanded, [] {}, [] {}, [] {}, [](double) {});
                QApplication::processEvents();
                const QImage image = stage.render();
                const QString name = QStringLiteral("now_playing_expanded_%1_%2_%3")
                                         .arg(scale.name, dark ? "dark" : "light", withCover ? "cover" : "placeholder");
                saveArtefact(image, name);
                const auto l = NowPlayingExpandedView::layout(playing, scale.expanded, stage.host.size());
                SCOPED_TRACE(name.toStdString());

                EXPECT_EQ(
                    near(pixelAt(image, l.artwork.center().x(), l.artwork.center().y() - 3), coverRed, 30), withCover);
                EXPECT_GT(countNear(image, l.title, theme.primaryText(), 60), 5);
                // Every control lies inside the tab.
                for (const QRectF& r : { l.artwork, l.scrubber, l.previous, l.playPause, l.next })
                    EXPECT_TRUE(QRectF(QPointF(0, 0), stage.host.size()).contains(r)) << r.x() << "," << r.y();
                EXPECT_LT(l.previous.right(), l.playPause.left());
                EXPECT_LT(l.playPause.right(), l.next.left());
                // The play button shows pause while playing, in the primary colour.
                EXPECT_EQ(view->playPauseButton()->symbol(), "pause.fill");
                EXPECT_GT(countNear(image, l.playPause, theme.primaryText(), 90), 5);
            }
        }
    }
}

TEST(NowPlayingExpandedView, TheTransportButtonsStayPutWhateverTheTrackShows)
{
    // A second click must land on the same control: playing or paused (equaliser or none), a
    // title that fills the row or none, an unknown length, nothing moves the buttons.
    for (const Scale& scale : kScales) {
        const QSizeF size = tabSize(scale.expanded);
        const auto base = NowPlayingExpandedView::layout(track(true), scale.expanded, size);
        NowPlayingTrack longTitle = track(false, 0);
        longTitle.title = QString(300, QChar(u'W'));
        longTitle.artist.clear();
        for (const NowPlayingTrack& other : { track(false), longTitle }) {
            const auto l = NowPlayingExpandedView::layout(other, scale.expanded, size);
            EXPECT_EQ(l.previous, base.previous) << scale.name;
            EXPECT_EQ(l.playPause, base.playPause) << scale.name;
            EXPECT_EQ(l.next, base.next) << scale.name;
            EXPECT_EQ(l.scrubber, base.scrubber) << scale.name;
        }
    }
    // The long title gives way before the row's end.
    const Scale& reference = kScales[1];
    Stage stage(NotchTheme::dark(), tabSize(reference.expanded));
    NowPlayingTrack longTitle = track(false, 0);
    longTitle.title = QString(300, QChar(u'W'));
    stage.make<NowPlayingExpandedView>(longTitle, QImage(), reference.expanded, [] {}, [] {}, [] {}, [](double) {});
    QApplication::processEvents();
    const QImage image = stage.render();
    saveArtefact(image, "now_playing_expanded_long_title");
    const auto l = NowPlayingExpandedView::layout(longTitle, reference.expanded, stage.host.size());
    EXPECT_LE(l.title.right(), stage.host.width() - reference.expanded.sidePadding() + 0.5);
}

TEST(NowPlayingExpandedView, CoverSizeAndEqualiserFollowTheSurfaceHeight)
{
    const SurfaceMetrics tall(QSizeF(620, 400), 32, 185);
    const SurfaceMetrics shallow(QSizeF(300, 84), 32, 185);
    EXPECT_EQ(NowPlayingExpandedView::artworkSide(tall), 200);
    EXPECT_EQ(NowPlayingExpandedView::artworkSide(shallow), 34);
    EXPECT_EQ(NowPlayingExpandedView::artworkSide(SurfaceMetrics(QSizeF(300, 20), 32, 185)), 34);
    // Content heights below 66 leave the equaliser out, even while playing.
    EXPECT_FALSE(NowPlayingExpandedView::showsEqualiser(track(true), SurfaceMetrics(QSizeF(360, 97), 32, 185)));
    EXPECT_TRUE(NowPlayingExpandedView::showsEqualiser(track(true), SurfaceMetrics(QSizeF(360, 98), 32, 185)));
    EXPECT_FALSE(NowPlayingExpandedView::showsEqualiser(track(false), SurfaceMetrics(QSizeF(360, 124), 32, 185)));
    EXPECT_EQ(NowPlayingExpandedView::playPauseSymbol(track(false)), "play.fill");
}

TEST(NowPlayingExpandedView, ButtonsReportTheirActionsAndAdoptionKeepsADrag)
{
    const Scale& reference = kScales[1];
    Stage stage(NotchTheme::dark(), tabSize(reference.expanded));
    std::vector<QString> calls;
    auto* view = stage.make<NowPlayingExpandedView>(
        track(true), QImage(), reference.expanded, [&] { calls.push_back("playPause"); },
        [&] { calls.push_back("next"); }, [&] { calls.push_back("previous"); },
        [&](double f) { calls.push_back("scrub " + QString::number(f)); });
    view->previousButton()->click();
    view->playPauseButton()->click();
    view->nextButton()->click();
    EXPECT_EQ(calls, (std::vector<QString> { "previous", "playPause", "next" }));

    // A drag in progress survives a newer state of the track, which takes the paused glyph.
    ScrubBar* bar = view->scrubber()->bar();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(bar->width() * 0.5, 4), bar->mapToGlobal(QPointF(0, 0)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    ASSERT_TRUE(view->scrubber()->dragFraction());
    const NowPlayingExpandedView fresh(
        track(false), QImage(), reference.expanded, [] {}, [] {}, [] {}, [](double) {});
    view->adopt(fresh);
    EXPECT_TRUE(view->scrubber()->dragFraction().has_value());
    EXPECT_EQ(view->playPauseButton()->symbol(), "play.fill");
    EXPECT_FALSE(view->showsEqualiser());
}

namespace {

struct Scrub : ::testing::Test {
    // The bar and the events a person's pointer would send it.
    void mouse(QEvent::Type type, double fraction)
    {
        ScrubBar* bar = scrubber->bar();
        const QPointF at(bar->width() * fraction, bar->height() / 2.0);
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, bar->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
            held, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    }

    void make(const NowPlayingTrack& t, bool seekable = true)
    {
        scrubber = stage.make<Scrubber>(t, seekable, metrics, [this](double f) { commits.push_back(f); });
        scrubber->setGeometry(0, 10, 300, int(Scrubber::rowHeight(metrics)));
    }

    SurfaceMetrics metrics { QSizeF(360, 124), 32, 185 };
    Stage stage { NotchTheme::dark(), QSizeF(300, 40) };
    Scrubber* scrubber = nullptr;
    std::vector<double> commits;
};

} // namespace

TEST_F(Scrub, DraggingPreviewsThePointUnderThePointerAndReleasingCommitsIt)
{
    make(track(true, 200, 15));
    EXPECT_TRUE(scrubber->isTicking()) << "a playing track moves on screen";
    mouse(QEvent::MouseButtonPress, 0.25);
    ASSERT_TRUE(scrubber->dragFraction());
    EXPECT_NEAR(*scrubber->dragFraction(), 0.25, 0.01);
    EXPECT_EQ(scrubber->elapsedText(uptime()), "0:50");
    EXPECT_TRUE(scrubber->bar()->isDragging());

    // Past the far end the preview stays at the full length; the remaining time stays live.
    mouse(QEvent::MouseMove, 1.4);
    EXPECT_EQ(*scrubber->dragFraction(), 1.0);
    EXPECT_EQ(scrubber->elapsedText(uptime()), "3:20");
    EXPECT_TRUE(scrubber->remainingText(uptime()).startsWith("-3:0"));
    // The knob shows while dragging, once it has faded in.
    settle([&] { return scrubber->bar()->isKnobFading(); });
    const QImage image = stage.render();
    saveArtefact(image, "now_playing_scrubber_dragging");
    const QRectF bar = QRectF(scrubber->bar()->geometry()).translated(scrubber->pos());
    EXPECT_GT(
        countNear(image, QRectF(bar.right() - 10, bar.top(), 10, bar.height()), NotchTheme::dark().primaryText(), 30),
        20);

    mouse(QEvent::MouseButtonRelease, 1.4);
    EXPECT_EQ(commits, std::vector<double> { 1.0 });
    EXPECT_FALSE(scrubber->dragFraction().has_value()) << "back to the live position";
    EXPECT_EQ(scrubber->elapsedText(uptime()).left(3), "0:1");
}

TEST_F(Scrub, AClickWithoutMovingSeeksToThePressPoint)
{
    make(track(false, 100, 0));
    EXPECT_FALSE(scrubber->isTicking()) << "nothing moves while paused";
    mouse(QEvent::MouseButtonPress, 0.6);
    mouse(QEvent::MouseButtonRelease, 0.6);
    ASSERT_EQ(commits.size(), 1u);
    EXPECT_NEAR(commits.front(), 0.6, 0.01);
}

TEST_F(Scrub, ATrackOfUnknownLengthOrAPlayerThatCannotSeekTakesNoDrag)
{
    make(track(true, 0, 15));
    EXPECT_FALSE(scrubber->bar()->isSeekable());
    EXPECT_EQ(scrubber->remainingText(uptime()), "--:--");
    mouse(QEvent::MouseButtonPress, 0.5);
    mouse(QEvent::MouseButtonRelease, 0.5);
    EXPECT_FALSE(scrubber->dragFraction().has_value());
    EXPECT_TRUE(commits.empty());
    EXPECT_EQ(ScrubBar::knobLeft(100, 0, 8), 0);
    EXPECT_EQ(ScrubBar::knobLeft(100, 1, 8), 92);
    EXPECT_EQ(ScrubBar::knobLeft(4, 0.5, 8), 0) << "a bar narrower than the knob keeps it at the start";

    scrubber->setTrack(track(true, 200, 15), false);
    EXPECT_FALSE(scrubber->bar()->isSeekable());
    scrubber->setTrack(track(true, 200, 15), true);
    EXPECT_TRUE(scrubber->bar()->isSeekable());
}
