#include "core/nimbra_settings.h"

#include "core/clamped.h"
#include "core/settings_ranges.h"

#include <QJsonArray>
#include <QMetaEnum>
#include <climits>
#include <cmath>

namespace nimbra {

namespace {

namespace key {
constexpr const char* hoverDwell = "hover.dwell";
constexpr const char* velocityCeiling = "hover.velocityCeiling";
constexpr const char* clipboardEnabled = "clipboard.enabled";
constexpr const char* clipboardHistoryLimit = "clipboard.historyLimit";
constexpr const char* clipboardKeepsImages = "clipboard.keepsImages";
constexpr const char* clipboardHotKey = "clipboard.hotKey";
constexpr const char* clipboardAutoCloseSeconds = "clipboard.autoCloseSeconds";
constexpr const char* hasSeenOnboarding = "onboarding.seen";
constexpr const char* checksForUpdates = "update.automatic";
constexpr const char* eyesEnabled = "eyes.enabled";
constexpr const char* shelfEnabled = "shelf.enabled";
constexpr const char* shelfPersists = "shelf.persists";
constexpr const char* shelfPaths = "shelf.paths";
constexpr const char* timerChimeEnabled = "timer.chime";
constexpr const char* pomodoroWork = "pomodoro.work";
constexpr const char* pomodoroBreak = "pomodoro.break";
constexpr const char* pomodoroLongBreak = "pomodoro.longBreak";
constexpr const char* pomodoroCycles = "pomodoro.cycles";
constexpr const char* brightnessNeedsKeyPress = "level.brightnessNeedsKeyPress";
constexpr const char* activityOrder = "activity.order";
constexpr const char* nowPlayingEnabled = "module.nowPlaying.enabled";
constexpr const char* nowPlayingResident = "module.nowPlaying.resident";
constexpr const char* nowPlayingActivity = "module.nowPlaying.activity";
constexpr const char* hudReplacement = "module.hud.replacement";
constexpr const char* glanceEnabled = "module.glance.enabled";
constexpr const char* powerEnabled = "module.power.enabled";
constexpr const char* powerActivityEnabled = "module.power.activity";
constexpr const char* lowBatteryLevels = "module.power.lowLevels";
constexpr const char* showOnAllDisplays = "display.showOnAll";
constexpr const char* launchAtLogin = "app.launchAtLogin";
constexpr const char* clockFont = "app.clockFont";
constexpr const char* appearance = "app.appearance";

constexpr const char* eyeDiameter = "eyes.diameter";
constexpr const char* eyeSeparation = "eyes.separation";
constexpr const char* eyeSpeed = "eyes.speed";
constexpr const char* eyeSclera = "eyes.sclera";
constexpr const char* eyePupil = "eyes.pupil";
constexpr const char* eyeBlinks = "eyes.blinks";
constexpr const char* eyeBlinkInterval = "eyes.blinkInterval";
constexpr const char* eyeBlinkVariation = "eyes.blinkVariation";
constexpr const char* eyeClickBlink = "eyes.clickBlink";
constexpr const char* eyeSleeps = "eyes.sleeps";
constexpr const char* eyeDrowsyAfter = "eyes.drowsyAfter";
constexpr const char* eyeAsleepAfter = "eyes.asleepAfter";
constexpr const char* eyeCross = "eyes.cross";
constexpr const char* eyeClicks = "eyes.clicks";
// An older format, read only when the current keys are missing and never written.
constexpr const char* legacyEyeSize = "eyes.size";
constexpr const char* legacyBlinkRate = "eyes.blinkRate";

constexpr const char* layoutExpandedWidth = "layout.expandedWidth";
constexpr const char* layoutExpandedHeight = "layout.expandedHeight";
constexpr const char* layoutActivityExtraWidth = "layout.activityExtraWidth";
constexpr const char* layoutActivityHeight = "layout.activityHeight";
constexpr const char* layoutCollapsedTopRadius = "layout.collapsedTopRadius";
constexpr const char* layoutCollapsedBottomRadius = "layout.collapsedBottomRadius";
constexpr const char* layoutExpandedTopRadius = "layout.expandedTopRadius";
constexpr const char* layoutExpandedBottomRadius = "layout.expandedBottomRadius";
} // namespace key

namespace fallback {
constexpr double hoverDwell = 0.1;
constexpr double velocityCeiling = 1100;
constexpr int clipboardHistoryLimit = 100;
constexpr int clipboardAutoCloseSeconds = 10;
constexpr int pomodoroWork = 25;
constexpr int pomodoroBreak = 5;
constexpr int pomodoroLongBreak = 15;
constexpr int pomodoroCycles = 4;
const std::set<int> lowBatteryLevels { 20, 10, 5 };
} // namespace fallback

constexpr double hoverReleaseGrace = 0.1;
constexpr qsizetype clipboardMaxBytes = 192 * 1024 * 1024;

QString k(const char* name)
{
    return QString::fromLatin1(name);
}

int saturatedInt(qint64 value)
{
    return int(std::clamp<qint64>(value, INT_MIN, INT_MAX));
}

// A setting that must be positive: below 1 counts as unset. A zero or negative pomodoro length
// would restart a phase on every tick, a zero history limit would drop every capture.
int positiveOr(qint64 value, int fallbackValue)
{
    return value < 1 ? fallbackValue : saturatedInt(value);
}

double finiteOr(double value, double fallbackValue)
{
    return std::isfinite(value) ? value : fallbackValue;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Creation and loading

const std::array<int, 7>& NimbraSettings::availableBatteryLevels()
{
    static const std::array<int, 7> levels { 50, 30, 25, 20, 15, 10, 5 };
    return levels;
}

NimbraSettings& NimbraSettings::shared()
{
    // Lives for the whole run; its file storage writes itself out when the application quits.
    static NimbraSettings* const instance
        = new NimbraSettings(std::make_shared<JsonFileSettingsStorage>(JsonFileSettingsStorage::defaultPath()));
    return *instance;
}

NimbraSettings::NimbraSettings(std::shared_ptr<SettingsStorage> defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(std::move(defaults))
{
    load();
}

NimbraSettings::~NimbraSettings() = default;

namespace {

// Reading rules. Typed: the stored value counts only when it has the expected JSON type.
// Presence: an absent (or null) key gives the default, a present one the storage's own conversion.
// Non-zero: the storage's integer; anything below 1 gives the default.
class Reader {
public:
    explicit Reader(const SettingsStorage& storage)
        : m_storage(storage)
    {
    }

    // A null is no value: the file holds one where a number was not finite.
    bool has(const char* name) const
    {
        const QJsonValue value = m_storage.object(k(name));
        return !value.isUndefined() && !value.isNull();
    }

    bool typedBool(const char* name, bool fallbackValue) const
    {
        const QJsonValue value = m_storage.object(k(name));
        return value.isBool() ? value.toBool() : fallbackValue;
    }

    double typedDouble(const char* name, double fallbackValue) const
    {
        const QJsonValue value = m_storage.object(k(name));
        return value.isDouble() ? finiteOr(value.toDouble(), fallbackValue) : fallbackValue;
    }

    bool presentBool(const char* name, bool fallbackValue) const
    {
        return has(name) ? m_storage.boolValue(k(name)) : fallbackValue;
    }

    double presentDouble(const char* name, double fallbackValue) const
    {
        return has(name) ? finiteOr(m_storage.doubleValue(k(name)), fallbackValue) : fallbackValue;
    }

    int nonZero(const char* name, int fallbackValue) const
    {
        return positiveOr(m_storage.integer(k(name)), fallbackValue);
    }

    std::optional<QString> string(const char* name) const { return m_storage.string(k(name)); }

    // An array of strings as a whole: anything else is empty.
    QStringList strings(const char* name) const
    {
        QStringList result;
        const std::optional<QJsonArray> array = m_storage.array(k(name));
        if (!array)
            return result;
        for (const QJsonValue& element : *array) {
            if (!element.isString())
                return {};
            result.append(element.toString());
        }
        return result;
    }

    // An array of whole numbers as a whole: anything else is none.
    std::optional<std::set<int>> integerSet(const char* name) const
    {
        const std::optional<QJsonArray> array = m_storage.array(k(name));
        if (!array)
            return std::nullopt;
        std::set<int> result;
        for (const QJsonValue& element : *array) {
            if (!element.isDouble())
                return std::nullopt;
            const double number = element.toDouble();
            if (!std::isfinite(number) || number != std::trunc(number) || number < INT_MIN || number > INT_MAX)
                return std::nullopt;
            result.insert(int(number));
        }
        return result;
    }

    const SettingsStorage& storage() const { return m_storage; }

private:
    const SettingsStorage& m_storage;
};

} // namespace

void NimbraSettings::load()
{
    const Reader read(*m_defaults);

    // The stored order first (unknown names skipped, repeats kept), then every missing category
    // in the default order.
    m_activityOrder.clear();
    for (const QString& name : read.strings(key::activityOrder)) {
        if (const std::optional<ActivityCategory> category = fromRawValue<ActivityCategory>(name))
            m_activityOrder.append(*category);
    }
    for (ActivityCategory category : activityCategoryDefaultOrder()) {
        if (!m_activityOrder.contains(category))
            m_activityOrder.append(category);
    }

    // Every number is brought into what its settings page offers: a hand-edited file must not
    // hold a value the page cannot show, or one that costs a frame per unit.
    namespace range = settings_ranges;
    m_clipboardAutoCloseSeconds = range::nearestChoice(range::clipboardAutoCloseSeconds,
        read.has(key::clipboardAutoCloseSeconds) ? m_defaults->integer(k(key::clipboardAutoCloseSeconds))
                                                 : fallback::clipboardAutoCloseSeconds);
    m_clipboardEnabled = read.typedBool(key::clipboardEnabled, true);
    m_clipboardKeepsImages = read.typedBool(key::clipboardKeepsImages, true);
    m_clipboardHistoryLimit = range::nearestChoice(
        range::clipboardHistoryLimits, read.nonZero(key::clipboardHistoryLimit, fallback::clipboardHistoryLimit));

    m_clipboardHotKey = KeyCombo::defaultClipboard;
    if (const std::optional<QByteArray> data = m_defaults->data(k(key::clipboardHotKey))) {
        if (const std::optional<KeyCombo> combo = KeyCombo::decoded(*data))
            m_clipboardHotKey = *combo;
    }

    m_hasSeenOnboarding = read.typedBool(key::hasSeenOnboarding, false);
    m_checksForUpdates = read.typedBool(key::checksForUpdates, true);
    m_eyesEnabled = read.typedBool(key::eyesEnabled, false);
    m_eyeStyle = loadEyeStyle();

    m_shelfEnabled = read.typedBool(key::shelfEnabled, true);
    m_shelfPersists = read.typedBool(key::shelfPersists, true);
    m_timerChimeEnabled = read.typedBool(key::timerChimeEnabled, true);

    m_pomodoroWorkMinutes = clamped(read.nonZero(key::pomodoroWork, fallback::pomodoroWork), range::pomodoroWork);
    m_pomodoroBreakMinutes
        = clamped(read.nonZero(key::pomodoroBreak, fallback::pomodoroBreak), range::pomodoroBreak);
    m_pomodoroLongBreakMinutes
        = clamped(read.nonZero(key::pomodoroLongBreak, fallback::pomodoroLongBreak), range::pomodoroLongBreak);
    m_pomodoroCycles = clamped(read.nonZero(key::pomodoroCycles, fallback::pomodoroCycles), range::pomodoroCycles);

    m_brightnessNeedsKeyPress = read.typedBool(key::brightnessNeedsKeyPress, true);
    m_hoverDwell = clamped(read.typedDouble(key::hoverDwell, fallback::hoverDwell), range::hoverDwell);
    m_velocityCeiling
        = clamped(read.typedDouble(key::velocityCeiling, fallback::velocityCeiling), range::velocityCeiling);

    m_nowPlayingEnabled = read.typedBool(key::nowPlayingEnabled, true);
    m_nowPlayingResident = read.typedBool(key::nowPlayingResident, false);
    m_nowPlayingActivity = read.typedBool(key::nowPlayingActivity, true);
    m_hudReplacement = read.typedBool(key::hudReplacement, false);
    m_glanceEnabled = read.typedBool(key::glanceEnabled, true);
    m_powerEnabled = read.typedBool(key::powerEnabled, true);
    m_powerActivityEnabled = read.typedBool(key::powerActivityEnabled, true);
    // Only the levels the battery page offers: another one could be neither seen nor turned off.
    m_lowBatteryLevels = read.integerSet(key::lowBatteryLevels).value_or(fallback::lowBatteryLevels);
    std::erase_if(m_lowBatteryLevels, [](int level) {
        const auto& offered = availableBatteryLevels();
        return std::find(offered.begin(), offered.end(), level) == offered.end();
    });

    m_showOnAllDisplays = read.typedBool(key::showOnAllDisplays, false);
    m_launchAtLogin = read.typedBool(key::launchAtLogin, false);

    m_clockFont = ClockFont::lockScreen;
    if (const std::optional<QString> raw = read.string(key::clockFont)) {
        if (const std::optional<ClockFont> font = fromRawValue<ClockFont>(*raw))
            m_clockFont = *font;
    }
    m_appearance = Appearance::system;
    if (const std::optional<QString> raw = read.string(key::appearance)) {
        if (const std::optional<Appearance> appearance = fromRawValue<Appearance>(*raw))
            m_appearance = *appearance;
    }

    const LayoutMetrics& d = LayoutMetrics::defaults();
    m_layout = LayoutMetrics(read.typedDouble(key::layoutExpandedWidth, d.expandedWidth),
        read.typedDouble(key::layoutExpandedHeight, d.expandedHeight),
        read.typedDouble(key::layoutActivityExtraWidth, d.activityExtraWidth),
        read.typedDouble(key::layoutActivityHeight, d.activityHeight),
        read.typedDouble(key::layoutCollapsedTopRadius, d.collapsedTopRadius),
        read.typedDouble(key::layoutCollapsedBottomRadius, d.collapsedBottomRadius),
        read.typedDouble(key::layoutExpandedTopRadius, d.expandedTopRadius),
        read.typedDouble(key::layoutExpandedBottomRadius, d.expandedBottomRadius));
}

EyeStyle NimbraSettings::loadEyeStyle() const
{
    const Reader read(*m_defaults);
    const EyeStyle& d = EyeStyle::defaultStyle();
    EyeStyle style = d;

    if (read.has(key::eyeDiameter)) {
        style.diameter = read.presentDouble(key::eyeDiameter, d.diameter);
    } else if (read.has(key::legacyEyeSize)) {
        // The older format stored a scale factor where 0.62 was the standard size.
        const double scale = read.presentDouble(key::legacyEyeSize, 0.62);
        style.diameter = clamped(scale * 18.0 / 0.62, 9.0, 20.0);
    }

    if (read.has(key::eyeBlinkInterval)) {
        style.blinkInterval = read.presentDouble(key::eyeBlinkInterval, d.blinkInterval);
        style.blinkVariation = read.presentDouble(key::eyeBlinkVariation, d.blinkVariation);
    } else {
        const std::optional<QString> rate = read.string(key::legacyBlinkRate);
        const std::optional<BlinkFrequency> frequency
            = rate ? fromRawValue<BlinkFrequency>(*rate) : std::optional<BlinkFrequency>();
        const BlinkTiming preset = timing(frequency.value_or(BlinkFrequency::occasional));
        style.blinkInterval = preset.interval;
        style.blinkVariation = preset.variation;
    }

    style.separation = read.presentDouble(key::eyeSeparation, d.separation);
    style.followSpeed = read.presentDouble(key::eyeSpeed, d.followSpeed);
    style.scleraHex = read.string(key::eyeSclera).value_or(d.scleraHex);
    style.pupilHex = read.string(key::eyePupil).value_or(d.pupilHex);
    style.blinks = read.presentBool(key::eyeBlinks, d.blinks);
    style.sleeps = read.presentBool(key::eyeSleeps, d.sleeps);
    style.drowsyAfter = read.presentDouble(key::eyeDrowsyAfter, d.drowsyAfter);
    style.asleepAfter = read.presentDouble(key::eyeAsleepAfter, d.asleepAfter);
    style.crossesEyes = read.presentBool(key::eyeCross, d.crossesEyes);
    style.reactsToClicks = read.presentBool(key::eyeClicks, d.reactsToClicks);

    // Each number within what the eyes page offers.
    namespace range = settings_ranges;
    style.diameter = clamped(style.diameter, EyeStyle::diameterRange);
    style.separation = clamped(style.separation, range::eyeSeparation);
    style.followSpeed = clamped(style.followSpeed, range::eyeFollowSpeed);
    style.blinkInterval = clamped(style.blinkInterval, range::blinkInterval);
    style.blinkVariation = clamped(style.blinkVariation, range::blinkVariation);
    style.drowsyAfter = clamped(style.drowsyAfter, range::drowsyAfter);
    style.asleepAfter = clamped(style.asleepAfter, range::asleepAfter);

    // Only "both" and "random" are read as such; anything else is the matching side.
    const QString clickBlink = read.string(key::eyeClickBlink).value_or(QString());
    style.clickBlink = clickBlink == u"both" ? ClickBlink::both
        : clickBlink == u"random"            ? ClickBlink::random
                                             : ClickBlink::matchingSide;
    return style;
}

// ---------------------------------------------------------------------------------------------
// Write-through

template <typename T, typename Writer>
void NimbraSettings::assign(T& field, const T& value, Property property, Writer&& write)
{
    const bool isChange = !(field == value);
    field = value;
    write();
    if (isChange)
        Q_EMIT changed(property);
}

template <typename T, typename Writer>
void NimbraSettings::mutate(T& field, const std::function<void(T&)>& change, Property property, Writer&& write)
{
    if (change)
        change(field);
    write();
    Q_EMIT changed(property);
}

void NimbraSettings::assignBool(bool& field, bool on, Property property, const char* name)
{
    assign(field, on, property, [&] { m_defaults->setBool(k(name), field); });
}

void NimbraSettings::setClipboardEnabled(bool on)
{
    assignBool(m_clipboardEnabled, on, Property::clipboardEnabled, key::clipboardEnabled);
}
void NimbraSettings::setClipboardKeepsImages(bool on)
{
    assignBool(m_clipboardKeepsImages, on, Property::clipboardKeepsImages, key::clipboardKeepsImages);
}
void NimbraSettings::setHasSeenOnboarding(bool on)
{
    assignBool(m_hasSeenOnboarding, on, Property::hasSeenOnboarding, key::hasSeenOnboarding);
}
void NimbraSettings::setChecksForUpdates(bool on)
{
    assignBool(m_checksForUpdates, on, Property::checksForUpdates, key::checksForUpdates);
}
void NimbraSettings::setEyesEnabled(bool on)
{
    assignBool(m_eyesEnabled, on, Property::eyesEnabled, key::eyesEnabled);
}
void NimbraSettings::setShelfEnabled(bool on)
{
    assignBool(m_shelfEnabled, on, Property::shelfEnabled, key::shelfEnabled);
}
void NimbraSettings::setShelfPersists(bool on)
{
    assignBool(m_shelfPersists, on, Property::shelfPersists, key::shelfPersists);
}
void NimbraSettings::setTimerChimeEnabled(bool on)
{
    assignBool(m_timerChimeEnabled, on, Property::timerChimeEnabled, key::timerChimeEnabled);
}
void NimbraSettings::setBrightnessNeedsKeyPress(bool on)
{
    assignBool(m_brightnessNeedsKeyPress, on, Property::brightnessNeedsKeyPress, key::brightnessNeedsKeyPress);
}
void NimbraSettings::setNowPlayingEnabled(bool on)
{
    assignBool(m_nowPlayingEnabled, on, Property::nowPlayingEnabled, key::nowPlayingEnabled);
}
void NimbraSettings::setNowPlayingResident(bool on)
{
    assignBool(m_nowPlayingResident, on, Property::nowPlayingResident, key::nowPlayingResident);
}
void NimbraSettings::setNowPlayingActivity(bool on)
{
    assignBool(m_nowPlayingActivity, on, Property::nowPlayingActivity, key::nowPlayingActivity);
}
void NimbraSettings::setHudReplacement(bool on)
{
    assignBool(m_hudReplacement, on, Property::hudReplacement, key::hudReplacement);
}
void NimbraSettings::setGlanceEnabled(bool on)
{
    assignBool(m_glanceEnabled, on, Property::glanceEnabled, key::glanceEnabled);
}
void NimbraSettings::setPowerEnabled(bool on)
{
    assignBool(m_powerEnabled, on, Property::powerEnabled, key::powerEnabled);
}
void NimbraSettings::setPowerActivityEnabled(bool on)
{
    assignBool(m_powerActivityEnabled, on, Property::powerActivityEnabled, key::powerActivityEnabled);
}
void NimbraSettings::setShowOnAllDisplays(bool on)
{
    assignBool(m_showOnAllDisplays, on, Property::showOnAllDisplays, key::showOnAllDisplays);
}
void NimbraSettings::setLaunchAtLogin(bool on)
{
    assignBool(m_launchAtLogin, on, Property::launchAtLogin, key::launchAtLogin);
}

void NimbraSettings::setHoverDwell(double seconds)
{
    assign(m_hoverDwell, finiteOr(seconds, fallback::hoverDwell), Property::hoverDwell,
        [&] { m_defaults->setDouble(k(key::hoverDwell), m_hoverDwell); });
}

void NimbraSettings::setVelocityCeiling(double pointsPerSecond)
{
    assign(m_velocityCeiling, finiteOr(pointsPerSecond, fallback::velocityCeiling), Property::velocityCeiling,
        [&] { m_defaults->setDouble(k(key::velocityCeiling), m_velocityCeiling); });
}

void NimbraSettings::setClipboardHistoryLimit(int items)
{
    assign(m_clipboardHistoryLimit, positiveOr(items, fallback::clipboardHistoryLimit), Property::clipboardHistoryLimit,
        [&] { m_defaults->setInteger(k(key::clipboardHistoryLimit), m_clipboardHistoryLimit); });
}

void NimbraSettings::setClipboardAutoCloseSeconds(int seconds)
{
    assign(m_clipboardAutoCloseSeconds, seconds, Property::clipboardAutoCloseSeconds,
        [&] { m_defaults->setInteger(k(key::clipboardAutoCloseSeconds), m_clipboardAutoCloseSeconds); });
}

void NimbraSettings::setPomodoroWorkMinutes(int minutes)
{
    assign(m_pomodoroWorkMinutes, positiveOr(minutes, fallback::pomodoroWork), Property::pomodoroWorkMinutes,
        [&] { m_defaults->setInteger(k(key::pomodoroWork), m_pomodoroWorkMinutes); });
}

void NimbraSettings::setPomodoroBreakMinutes(int minutes)
{
    assign(m_pomodoroBreakMinutes, positiveOr(minutes, fallback::pomodoroBreak), Property::pomodoroBreakMinutes,
        [&] { m_defaults->setInteger(k(key::pomodoroBreak), m_pomodoroBreakMinutes); });
}

void NimbraSettings::setPomodoroLongBreakMinutes(int minutes)
{
    assign(m_pomodoroLongBreakMinutes, positiveOr(minutes, fallback::pomodoroLongBreak),
        Property::pomodoroLongBreakMinutes,
        [&] { m_defaults->setInteger(k(key::pomodoroLongBreak), m_pomodoroLongBreakMinutes); });
}

void NimbraSettings::setPomodoroCycles(int cycles)
{
    assign(m_pomodoroCycles, positiveOr(cycles, fallback::pomodoroCycles), Property::pomodoroCycles,
        [&] { m_defaults->setInteger(k(key::pomodoroCycles), m_pomodoroCycles); });
}

void NimbraSettings::setClipboardHotKey(KeyCombo combo)
{
    // The combination is always encodable; the storage refuses only text that is not JSON.
    assign(m_clipboardHotKey, combo, Property::clipboardHotKey,
        [&] { m_defaults->setData(k(key::clipboardHotKey), m_clipboardHotKey.encoded()); });
}

void NimbraSettings::mutateClipboardHotKey(const std::function<void(KeyCombo&)>& change)
{
    mutate(m_clipboardHotKey, change, Property::clipboardHotKey,
        [&] { m_defaults->setData(k(key::clipboardHotKey), m_clipboardHotKey.encoded()); });
}

void NimbraSettings::setEyeStyle(const EyeStyle& style)
{
    assign(m_eyeStyle, style, Property::eyeStyle, [&] { writeEyeStyle(); });
}

void NimbraSettings::mutateEyeStyle(const std::function<void(EyeStyle&)>& change)
{
    mutate(m_eyeStyle, change, Property::eyeStyle, [&] { writeEyeStyle(); });
}

void NimbraSettings::writeEyeStyle()
{
    SettingsStorage& s = *m_defaults;
    const EyeStyle& e = m_eyeStyle;
    s.setDouble(k(key::eyeDiameter), e.diameter);
    s.setDouble(k(key::eyeSeparation), e.separation);
    s.setDouble(k(key::eyeSpeed), e.followSpeed);
    s.setObject(k(key::eyeSclera), e.scleraHex);
    s.setObject(k(key::eyePupil), e.pupilHex);
    s.setBool(k(key::eyeBlinks), e.blinks);
    s.setDouble(k(key::eyeBlinkInterval), e.blinkInterval);
    s.setDouble(k(key::eyeBlinkVariation), e.blinkVariation);
    s.setObject(k(key::eyeClickBlink), rawValue(e.clickBlink));
    s.setBool(k(key::eyeSleeps), e.sleeps);
    s.setDouble(k(key::eyeDrowsyAfter), e.drowsyAfter);
    s.setDouble(k(key::eyeAsleepAfter), e.asleepAfter);
    s.setBool(k(key::eyeCross), e.crossesEyes);
    s.setBool(k(key::eyeClicks), e.reactsToClicks);
}

void NimbraSettings::storeShelf(const QStringList& paths)
{
    m_defaults->setObject(k(key::shelfPaths), QJsonArray::fromStringList(m_shelfPersists ? paths : QStringList()));
}

QStringList NimbraSettings::storedShelfPaths() const
{
    if (!m_shelfPersists)
        return {};
    return Reader(*m_defaults).strings(key::shelfPaths);
}

void NimbraSettings::setActivityOrder(const QList<ActivityCategory>& order)
{
    assign(m_activityOrder, order, Property::activityOrder, [&] { writeActivityOrder(); });
}

void NimbraSettings::mutateActivityOrder(const std::function<void(QList<ActivityCategory>&)>& change)
{
    mutate(m_activityOrder, change, Property::activityOrder, [&] { writeActivityOrder(); });
}

void NimbraSettings::writeActivityOrder()
{
    QJsonArray names;
    for (ActivityCategory category : std::as_const(m_activityOrder))
        names.append(rawValue(category));
    m_defaults->setObject(k(key::activityOrder), names);
}

void NimbraSettings::setLowBatteryLevels(const std::set<int>& percents)
{
    assign(m_lowBatteryLevels, percents, Property::lowBatteryLevels, [&] { writeLowBatteryLevels(); });
}

void NimbraSettings::mutateLowBatteryLevels(const std::function<void(std::set<int>&)>& change)
{
    mutate(m_lowBatteryLevels, change, Property::lowBatteryLevels, [&] { writeLowBatteryLevels(); });
}

void NimbraSettings::writeLowBatteryLevels()
{
    // A std::set iterates in ascending order, which is the stored order.
    QJsonArray levels;
    for (int level : m_lowBatteryLevels)
        levels.append(level);
    m_defaults->setObject(k(key::lowBatteryLevels), levels);
}

void NimbraSettings::setLayout(const LayoutMetrics& layout)
{
    assign(m_layout, layout, Property::layout, [&] { persist(m_layout); });
}

void NimbraSettings::mutateLayout(const std::function<void(LayoutMetrics&)>& change)
{
    mutate(m_layout, change, Property::layout, [&] { persist(m_layout); });
}

void NimbraSettings::persist(const LayoutMetrics& layout)
{
    SettingsStorage& s = *m_defaults;
    s.setDouble(k(key::layoutExpandedWidth), layout.expandedWidth);
    s.setDouble(k(key::layoutExpandedHeight), layout.expandedHeight);
    s.setDouble(k(key::layoutActivityExtraWidth), layout.activityExtraWidth);
    s.setDouble(k(key::layoutActivityHeight), layout.activityHeight);
    s.setDouble(k(key::layoutCollapsedTopRadius), layout.collapsedTopRadius);
    s.setDouble(k(key::layoutCollapsedBottomRadius), layout.collapsedBottomRadius);
    s.setDouble(k(key::layoutExpandedTopRadius), layout.expandedTopRadius);
    s.setDouble(k(key::layoutExpandedBottomRadius), layout.expandedBottomRadius);
}

void NimbraSettings::setClockFont(ClockFont font)
{
    assign(m_clockFont, font, Property::clockFont,
        [&] { m_defaults->setObject(k(key::clockFont), rawValue(m_clockFont)); });
}

void NimbraSettings::setAppearance(Appearance appearance)
{
    assign(m_appearance, appearance, Property::appearance,
        [&] { m_defaults->setObject(k(key::appearance), rawValue(m_appearance)); });
}

// ---------------------------------------------------------------------------------------------
// Derived values

HoverIntent::Configuration NimbraSettings::hoverConfiguration() const
{
    HoverIntent::Configuration configuration;
    configuration.dwell = m_hoverDwell;
    configuration.releaseGrace = hoverReleaseGrace;
    configuration.velocityCeiling = m_velocityCeiling;
    return configuration;
}

ClipboardStore::Limits NimbraSettings::clipboardLimits() const
{
    ClipboardStore::Limits limits;
    limits.maxItems = m_clipboardHistoryLimit;
    limits.maxBytes = clipboardMaxBytes;
    return limits;
}

Pomodoro::Configuration NimbraSettings::pomodoroConfiguration() const
{
    Pomodoro::Configuration configuration;
    configuration.work = m_pomodoroWorkMinutes * 60.0;
    configuration.shortBreak = m_pomodoroBreakMinutes * 60.0;
    configuration.longBreak = m_pomodoroLongBreakMinutes * 60.0;
    configuration.cyclesBeforeLongBreak = m_pomodoroCycles;
    return configuration;
}

int NimbraSettings::priority(ActivityCategory category) const
{
    qsizetype place = m_activityOrder.indexOf(category);
    if (place < 0) {
        const std::vector<ActivityCategory> order = activityCategoryDefaultOrder();
        place = std::find(order.begin(), order.end(), category) - order.begin();
    }
    return int(4 - place) * 10;
}

// ---------------------------------------------------------------------------------------------
// Reset

void NimbraSettings::resetToDefaults()
{
    setHoverDwell(fallback::hoverDwell);
    setVelocityCeiling(fallback::velocityCeiling);
    setNowPlayingEnabled(true);
    setNowPlayingResident(false);
    setNowPlayingActivity(true);
    setHudReplacement(false);
    setGlanceEnabled(true);
    setPowerEnabled(true);
    setPowerActivityEnabled(true);
    setLowBatteryLevels(fallback::lowBatteryLevels);
    setShowOnAllDisplays(false);
    setLayout(LayoutMetrics::defaults());
}

QString rawValue(NimbraSettings::Property property)
{
    return QString::fromLatin1(QMetaEnum::fromType<NimbraSettings::Property>().valueToKey(int(property)));
}

} // namespace nimbra
