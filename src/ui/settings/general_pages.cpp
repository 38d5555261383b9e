#include "ui/settings/general_pages.h"

#include "core/settings_ranges.h"
#include "ui/settings/notch_previews.h"
#include "ui/settings/settings_controls.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace nimbra {

using namespace settings_style;

QString HoverTexts::delayLabel(double seconds)
{
    if (seconds < 0.005)
        return QStringLiteral("Instant");
    return QString::number(std::llround(seconds * 1000)) + QStringLiteral(" ms");
}

QString HoverTexts::delayCaption(double seconds)
{
    if (seconds < 0.005)
        return QStringLiteral("Opens the instant the pointer touches the notch — including when you're reaching "
                              "past it for a panel icon.");
    if (seconds < 0.16)
        return QStringLiteral(
            "Feels instant, and still ignores the pointer sweeping across on its way somewhere else.");
    if (seconds < 0.32)
        return QStringLiteral("A deliberate pause. Almost never opens by accident.");
    return QStringLiteral("Very deliberate. You'll need to rest on the notch and wait.");
}

QString HoverTexts::toleranceLabel(double pointsPerSecond)
{
    if (pointsPerSecond < 700)
        return QStringLiteral("Strict");
    if (pointsPerSecond < 1300)
        return QStringLiteral("Balanced");
    return QStringLiteral("Forgiving");
}

void generalPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    QStringList appearances;
    for (const Appearance appearance : allCases<Appearance>())
        appearances << title(appearance);
    auto* appearance = new SegmentedControl(appearances);
    appearance->setFixedWidth(200);
    QObject::connect(appearance, &SegmentedControl::activated, appearance,
        [&settings](int index) { settings.setAppearance(allCases<Appearance>()[size_t(index)]); });
    view.followSettings(appearance, [appearance, &settings] {
        const auto cases = allCases<Appearance>();
        appearance->setCurrentIndex(int(std::find(cases.begin(), cases.end(), settings.appearance()) - cases.begin()));
    });
    column.addWidget(view.row(QStringLiteral("Appearance"),
        QStringLiteral("Applies to the notch as well as this window. Worth knowing: on a screen with a camera "
                       "cutout a light panel hangs off a black housing, so you'll see a seam where the two meet."),
        appearance));

    auto* clock = new QComboBox;
    clock->setFixedWidth(200);
    for (const ClockFont font : allCases<ClockFont>())
        clock->addItem(title(font));
    QObject::connect(clock, &QComboBox::activated, clock,
        [&settings](int index) { settings.setClockFont(allCases<ClockFont>()[size_t(index)]); });
    view.followSettings(clock, [clock, &settings] {
        const auto cases = allCases<ClockFont>();
        const int index = int(std::find(cases.begin(), cases.end(), settings.clockFont()) - cases.begin());
        if (clock->currentIndex() != index)
            clock->setCurrentIndex(index);
    });
    column.addWidget(view.row(QStringLiteral("Clock"),
        QStringLiteral("The face used for the time. Body text stays on the system font, which stays legible at ten "
                       "points."),
        clock));

    auto* preview = new NotchPreview(view.previewTheme(), view.draft(), new ClockPreview);
    QObject::connect(&view, &SettingsView::previewThemeChanged, preview,
        [preview, &view] { preview->setTheme(view.previewTheme()); });
    QObject::connect(
        &view, &SettingsView::draftChanged, preview, [preview, &view] { preview->setNotchLayout(view.draft()); });
    column.addWidget(preview);

    column.addWidget(divider());
    column.addWidget(view.switchRow(QStringLiteral("Show on all displays"),
        QStringLiteral("Otherwise Nimbra stays on the built-in display only (on a desktop, the primary one). An "
                       "external monitor has no camera housing, so the surface would cover live panel pixels."),
        view.bind<bool>(&NimbraSettings::showOnAllDisplays, &NimbraSettings::setShowOnAllDisplays)));

    // The setting is written first; the shell then registers the login item, and writes the
    // setting back when that fails, which the switch follows.
    SettingsView* owner = &view;
    column.addWidget(view.switchRow(QStringLiteral("Open at login"),
        QStringLiteral("Nimbra must be installed, not run from its build folder, for this to stick."),
        Binding<bool> { [&settings] { return settings.launchAtLogin(); },
            [&settings, owner](const bool& on) {
                settings.setLaunchAtLogin(on);
                owner->launchAtLoginChanged(on);
            } }));
}

void hoverPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    // A title and a value at the two ends of one line.
    const auto header = [](const QString& title, QLabel* value) {
        auto* line = new QWidget;
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(label(title, TextStyle::body, Tone::primary, QFont::Medium));
        layout->addStretch(1);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(value);
        return line;
    };
    const auto block = [](std::initializer_list<QWidget*> parts) {
        auto* box = new QWidget;
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(7);
        for (QWidget* part : parts)
            layout->addWidget(part);
        return box;
    };

    namespace range = settings_ranges;
    // Open delay: 0 to 0.5 s in steps of 10 ms, written at every step.
    QLabel* delay = label({}, TextStyle::body, Tone::secondary);
    auto* delaySlider = new QSlider(Qt::Horizontal);
    constexpr double dwellStep = range::hoverDwellStep;
    delaySlider->setRange(int(std::lround(range::hoverDwell.lower / dwellStep)),
        int(std::lround(range::hoverDwell.upper / dwellStep)));
    delaySlider->setPageStep(5);
    delaySlider->setAccessibleName(QStringLiteral("Open delay"));
    QLabel* delayCaption = label({}, TextStyle::callout, Tone::secondary, QFont::Normal, true);
    delayCaption->setFixedHeight(34);
    delayCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QObject::connect(delaySlider, &QSlider::valueChanged, delaySlider,
        [&settings](int steps) { settings.setHoverDwell(steps * dwellStep); });
    view.followSettings(delaySlider, [=, &settings] {
        const double dwell = settings.hoverDwell();
        delay->setText(HoverTexts::delayLabel(dwell));
        delayCaption->setText(HoverTexts::delayCaption(dwell));
        const bool blocked = delaySlider->blockSignals(true);
        delaySlider->setValue(int(std::lround(dwell / dwellStep)));
        delaySlider->blockSignals(blocked);
    });
    column.addWidget(block({ header(QStringLiteral("Open delay"), delay), delaySlider, delayCaption }));

    column.addWidget(divider());

    // Movement tolerance: 400 to 2000 pixels a second in steps of 50.
    QLabel* tolerance = label({}, TextStyle::body, Tone::secondary);
    auto* toleranceSlider = new QSlider(Qt::Horizontal);
    constexpr double toleranceStep = range::velocityCeilingStep;
    toleranceSlider->setRange(int(std::lround(range::velocityCeiling.lower / toleranceStep)),
        int(std::lround(range::velocityCeiling.upper / toleranceStep)));
    toleranceSlider->setPageStep(4);
    toleranceSlider->setAccessibleName(QStringLiteral("Movement tolerance"));
    QObject::connect(toleranceSlider, &QSlider::valueChanged, toleranceSlider,
        [&settings](int steps) { settings.setVelocityCeiling(steps * toleranceStep); });
    view.followSettings(toleranceSlider, [=, &settings] {
        const double ceiling = settings.velocityCeiling();
        tolerance->setText(HoverTexts::toleranceLabel(ceiling));
        const bool blocked = toleranceSlider->blockSignals(true);
        toleranceSlider->setValue(int(std::lround(ceiling / toleranceStep)));
        toleranceSlider->blockSignals(blocked);
    });
    column.addWidget(block({ header(QStringLiteral("Movement tolerance"), tolerance), toleranceSlider,
        label(QStringLiteral("How much the pointer may still be drifting and still count as resting. Lower is "
                             "stricter, and opens the notch less often by accident."),
            TextStyle::callout, Tone::secondary, QFont::Normal, true) }));
}

} // namespace nimbra
