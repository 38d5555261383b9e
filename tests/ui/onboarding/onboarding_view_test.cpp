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

TEST(OnboardingWindow, ClosingInAnyWayReportsTheEndOnceAndAReshownWindowKeepsItsStep)
{
    int finishes = 0;
    OnboardingWindowController controller([] { return false; }, [] {}, [&] { ++finishes; });
    EXPECT_EQ(controller.window(), nullptr) << "built on the first show";
    controller.show();
    QWidget* window = controller.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(580, 520));
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
    QPointer<OnboardingView> view = controller->view();
    controller.reset();
    EXPECT_TRUE(view.isNull()) << "the window and its view went with the controller";
    EXPECT_EQ(finishes, 0);
}
