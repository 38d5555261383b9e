#include "settings_fixture.h"
#include "ui/settings/notch_stage.h"
#include "ui/settings/settings_controls.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// A screen with a camera housing 185 wide and `housing` high beside two bar areas.
NotchGeometry housingGeometry(double housing)
{
    DisplayMetrics metrics;
    metrics.frame = QRectF(0, 0, 1512, 982);
    metrics.visibleFrame = QRectF(0, 0, 1512, 982 - housing);
    metrics.safeAreaTop = housing;
    metrics.auxiliaryTopLeft = QRectF(0, 982 - housing, 663.5, housing);
    metrics.auxiliaryTopRight = QRectF(848.5, 982 - housing, 663.5, housing);
    return NotchGeometry(metrics);
}

QStringList visibleLabels(QWidget* root)
{
    QStringList texts;
    for (const QLabel* l : root->findChildren<QLabel*>()) {
        if (l->isVisible())
            texts << l->text();
    }
    return texts;
}

} // namespace

TEST(NotchStage, ShapesOfTheThreeStates)
{
    const NotchGeometry geometry = laptopGeometry(); // a synthesized notch: 7 % of 1512, at least 120, × 24
    const LayoutMetrics layout;
    const NotchStage::Shape rest = NotchStage::shape(NotchStageState::collapsed, geometry, layout);
    EXPECT_DOUBLE_EQ(rest.bodyWidth, 120);
    EXPECT_DOUBLE_EQ(rest.height, 24);
    EXPECT_DOUBLE_EQ(rest.outerWidth(), 120 + 12);
    const NotchStage::Shape readout = NotchStage::shape(NotchStageState::readout, geometry, layout);
    // The extra width is added once, not on each side.
    EXPECT_DOUBLE_EQ(readout.bodyWidth, 120 + 48);
    EXPECT_DOUBLE_EQ(readout.height, 78);
    EXPECT_DOUBLE_EQ(readout.topRadius, 6);
    const NotchStage::Shape open = NotchStage::shape(NotchStageState::expanded, geometry, layout);
    EXPECT_EQ(open, (NotchStage::Shape { 360, 124, 18, 26 }));

    // A readout lower than the housing is drawn at the housing's height.
    LayoutMetrics low;
    low.activityHeight = 44;
    EXPECT_DOUBLE_EQ(NotchStage::shape(NotchStageState::readout, housingGeometry(60), low).height, 60);
}

TEST(NotchStage, FittingScaleNeverEnlargesAndNeverGoesBelowAQuarter)
{
    const NotchStage::Shape open { 360, 124, 18, 26 }; // outer width 396
    EXPECT_DOUBLE_EQ(NotchStage::fittingScale(QSizeF(0, 236), 24, open), 1);
    EXPECT_DOUBLE_EQ(NotchStage::fittingScale(QSizeF(468, -1), 24, open), 1);
    EXPECT_DOUBLE_EQ(NotchStage::fittingScale(QSizeF(800, 236), 24, open), 1);
    // Width: (300 − 20) / 396.
    EXPECT_NEAR(NotchStage::fittingScale(QSizeF(300, 236), 24, open), 280.0 / 396, 1e-9);
    // Height: (150 − max(menu bar, 22) − 16) / 124, with a hidden menu bar counting as 22.
    EXPECT_NEAR(NotchStage::fittingScale(QSizeF(800, 150), 24, open), 110.0 / 124, 1e-9);
    EXPECT_NEAR(NotchStage::fittingScale(QSizeF(800, 150), 0, open), 112.0 / 124, 1e-9);
    EXPECT_DOUBLE_EQ(NotchStage::fittingScale(QSizeF(60, 236), 24, open), 0.25);
    // Degenerate shapes: a width of 1 or less counts as 1; a height of 1 or less uses the room.
    EXPECT_DOUBLE_EQ(NotchStage::fittingScale(QSizeF(800, 236), 24, NotchStage::Shape { 0, 0, 0, 0 }), 1);

    EXPECT_EQ(NotchStage::badgeText(1), "");
    EXPECT_EQ(NotchStage::badgeText(0.995), "");
    EXPECT_EQ(NotchStage::badgeText(0.62), "shown at 62%");
    EXPECT_EQ(NotchStage::badgeText(0.25), "shown at 25%");
}

TEST(NotchStage, DimensionLabels)
{
    const LayoutMetrics layout;
    EXPECT_EQ(NotchStage::dimensionText(NotchStageState::collapsed, laptopGeometry(), layout),
        "120 × 24 px — measured from your display");
    EXPECT_EQ(NotchStage::dimensionText(NotchStageState::collapsed, housingGeometry(32), layout),
        "185 × 32 px — measured from your display");
    EXPECT_EQ(NotchStage::dimensionText(NotchStageState::readout, laptopGeometry(), layout), "168 × 78 px");
    EXPECT_EQ(NotchStage::dimensionText(NotchStageState::expanded, laptopGeometry(), layout), "360 × 124 px");
    LayoutMetrics low;
    low.activityHeight = 44;
    EXPECT_EQ(NotchStage::dimensionText(NotchStageState::readout, housingGeometry(60), low), "233 × 60 px");
}

TEST(NotchStage, ANarrowStageShrinksTheNotchAndSaysBy)
{
    SettingsFixture f;
    f.open(SettingsSection::notch);
    NotchStage* stage = f.view->currentScrollArea()->findChild<NotchStage*>();
    ASSERT_NE(stage, nullptr);
    EXPECT_DOUBLE_EQ(stage->scale(), 1);
    const QImage wide = stage->canvas()->grab().toImage();
    saveArtefact(wide, "notch-stage-open");
    // The open notch is black (the default appearance follows a light desktop: near white).
    const QPoint inside(stage->canvas()->width() / 2, 100);
    EXPECT_EQ(wide.pixelColor(inside), QColor::fromRgbF(0.96f, 0.96f, 0.96f).rgb());

    stage->setFixedWidth(280);
    QApplication::processEvents();
    EXPECT_NEAR(stage->scale(), 260.0 / 396, 1e-9);
    const QImage narrow = stage->canvas()->grab().toImage();
    saveArtefact(narrow, "notch-stage-narrow");
    // The badge's dark capsule sits in the bottom right corner.
    const QColor badge = narrow.pixelColor(narrow.width() - 20, narrow.height() - 14);
    EXPECT_LT(badge.lightnessF(), wide.pixelColor(wide.width() - 20, wide.height() - 14).lightnessF());
}

TEST(NotchStage, ThePickerAndTheEditingBlockShareTheState)
{
    SettingsFixture f;
    SettingsView& view = f.open(SettingsSection::notch);
    EXPECT_EQ(view.stageState(), NotchStageState::expanded);
    QWidget* page = view.currentScrollArea();
    EXPECT_TRUE(visibleLabels(page).contains("The panel you get when you hover."));
    EXPECT_TRUE(visibleLabels(page).contains("360 × 124 px"));

    auto* picker = f.find<SegmentedControl>("Notch state");
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->titles(), (QStringList { "At rest", "Readout", "Open" }));
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(1).center());
    EXPECT_EQ(view.stageState(), NotchStageState::readout);
    const QStringList readout = visibleLabels(page);
    EXPECT_TRUE(readout.contains("Extra width"));
    EXPECT_TRUE(readout.contains("Added to the notch's width, half on each side."));
    EXPECT_TRUE(readout.contains("Readouts use the corners set under At rest."));
    EXPECT_TRUE(readout.contains("168 × 78 px"));
    EXPECT_FALSE(readout.contains("The panel you get when you hover."));

    // The readout sample shows under the notch in the stage.
    NotchStage* stage = page->findChild<NotchStage*>();
    EXPECT_TRUE(waitUntil([&] { return !stage->isAnimating(); }, 3000));
    saveArtefact(stage->canvas()->grab().toImage(), "notch-stage-readout");

    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center());
    EXPECT_TRUE(visibleLabels(page).contains("120 × 24 px — measured from your display"));
    EXPECT_NE(f.find<QSlider>("Corner flare"), nullptr);
}

TEST(NotchPage, ResetLayoutRestoresTheDefaultsAtOnceAndWorksWithoutADisplay)
{
    SettingsFixture f;
    SettingsView::Inputs inputs = f.inputs();
    inputs.liveGeometry.reset();
    f.make(false, inputs);
    LayoutMetrics changed(500, 200, 100, 100, 20, 30, 30, 40);
    f.settings.setLayout(changed);
    SettingsView& view = f.open(SettingsSection::notch);
    QWidget* page = view.currentScrollArea();
    EXPECT_TRUE(visibleLabels(page).contains("No display detected."));
    EXPECT_EQ(page->findChild<NotchStage*>(), nullptr);
    EXPECT_NE(f.find<QSlider>("Width"), nullptr);
    EXPECT_EQ(f.find<QSlider>("Width")->value(), 500);

    QPushButton* reset = nullptr;
    for (QPushButton* b : page->findChildren<QPushButton*>()) {
        if (b->text() == "Reset Layout")
            reset = b;
    }
    ASSERT_NE(reset, nullptr);
    reset->click();
    EXPECT_EQ(f.settings.layout(), LayoutMetrics::defaults());
    EXPECT_EQ(view.draft(), LayoutMetrics::defaults());
    EXPECT_EQ(f.find<QSlider>("Width")->value(), 360);
    EXPECT_DOUBLE_EQ(f.storage->object("layout.activityExtraWidth").toDouble(), 48);
}

TEST(LevelChoice, TilesChooseThePreviewedKindAndFallBackToNoControl)
{
    SettingsFixture f;
    SettingsView& view = f.make();
    EXPECT_EQ(view.previewedKind(), SystemLevel::Kind::volume);
    // No brightness reading: the tile shows an unavailable level, and can still be chosen.
    auto* brightness = qobject_cast<LevelChoiceTile*>(view.levelChoice(SystemLevel::Kind::brightness));
    auto* volume = qobject_cast<LevelChoiceTile*>(view.levelChoice(SystemLevel::Kind::volume));
    ASSERT_TRUE(brightness && volume);
    std::unique_ptr<QWidget> owner(new QWidget);
    brightness->setParent(owner.get());
    volume->setParent(owner.get());
    EXPECT_FALSE(brightness->level().isAvailable);
    EXPECT_TRUE(volume->level().isAvailable);
    EXPECT_DOUBLE_EQ(volume->level().value, 0.5);
    EXPECT_TRUE(volume->isChosen());
    EXPECT_EQ(brightness->toolTip(), "Show Brightness in the preview above");
    EXPECT_EQ(LevelChoiceTile::helpText(SystemLevel::Kind::keyboardBacklight), "Show Keyboard in the preview above");
    brightness->click();
    EXPECT_EQ(view.previewedKind(), SystemLevel::Kind::brightness);
    EXPECT_TRUE(brightness->isChosen());
    EXPECT_FALSE(volume->isChosen());
    // The Sound page's sample: the live reading, else an available one at 60 %.
    const SystemLevel sample = view.previewedLevelSample();
    EXPECT_EQ(sample.kind, SystemLevel::Kind::brightness);
    EXPECT_DOUBLE_EQ(sample.value, 0.6);
    EXPECT_TRUE(sample.isAvailable);
}
