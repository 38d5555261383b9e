#include "ui/onboarding/onboarding_view.h"
#include "ui/onboarding/onboarding_window_controller.h"

#include "support/test_support.h"
#include "ui/settings/settings_style.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

using namespace nimbra;
using Scene = OnboardingStage::Scene;

namespace {

// A view as the window shows it, with closures that count what they are asked.
struct Steps {
    explicit Steps(OnboardingView::Context context = { "Shift+Super+V", false })
        : view([this] { return granted; }, [this] { ++requests; }, [this] { ++finishes; }, context)
    {
        view.setPalette(settings_style::palette(false));
        view.show();
        QApplication::processEvents();
    }

    void press(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
    }

    QImage render() const
    {
        QImage image(view.size() * 2, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(view.palette().color(QPalette::Window));
        const_cast<OnboardingView&>(view).render(&image);
        return image;
    }

    bool granted = false;
    int requests = 0;
    int finishes = 0;
    OnboardingView view;
};

bool shown(QPushButton* button)
{
    return button && button->isVisible();
}

} // namespace

TEST(OnboardingView, SevenStepsWithTheConfiguredHotKeyAndAPermissionTitleThatFollowsTheAnswer)
{
    Steps s;
    QList<OnboardingView::Step> steps = s.view.steps();
    ASSERT_EQ(steps.size(), 7);
    EXPECT_EQ(steps[0].title, "Nimbra lives in the notch");
    EXPECT_EQ(steps[1].title, "What's playing, without switching apps");
    EXPECT_EQ(steps[2].title, "Everything you've copied");
    EXPECT_EQ(steps[3].title, "Somewhere to put files down");
    EXPECT_EQ(steps[4].title, "A stopwatch, a timer, and focus blocks");
    EXPECT_EQ(steps[5].title, "And a pair of eyes, if you like");
    EXPECT_TRUE(steps[2].body.startsWith("Press Shift+Super+V anywhere. Type to narrow it down"));
    EXPECT_EQ(steps[4].body,
        "All three in one place, with the running one left in the notch so you can see it without opening anything. "
        "It rings when it's done.");
    const Scene scenes[] = { Scene::hover, Scene::music, Scene::clipboard, Scene::shelf, Scene::timers, Scene::eyes };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(steps[i].scene, scenes[i]) << i;
    EXPECT_FALSE(steps[6].scene);
    EXPECT_TRUE(steps[6].body.isEmpty());
    EXPECT_EQ(steps[6].title, "Two things need XTEST and XKB");
    s.granted = true;
    s.view.refreshGranted();
    EXPECT_EQ(s.view.steps()[6].title, "You're all set");

    Steps other({ "Ctrl+Alt+C", true });
    EXPECT_TRUE(other.view.steps()[2].body.startsWith("Press Ctrl+Alt+C anywhere."));
    EXPECT_EQ(other.view.steps()[6].title, "Two things need an X11 session");
}

TEST(OnboardingView, BackContinueAndReturnWalkTheStepsAndTheLastStepHasOneFinishingButton)
{
    Steps s;
    EXPECT_EQ(s.view.step(), 0);
    EXPECT_FALSE(shown(s.view.button("Back")));
    EXPECT_TRUE(shown(s.view.button("Skip")));
    EXPECT_TRUE(s.view.stage()->isVisible());
    EXPECT_EQ(s.view.stage()->scene(), Scene::hover);

    s.view.button("Continue")->click();
    EXPECT_EQ(s.view.step(), 1);
    EXPECT_TRUE(shown(s.view.button("Back")));
    EXPECT_EQ(s.view.stage()->scene(), Scene::music);
    s.view.button("Back")->click();
    EXPECT_EQ(s.view.step(), 0);

    // Return advances one step at a time on the feature steps.
    for (int i = 1; i <= 6; ++i) {
        s.press(Qt::Key_Return);
        EXPECT_EQ(s.view.step(), i);
    }
    EXPECT_EQ(s.view.title(), "Two things need XTEST and XKB");
    EXPECT_FALSE(s.view.stage()->isVisible());
    EXPECT_FALSE(shown(s.view.button("Skip")));
    EXPECT_FALSE(shown(s.view.button("Continue")));
    ASSERT_TRUE(shown(s.view.button("Not now")));
    EXPECT_EQ(s.view.defaultButton(), s.view.button("Not now"));
    EXPECT_EQ(s.finishes, 0);
    // On the last step Return finishes; the step cannot go past the last.
    s.press(Qt::Key_Enter);
    EXPECT_EQ(s.finishes, 1);
    s.view.move(42);
    EXPECT_EQ(s.view.step(), 6);
    s.view.move(-3);
    EXPECT_EQ(s.view.step(), 0);
    s.view.button("Skip")->click();
    EXPECT_EQ(s.finishes, 2);
}

TEST(OnboardingView, CheckingAgainAsksAndShowsTheAnswerAtOnce)
{
    Steps s;
    s.view.move(6);
    QPushButton* check = s.view.button("Check Again");
    ASSERT_TRUE(shown(check));
    check->click();
    EXPECT_EQ(s.requests, 1);
    EXPECT_EQ(s.view.title(), "Two things need XTEST and XKB") << "still no XTEST";

    s.granted = true; // the shell took the keys while asking
    s.view.button("Check Again")->click();
    EXPECT_EQ(s.requests, 2);
    EXPECT_EQ(s.view.title(), "You're all set");
    EXPECT_TRUE(shown(s.view.button("Start using Nimbra")));
    EXPECT_FALSE(shown(s.view.button("Check Again")));
    // The keys can be had, but the readouts take the desktop's place only once that is on.
    const auto says = [](const OnboardingView& view, const QString& text) {
        for (QLabel* label : view.findChildren<QLabel*>()) {
            if (label->isVisible() && label->text().contains(text))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(says(s.view, "readouts can replace the desktop's own (turn that on in Settings, under Sound)"));
    OnboardingView on([] { return true; }, [] {}, [] {}, { "Shift+Super+V", false, true });
    on.show();
    on.move(OnboardingView::permissionStep);
    EXPECT_TRUE(says(on, "readouts replace the desktop's own and the clipboard can paste for you."));
}

TEST(OnboardingView, UnderWaylandTheLastStepSaysWhatIsNeededWithNoButtonThatCannotHelp)
{
    Steps s({ "Shift+Super+V", true });
    s.view.move(6);
    EXPECT_EQ(s.view.title(), "Two things need an X11 session");
    EXPECT_EQ(s.view.button("Check Again"), nullptr);
    bool mentionsSession = false;
    for (QLabel* label : s.view.findChildren<QLabel*>())
        mentionsSession = mentionsSession || (label->isVisible() && label->text().contains("Under Wayland"));
    EXPECT_TRUE(mentionsSession);
    EXPECT_TRUE(shown(s.view.button("Not now")));
}

TEST(OnboardingView, AnAnswerKnownBeforeTheWindowShowsIsShownFromTheStart)
{
    bool granted = true;
    OnboardingView view([&] { return granted; }, [] {}, [] {}, { "Shift+Super+V", false });
    EXPECT_FALSE(view.granted()) << "asked when shown, not before";
    view.show();
    EXPECT_TRUE(view.granted());
    view.move(6);
    EXPECT_EQ(view.title(), "You're all set");
}

TEST(OnboardingView, EveryStepInBothThemes)
{
    for (const bool dark : { false, true }) {
        for (const bool granted : { false, true }) {
            Steps s;
            s.granted = granted;
            s.view.setPalette(settings_style::palette(dark));
            s.view.refreshGranted();
            for (int step = 0; step < OnboardingView::stepCount; ++step) {
                if (granted && step < OnboardingView::permissionStep)
                    continue;
                s.view.move(step);
                // The picture once the scenes have cross-faded.
                ASSERT_TRUE(test::waitUntil([&] { return !s.view.stage()->isFading(); }));
                const QImage image = s.render();
                // The window's own colour behind the texts, and the current page dot in the accent.
                const QColor window = settings_style::palette(dark).color(QPalette::Window);
                const QColor corner = image.pixelColor(4, 4);
                EXPECT_LT(std::abs(corner.lightness() - window.lightness()), 8) << step;
                test::saveArtefact(image,
                    QStringLiteral("onboarding-step%1%2-%3")
                        .arg(step)
                        .arg(step == OnboardingView::permissionStep ? (granted ? "-granted" : "-not-granted") : "")
                        .arg(dark ? "dark" : "light"));
            }
        }
    }
    Steps wayland({ "Shift+Super+V", true });
    wayland.view.move(6);
    QApplication::processEvents();
    test::saveArtefact(wayland.render(), "onboarding-step6-wayland-light");
}

// Rows of window colour between the last thing a step shows and the footer's divider, as a
// person sees them; negative when there is no divider (content ran into the footer).
int emptyRowsAboveTheFooter(const QImage& image)
{
    const QColor window = image.pixelColor(2, 2);
    const auto differs = [&](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return std::abs(c.red() - window.red()) + std::abs(c.green() - window.green())
            + std::abs(c.blue() - window.blue())
            > 12;
    };
    const auto across = [&](int y) {
        for (int x = 10; x < image.width() - 10; x += 7) {
            if (!differs(x, y))
                return false;
        }
        return true;
    };
    // The divider: the lowest rows that differ all across; its top row.
    int divider = image.height() - 1;
    while (divider >= 0 && !across(divider))
        --divider;
    if (divider < 0)
        return -1;
    while (divider > 0 && across(divider - 1))
        --divider;
    for (int y = divider - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            if (differs(x, y))
                return divider - 1 - y;
        }
    }
    return divider;
}

// Rows of window colour above the first thing a step shows.
int emptyRowsAtTheTop(const QImage& image)
{
    const QColor window = image.pixelColor(2, 2);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - window.red()) + std::abs(c.green() - window.green())
                    + std::abs(c.blue() - window.blue())
                > 12)
                return y;
        }
    }
    return image.height();
}

TEST(OnboardingView, TheWindowFitsItsTallestStepAndCutsNoStep)
{
    int tightest = std::numeric_limits<int>::max();
    for (const bool granted : { false, true }) {
        Steps s;
        s.granted = granted;
        s.view.refreshGranted();
        for (int step = 0; step < OnboardingView::stepCount; ++step) {
            s.view.move(step);
            ASSERT_TRUE(test::waitUntil([&] { return !s.view.stage()->isFading(); }));
            // In pixels of a 2× rendering.
            const QImage image = s.render();
            const int empty = emptyRowsAboveTheFooter(image);
            EXPECT_GE(empty, 16) << "step " << step << " runs into the footer";
            tightest = std::min(tightest, empty);
            // The step without a scene is shorter than the window: it sits in the middle, not
            // at the top above an empty band.
            if (step == OnboardingView::permissionStep) {
                EXPECT_NEAR(emptyRowsAtTheTop(image), empty, 2 * 30) << (granted ? "granted" : "not granted");
            }
        }
    }
    EXPECT_LE(tightest, 2 * 30) << "even the tallest step leaves the window's lower part empty";
}

TEST(OnboardingWindow, ClosingInAnyWayReportsTheEndOnceAndAReshownWindowKeepsItsStep)
{
    int finishes = 0;
    OnboardingWindowController controller([] { return false; }, [] {}, [&] { ++finishes; });
    EXPECT_EQ(controller.window(), nullptr) << "built on the first show";
    controller.show();
    QWidget* window = controller.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(580, controller.view()->fittedHeight()));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "not resizable";
    controller.show();
    EXPECT_EQ(controller.window(), window) << "one window";

    // The title bar's close button.
    window->close();
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(window->isVisible());

    // Shown again: the same window at the step it showed; a finishing button closes it and
    // reports again.
    controller.view()->move(3);
    controller.show();
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(controller.view()->step(), 3);
    controller.view()->button("Skip")->click();
    EXPECT_EQ(finishes, 2);
    EXPECT_FALSE(window->isVisible());
}

TEST(OnboardingWindow, TheScenesRunOnlyWhileTheWindowIsShown)
{
    OnboardingWindowController controller([] { return false; }, [] {}, [] {});
    controller.show();
    OnboardingStage* stage = controller.view()->stage();
    ASSERT_TRUE(test::waitUntil([&] { return stage->isAnimating(); }));
    controller.window()->close();
    EXPECT_FALSE(stage->isAnimating()) << "a closed window wakes nothing";
    controller.show();
    ASSERT_TRUE(test::waitUntil([&] { return stage->isAnimating(); }));
    // The permission step has no scene: its stage is hidden and still.
    controller.view()->move(6);
    EXPECT_FALSE(stage->isAnimating());
}

TEST(OnboardingWindow, AFinishingButtonOfAGoneControllerDoesNothing)
{
    int finishes = 0;
    auto controller = std::make_unique<OnboardingWindowController>([] { return false; }, [] {}, [&] { ++finishes; });
    controller->show();
    // The view outlives its window and controller, and its finishing buttons are pressed.
    std::unique_ptr<OnboardingView> view(controller->view());
    view->setParent(nullptr);
    controller.reset();
    view->button("Skip")->click();
    view->move(OnboardingView::permissionStep);
    view->button("Not now")->click();
    EXPECT_EQ(finishes, 0);
}
