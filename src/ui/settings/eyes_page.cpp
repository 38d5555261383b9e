#include "ui/settings/eyes_page.h"

#include "core/nimbra_settings.h"
#include "core/settings_ranges.h"
#include "ui/eyes/eye_colors.h"
#include "ui/eyes/eye_preview.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace nimbra {

using namespace settings_style;

QString EyeTexts::secondsLabel(double seconds)
{
    if (seconds < 10)
        return QString::asprintf("%.1f s", seconds);
    return QStringLiteral("%1 s").arg(std::llround(seconds));
}

QString EyeTexts::minutesLabel(double seconds)
{
    const double minutes = seconds / 60;
    if (minutes < 10)
        return QString::asprintf("%.2g min", minutes);
    return QStringLiteral("%1 min").arg(std::llround(minutes));
}

QString EyeTexts::blinkRangeDetail(const EyeStyle& style)
{
    const ClosedRange<double> range = style.blinkRange();
    if (range.upper - range.lower > 0.2)
        return QStringLiteral("Somewhere between %1 and %2 apart.")
            .arg(secondsLabel(range.lower), secondsLabel(range.upper));
    return QStringLiteral("Always on the same beat.");
}

QString EyeTexts::percentLabel(double value, double upper)
{
    return QStringLiteral("%1%").arg(std::llround(value / upper * 100));
}

QString EyeTexts::sizeLabel(double diameter)
{
    return QStringLiteral("%1 px").arg(std::llround(diameter));
}

EyeStyle EyeMinutes::drowsyAfter(EyeStyle style, double minutes)
{
    style.drowsyAfter = std::max(minutes * 60, settings_ranges::drowsyAfter.lower);
    if (style.asleepAfter <= style.drowsyAfter + 60)
        style.asleepAfter = style.drowsyAfter + 60;
    return style;
}

EyeStyle EyeMinutes::asleepAfter(EyeStyle style, double minutes)
{
    style.asleepAfter = std::max(minutes * 60, style.drowsyAfter + 60);
    return style;
}

namespace {

// A value label beside a 170-point slider over `range`: in whole steps of `step`, or smoothly
// (a thousand positions) without one. A stored value outside the range keeps its label and
// pins the slider to the nearer end.
struct SliderSpec {
    ClosedRange<double> range;
    double step = 0;
    int labelWidth = 42;
};

QWidget* sliderControl(SettingsView& view, const QString& name, const SliderSpec& spec, std::function<double()> get,
    std::function<void(double)> set, std::function<QString(double)> text)
{
    auto* control = new QWidget;
    auto* line = new QHBoxLayout(control);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    QLabel* value = valueLabel(spec.labelWidth);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setFixedWidth(170);
    slider->setAccessibleName(name);
    const double span = spec.range.upper - spec.range.lower;
    const int positions = spec.step > 0 ? int(std::lround(span / spec.step)) : 1000;
    slider->setRange(0, positions);
    slider->setPageStep(std::max(1, positions / 10));
    line->addWidget(value, 0, Qt::AlignVCenter);
    line->addWidget(slider, 0, Qt::AlignVCenter);

    const ClosedRange<double> range = spec.range;
    QObject::connect(slider, &QSlider::valueChanged, slider,
        [set, range, span, positions](int position) { set(range.lower + position * span / positions); });
    view.followSettings(slider, [=] {
        const double v = get();
        value->setText(text(v));
        const bool blocked = slider->blockSignals(true);
        slider->setValue(int(std::lround((clamped(v, range) - range.lower) / span * positions)));
        slider->blockSignals(blocked);
    });
    return control;
}

// A range of seconds in minutes.
ClosedRange<double> minutes(ClosedRange<double> seconds)
{
    return { seconds.lower / 60, seconds.upper / 60 };
}

// A group of rows drawn as one block.
QVBoxLayout* group(QWidget*& box, int spacing)
{
    box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(spacing);
    return column;
}

// The detail label of a row made by the row builder, to be rewritten as the value changes.
QLabel* detailOf(QWidget* row, const QString& detail)
{
    for (QLabel* l : row->findChildren<QLabel*>()) {
        if (l->text() == detail)
            return l;
    }
    return nullptr;
}

} // namespace

void eyesPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();
    // A binding to one number of the style, read and written as a double.
    const auto number = [&settings](double EyeStyle::*field) {
        return std::pair { std::function<double()>([&settings, field] { return double(settings.eyeStyle().*field); }),
            std::function<void(double)>([&settings, field](double v) {
                settings.mutateEyeStyle([&](EyeStyle& style) { style.*field = v; });
            }) };
    };
    const auto eyeSlider = [&](const QString& title, double EyeStyle::*field, ClosedRange<double> range) {
        const auto [get, set] = number(field);
        const double upper = range.upper;
        return view.row(title, {}, sliderControl(view, title, { range, 0, 42 }, get, set, [upper](double v) {
            return EyeTexts::percentLabel(v, upper);
        }));
    };
    const auto styleSwitch = [&](const QString& title, const QString& detail, bool EyeStyle::*field) {
        return view.switchRow(title, detail, view.eyePick(field));
    };

    column.addWidget(introBlock(QStringLiteral("Eyes in the tray"),
        QStringLiteral("A pair of eyes that follow the pointer. Leave it still and they get sleepy rather than simply "
                       "switching off — the lids sag, the gaze wanders, and eventually they go under and stop costing "
                       "anything. While they are on they carry Nimbra's menu, so there is no second icon taking up a "
                       "slot.")));
    column.addWidget(
        view.switchRow(QStringLiteral("Show eyes in the tray"), QStringLiteral("Click them for Settings and Quit."),
            view.bind<bool>(&NimbraSettings::eyesEnabled, &NimbraSettings::setEyesEnabled)));
    column.addWidget(divider());

    // The preview animates while it is on screen only (the page shown, the window open).
    auto* preview = new EyePreview(settings.eyeStyle());
    view.followSettings(preview, [preview, &settings] {
        preview->setStyle(settings.eyeStyle());
        setOpacity(preview, settings.eyesEnabled() ? 1 : 0.4);
    });
    column.addWidget(preview);

    QWidget* styleBox = nullptr;
    QVBoxLayout* styleRows = group(styleBox, column.spacing());
    {
        const auto [get, set] = number(&EyeStyle::diameter);
        styleRows->addWidget(view.row(QStringLiteral("Size"),
            QStringLiteral("Against a 22-pixel bar; the tray fits the pair into its icon."),
            sliderControl(view, QStringLiteral("Size"),
                { { EyeStyle::diameterRange.lower, EyeStyle::diameterRange.upper }, 1, 42 }, get, set,
                &EyeTexts::sizeLabel)));
    }
    styleRows->addWidget(eyeSlider(QStringLiteral("Gap between them"), &EyeStyle::separation, settings_ranges::eyeSeparation));
    styleRows->addWidget(eyeSlider(QStringLiteral("Follow speed"), &EyeStyle::followSpeed, settings_ranges::eyeFollowSpeed));

    // Two wells without opacity; a stored colour that is no colour shows as the eyes draw it.
    auto* wells = new QWidget;
    auto* wellLine = new QHBoxLayout(wells);
    wellLine->setContentsMargins(0, 0, 0, 0);
    wellLine->setSpacing(10);
    auto* sclera = new ColourWell;
    sclera->setAccessibleName(QStringLiteral("White of the eye"));
    auto* pupil = new ColourWell;
    pupil->setAccessibleName(QStringLiteral("Pupil"));
    sclera->onPick = [&settings](const QColor& colour) {
        settings.mutateEyeStyle([&](EyeStyle& style) { style.scleraHex = nimbraHex(colour); });
    };
    pupil->onPick = [&settings](const QColor& colour) {
        settings.mutateEyeStyle([&](EyeStyle& style) { style.pupilHex = nimbraHex(colour); });
    };
    view.followSettings(wells, [sclera, pupil, &settings] {
        sclera->setColour(scleraColor(settings.eyeStyle(), false));
        pupil->setColour(pupilColor(settings.eyeStyle()));
    });
    wellLine->addWidget(sclera);
    wellLine->addWidget(pupil);
    styleRows->addWidget(
        view.row(QStringLiteral("Colour"), QStringLiteral("The white of the eye, and the pupil."), wells));
    styleRows->addWidget(divider());

    // Blinking.
    styleRows->addWidget(styleSwitch(QStringLiteral("Blink on their own"),
        QStringLiteral("At a random interval, which is most of what makes them read as alive."), &EyeStyle::blinks));
    QWidget* blinkBox = nullptr;
    QVBoxLayout* blinkRows = group(blinkBox, column.spacing());
    {
        const auto [get, set] = number(&EyeStyle::blinkInterval);
        blinkRows->addWidget(view.row(QStringLiteral("About every"), {},
            sliderControl(
                view, QStringLiteral("About every"), { settings_ranges::blinkInterval, 0, 52 }, get, set,
                &EyeTexts::secondsLabel)));
    }
    {
        const auto [get, set] = number(&EyeStyle::blinkVariation);
        const QString detail = EyeTexts::blinkRangeDetail(settings.eyeStyle());
        QWidget* spread = view.row(QStringLiteral("Give or take"), detail,
            sliderControl(view, QStringLiteral("Give or take"), { settings_ranges::blinkVariation, 0, 52 }, get, set,
                [](double v) { return QStringLiteral("%1%").arg(std::llround(v * 100)); }));
        QLabel* spreadDetail = detailOf(spread, detail);
        view.followSettings(spread,
            [spreadDetail, &settings] { spreadDetail->setText(EyeTexts::blinkRangeDetail(settings.eyeStyle())); });
        blinkRows->addWidget(spread);
    }
    auto* presets = new QHBoxLayout;
    presets->setSpacing(8);
    presets->addWidget(label(QStringLiteral("Start from"), TextStyle::callout, Tone::secondary));
    for (const BlinkFrequency frequency : allCases<BlinkFrequency>()) {
        QPushButton* preset = smallButton(title(frequency));
        QObject::connect(preset, &QPushButton::clicked, preset, [&settings, frequency] {
            const BlinkTiming timing = nimbra::timing(frequency);
            settings.mutateEyeStyle([&](EyeStyle& style) {
                style.blinkInterval = timing.interval;
                style.blinkVariation = timing.variation;
            });
        });
        presets->addWidget(preset);
    }
    presets->addStretch(1);
    blinkRows->addLayout(presets);
    enableAndDimWhile(view, blinkBox, [&settings] { return settings.eyeStyle().blinks; });
    styleRows->addWidget(blinkBox);
    styleRows->addWidget(divider());

    // Sleep.
    styleRows->addWidget(styleSwitch(QStringLiteral("Get sleepy when you stop"),
        QStringLiteral("Leave the pointer alone and the lids start to sag, the gaze drifts, and every few seconds they "
                       "nod. Long enough and they go under properly and stop redrawing. Moving the pointer or clicking "
                       "wakes them."),
        &EyeStyle::sleeps));
    QWidget* sleepBox = nullptr;
    QVBoxLayout* sleepRows = group(sleepBox, column.spacing());
    sleepRows->addWidget(view.row(QStringLiteral("Start to droop after"), {},
        sliderControl(
            view, QStringLiteral("Start to droop after"), { minutes(settings_ranges::drowsyAfter), 0, 58 },
            [&settings] { return settings.eyeStyle().drowsyAfter / 60; },
            [&settings](
                double minutes) { settings.setEyeStyle(EyeMinutes::drowsyAfter(settings.eyeStyle(), minutes)); },
            [](double minutes) { return EyeTexts::minutesLabel(minutes * 60); })));
    sleepRows->addWidget(view.row(QStringLiteral("Fully asleep after"),
        QStringLiteral("The drift runs between the two, so the further apart they are the longer they spend nodding "
                       "off."),
        sliderControl(
            view, QStringLiteral("Fully asleep after"), { minutes(settings_ranges::asleepAfter), 0, 58 },
            [&settings] { return settings.eyeStyle().asleepAfter / 60; },
            [&settings](
                double minutes) { settings.setEyeStyle(EyeMinutes::asleepAfter(settings.eyeStyle(), minutes)); },
            [](double minutes) { return EyeTexts::minutesLabel(minutes * 60); })));
    enableAndDimWhile(view, sleepBox, [&settings] { return settings.eyeStyle().sleeps; });
    styleRows->addWidget(sleepBox);
    styleRows->addWidget(divider());

    // Crossing and clicks.
    styleRows->addWidget(styleSwitch(QStringLiteral("Cross when you come close"),
        QStringLiteral("The pupils converge as the pointer comes close to them."), &EyeStyle::crossesEyes));
    styleRows->addWidget(styleSwitch(QStringLiteral("Blink when I click"),
        QStringLiteral("A real blink rather than a flicker, wherever on screen you click."),
        &EyeStyle::reactsToClicks));
    QStringList eyes;
    for (const ClickBlink choice : allCases<ClickBlink>())
        eyes << title(choice);
    const Binding<ClickBlink> which = view.eyePick(&EyeStyle::clickBlink);
    QComboBox* picker = popUpPicker(
        view, 190, eyes,
        [which] {
            const auto cases = allCases<ClickBlink>();
            return int(std::find(cases.begin(), cases.end(), which.get()) - cases.begin());
        },
        [which](int index) { which.set(allCases<ClickBlink>()[size_t(index)]); });
    const QString whichDetail = detail(settings.eyeStyle().clickBlink);
    QWidget* whichRow = view.row(QStringLiteral("Which eye"), whichDetail, picker);
    QLabel* whichLabel = detailOf(whichRow, whichDetail);
    view.followSettings(whichRow, [whichLabel, which] { whichLabel->setText(detail(which.get())); });
    enableAndDimWhile(view, whichRow, [&settings] { return settings.eyeStyle().reactsToClicks; });
    styleRows->addWidget(whichRow);

    enableAndDimWhile(view, styleBox, [&settings] { return settings.eyesEnabled(); });
    column.addWidget(styleBox);

    // Usable while the eyes are off too.
    auto* resetLine = new QHBoxLayout;
    QPushButton* reset = smallButton(QStringLiteral("Reset Eyes"));
    QObject::connect(
        reset, &QPushButton::clicked, reset, [&settings] { settings.setEyeStyle(EyeStyle::defaultStyle()); });
    resetLine->addWidget(reset);
    resetLine->addStretch(1);
    column.addLayout(resetLine);
}

} // namespace nimbra
