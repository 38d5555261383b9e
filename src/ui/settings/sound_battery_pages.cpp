#include "ui/settings/sound_battery_pages.h"

#include "core/nimbra_settings.h"
#include "ui/settings/charge_previews.h"
#include "ui/settings/notch_previews.h"
#include "ui/settings/notch_stage.h"
#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace nimbra {

using namespace settings_style;

// MARK: Capabilities

CapabilityRow::Status SoundCapabilities::volume(const LiveLevels& levels)
{
    if (!levels.volume || !levels.volume->isAvailable)
        return CapabilityRow::Status::unavailable(QStringLiteral("This output device has no volume control."));
    return CapabilityRow::Status::available(QStringLiteral("Works now. No permission needed."));
}

CapabilityRow::Status SoundCapabilities::brightness(const LiveLevels& levels)
{
    if (!levels.brightness)
        return CapabilityRow::Status::unavailable(QStringLiteral("This display's brightness can't be read."));
    // Read, but the desktop's login service will not set it for Nimbra.
    if (!levels.brightness->isAvailable)
        return CapabilityRow::Status::unavailable(QStringLiteral("This display's brightness can't be changed here."));
    return CapabilityRow::Status::available(QStringLiteral("Works now. No permission needed."));
}

CapabilityRow::Status SoundCapabilities::keyTakeover(bool keysAvailable, const KeyboardStatus& keys)
{
    if (!keysAvailable)
        return CapabilityRow::Status::unavailable(
            QStringLiteral("Taking the keys over needs an X11 session. Under Wayland the desktop keeps them, and its "
                           "own panel with them."));
    if (!keys.mediaKeysHeldElsewhere.isEmpty())
        return CapabilityRow::Status::unavailable(
            QStringLiteral("Another program holds %1, so the desktop still draws its own display for %2. Nimbra "
                           "tries again whenever one of its windows comes to the front.")
                .arg(KeyboardStatus::spoken(keys.mediaKeysHeldElsewhere),
                    keys.mediaKeysHeldElsewhere.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    if (keys.mediaKeysTaken)
        return CapabilityRow::Status::available(
            QStringLiteral("Nimbra catches the key before the desktop draws its panel."));
    return CapabilityRow::Status::available(
        QStringLiteral("The keys are free. With the switch below on, Nimbra catches them before the desktop draws "
                       "its panel."));
}

std::optional<QString> SoundCapabilities::reading(const std::optional<SystemLevel>& level)
{
    if (!level)
        return std::nullopt;
    return QStringLiteral("%1%").arg(std::lround(level->value * 100));
}

void soundPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    // The stage holds the readout state and shows the chosen level's readout.
    if (const std::optional<NotchGeometry>& geometry = view.liveGeometry()) {
        auto* stage = new NotchStage(*geometry, view.draft(), view.previewTheme(), NotchStageState::readout, false,
            NotchStage::Readout::of(view.previewedLevelSample()));
        QObject::connect(
            &view, &SettingsView::draftChanged, stage, [stage, &view] { stage->setNotchLayout(view.draft()); });
        QObject::connect(
            &view, &SettingsView::previewThemeChanged, stage, [stage, &view] { stage->setTheme(view.previewTheme()); });
        QObject::connect(&view, &SettingsView::previewedKindChanged, stage,
            [stage, &view] { stage->setReadout(NotchStage::Readout::of(view.previewedLevelSample())); });
        column.addWidget(stage);
    }

    auto* choices = new QWidget;
    auto* choiceColumn = new QVBoxLayout(choices);
    choiceColumn->setContentsMargins(0, 0, 0, 0);
    choiceColumn->setSpacing(8);
    choiceColumn->addWidget(
        label(QStringLiteral("Pick one to see it in the notch above."), TextStyle::callout, Tone::secondary));
    choiceColumn->addWidget(view.levelChoice(SystemLevel::Kind::volume), 0, Qt::AlignLeft);
    choiceColumn->addWidget(view.levelChoice(SystemLevel::Kind::brightness), 0, Qt::AlignLeft);
    column.addWidget(choices);
    column.addWidget(divider());

    column.addWidget(view.switchRow(QStringLiteral("Only show brightness when I press a key"),
        QStringLiteral("Laptops that adapt to ambient light nudge the backlight constantly. Those are real changes, so "
                       "without this the notch reports every one of them and flickers all day. Turn it off to see "
                       "brightness changed from the desktop's own controls too."),
        view.bind<bool>(&NimbraSettings::brightnessNeedsKeyPress, &NimbraSettings::setBrightnessNeedsKeyPress)));
    column.addWidget(divider());

    auto* capabilities = new QWidget;
    auto* rows = new QVBoxLayout(capabilities);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(14);
    const LiveLevels& levels = view.levels();
    rows->addWidget(new CapabilityRow(QStringLiteral("Show volume in the notch"), SoundCapabilities::volume(levels),
        SoundCapabilities::reading(levels.volume)));
    rows->addWidget(new CapabilityRow(QStringLiteral("Show brightness in the notch"),
        SoundCapabilities::brightness(levels), SoundCapabilities::reading(levels.brightness)));
    auto* takeover = new CapabilityRow(QStringLiteral("Hide the desktop's own on-screen display"),
        SoundCapabilities::keyTakeover(view.accessibilityGranted(), view.keyboardStatus()));
    const auto followKeys = [takeover, &view] {
        takeover->setStatus(SoundCapabilities::keyTakeover(view.accessibilityGranted(), view.keyboardStatus()));
    };
    QObject::connect(&view, &SettingsView::accessibilityGrantedChanged, takeover, followKeys);
    QObject::connect(&view, &SettingsView::keyboardStatusChanged, takeover, followKeys);
    rows->addWidget(takeover);
    column.addWidget(capabilities);
    column.addWidget(divider());

    // The setting is stored first; the shell then takes the keys over (or lets them go). When
    // that cannot start yet, the setting stays on and the shell tries again later.
    SettingsView* owner = &view;
    column.addWidget(view.switchRow(QStringLiteral("Replace the volume & brightness on-screen display"),
        QStringLiteral("Turn this off to leave the desktop's panel alone and show nothing in the notch."),
        Binding<bool> { [&settings] { return settings.hudReplacement(); },
            [&settings, owner](const bool& on) {
                settings.setHudReplacement(on);
                owner->hudChanged(on);
            } }));
}

// MARK: Battery

QString BatteryTexts::previewCaption(int level, bool isOn)
{
    if (isOn)
        return QStringLiteral("Showing the warning you'll get at %1%.").arg(level);
    return QStringLiteral("This is what %1% would look like — it's switched off.").arg(level);
}

LevelChip::LevelChip(int level, bool isOn, QWidget* parent)
    : QAbstractButton(parent)
    , m_level(level)
    , m_on(isOn)
{
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setText(QStringLiteral("%1%").arg(level));
    setAccessibleName(text());
    setToolTip(toolTipText(level, isOn));
}

void LevelChip::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    setToolTip(toolTipText(m_level, on));
    update();
}

QString LevelChip::toolTipText(int level, bool isOn)
{
    return isOn ? QStringLiteral("Warn at %1%").arg(level) : QStringLiteral("Don't warn at %1%").arg(level);
}

void LevelChip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor window = pal.color(QPalette::Window);
    QColor fill = m_on ? accent(pal) : over(pal.color(QPalette::WindowText), 0.08, window);
    QColor ink = m_on ? QColor(Qt::white) : pal.color(QPalette::WindowText);
    if (!isEnabled() && m_on)
        fill = over(fill, 0.6, window);
    if (isDown()) {
        fill = fill.darker(110);
    }
    p.setPen(hasFocus() ? QPen(over(accent(pal), 0.6, window), 2) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 7, 7);
    p.setPen(ink);
    p.setFont(settings_style::font(TextStyle::callout, QFont::Medium));
    p.drawText(rect(), Qt::AlignCenter, text());
}

void batteryPage(SettingsView& view, QVBoxLayout& column)
{
    NimbraSettings& settings = view.settings();

    auto* sample = new ChargePreview(view.previewedLevel());
    auto* preview = new NotchPreview(view.previewTheme(), view.draft(), sample);
    QObject::connect(&view, &SettingsView::previewThemeChanged, preview,
        [preview, &view] { preview->setTheme(view.previewTheme()); });
    QObject::connect(
        &view, &SettingsView::draftChanged, preview, [preview, &view] { preview->setNotchLayout(view.draft()); });
    QObject::connect(&view, &SettingsView::previewedLevelChanged, sample,
        [sample, &view] { sample->setLowLevel(view.previewedLevel()); });
    column.addWidget(preview);

    column.addWidget(view.switchRow(QStringLiteral("Charging and battery changes"),
        QStringLiteral("A brief readout when the charger goes in or comes out."),
        view.bind<bool>(&NimbraSettings::powerActivityEnabled, &NimbraSettings::setPowerActivityEnabled)));
    column.addWidget(divider());

    auto* warnings = new QWidget;
    auto* block = new QVBoxLayout(warnings);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(8);
    block->addWidget(label(QStringLiteral("Warn me at"), TextStyle::body, Tone::primary, QFont::Medium));
    block->addWidget(label(QStringLiteral("Each level announces once, as the battery falls past it. Click one to see "
                                          "how the warning looks."),
        TextStyle::callout, Tone::secondary, QFont::Normal, true));

    auto* chips = new QHBoxLayout;
    chips->setSpacing(7);
    for (const int level : NimbraSettings::availableBatteryLevels()) {
        auto* chip = new LevelChip(level, settings.lowBatteryLevels().count(level) > 0);
        QObject::connect(chip, &QAbstractButton::clicked, chip, [&settings, &view, level] {
            settings.mutateLowBatteryLevels([level](std::set<int>& levels) {
                if (!levels.erase(level))
                    levels.insert(level);
            });
            view.setPreviewedLevel(level);
        });
        view.followSettings(
            chip, [chip, &settings, level] { chip->setOn(settings.lowBatteryLevels().count(level) > 0); });
        chips->addWidget(chip);
    }
    chips->addStretch(1);
    block->addLayout(chips);

    // What the preview shows, with the way back to the charging readout.
    auto* previewLine = new QWidget;
    auto* line = new QHBoxLayout(previewLine);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    QLabel* caption = label({}, TextStyle::caption, Tone::secondary);
    QPushButton* done = linkButton(QStringLiteral("Done"));
    QObject::connect(done, &QPushButton::clicked, done, [&view] { view.setPreviewedLevel(std::nullopt); });
    line->addWidget(caption);
    line->addWidget(done);
    line->addStretch(1);
    block->addWidget(previewLine);

    QLabel* silent = new SignalLabel(BatteryTexts::noWarnings(), TextStyle::caption, &orange);
    block->addWidget(silent);

    const auto follow = [previewLine, caption, silent, &settings, &view] {
        const std::optional<int> level = view.previewedLevel();
        previewLine->setVisible(level.has_value());
        if (level)
            caption->setText(BatteryTexts::previewCaption(*level, settings.lowBatteryLevels().count(*level) > 0));
        silent->setVisible(settings.lowBatteryLevels().empty());
    };
    view.followSettings(warnings, follow);
    QObject::connect(&view, &SettingsView::previewedLevelChanged, warnings, follow);
    enableAndDimWhile(view, warnings, [&settings] { return settings.powerActivityEnabled(); });
    column.addWidget(warnings);
    column.addWidget(divider());

    column.addWidget(view.switchRow(QStringLiteral("Time and battery on hover"),
        QStringLiteral("What appears when you hover and nothing else is happening."),
        view.bind<bool>(&NimbraSettings::glanceEnabled, &NimbraSettings::setGlanceEnabled)));
}

} // namespace nimbra
