#include "modules/level/system_level_monitor.h"

#include "core/diagnostics.h"
#include "platform/backlight/backlight.h"
#include "platform/pulse/pulse_volume.h"
#include "platform/upower/kbd_backlight.h"
#include "platform/x11/accessibility.h"

namespace nimbra {

namespace {

using Kind = SystemLevel::Kind;

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

SystemLevel unavailable(Kind kind)
{
    return SystemLevel(kind, 0, false, false, std::nullopt);
}

SystemLevel available(Kind kind, double value)
{
    return SystemLevel(kind, value, false, true, std::nullopt);
}

} // namespace

const ModuleID SystemLevelMonitor::moduleID { QStringLiteral("systemLevel") };

SystemLevelMonitor::SystemLevelMonitor()
    : SystemLevelMonitor(Sources {})
{
}

SystemLevelMonitor::SystemLevelMonitor(Sources sources, QObject* parent)
    : QObject(parent)
    , sources_(std::move(sources))
{
    const QDBusConnection bus = sources_.systemBus.value_or(QDBusConnection::systemBus());
    volume_ = std::make_unique<PulseVolume>(sources_.pulseServer);
    backlight_ = std::make_unique<Backlight>(sources_.sysfsRoot, bus, sources_.sessionPath);
    keyboard_ = std::make_unique<KbdBacklight>(bus);

    volume_->onChange = [this](const SystemLevel& level) {
        if (isObservingVolume_)
            observed(level);
    };
    backlight_->onChange = [this](double value) {
        if (isObservingBrightness_)
            observed(available(Kind::brightness, value));
    };
    keyboard_->onChange = [this](double value) {
        if (isObservingBrightness_)
            observed(available(Kind::keyboardBacklight, value));
    };
    // A sink or a backlight that comes or goes changes which keys are ours.
    volume_->onSinkChange = [this](bool) { regrab(); };
    keyboard_->onAvailabilityChange = [this](bool) { regrab(); };
    backlight_->onAvailabilityChange = [this](bool) { regrab(); };
}

SystemLevelMonitor::~SystemLevelMonitor() = default;

bool SystemLevelMonitor::startIntercepting()
{
    if (isIntercepting_)
        return true;
    if (!accessibilityTrust(sources_.display).isTrusted()) {
        logLevel(QStringLiteral("accessibility not granted; native HUD left in place"));
        return false;
    }
    grabber_ = std::make_unique<KeyGrabber>(sources_.display);
    if (grabber_->grab(changeableKeys()) != KeyGrabber::GrabResult::grabbed) {
        grabber_.reset();
        logLevel(QStringLiteral("tapCreate failed"));
        return false;
    }
    grabber_->onPress = [this](MediaKey key, bool fine) { handleKey(key, fine); };
    grabber_->onGrabLost = [this] {
        logLevel(QStringLiteral("media keys lost to another program"));
        stopIntercepting();
    };
    isIntercepting_ = true;
    logLevel(QStringLiteral("intercepting media keys"));
    return true;
}

void SystemLevelMonitor::stopIntercepting()
{
    if (grabber_) {
        grabber_->onPress = nullptr;
        grabber_->onGrabLost = nullptr;
        grabber_->ungrab();
        // Deleted later: this may run inside the grabber's own event handling.
        grabber_.release()->deleteLater();
    }
    isIntercepting_ = false;
}

bool SystemLevelMonitor::isIntercepting() const
{
    return isIntercepting_;
}

std::set<MediaKey> SystemLevelMonitor::interceptedKeys() const
{
    return grabber_ ? grabber_->grabbedKeys() : std::set<MediaKey> {};
}

std::set<MediaKey> SystemLevelMonitor::changeableKeys() const
{
    std::set<MediaKey> keys;
    if (volume_->hasSink())
        keys.insert({ MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute });
    if (backlight_->isAvailable())
        keys.insert({ MediaKey::brightnessUp, MediaKey::brightnessDown });
    if (keyboard_->isAvailable())
        keys.insert({ MediaKey::keyboardBrightnessUp, MediaKey::keyboardBrightnessDown });
    return keys;
}

void SystemLevelMonitor::regrab()
{
    if (!isIntercepting_ || !grabber_)
        return;
    if (grabber_->grab(changeableKeys()) != KeyGrabber::GrabResult::grabbed) {
        logLevel(QStringLiteral("tapCreate failed"));
        stopIntercepting();
    }
}

void SystemLevelMonitor::handleKey(MediaKey key, bool fine)
{
    switch (key) {
    case MediaKey::raiseVolume:
        return adjust(Kind::volume, 1, fine);
    case MediaKey::lowerVolume:
        return adjust(Kind::volume, -1, fine);
    case MediaKey::mute:
        return toggleMute();
    case MediaKey::brightnessUp:
        return adjust(Kind::brightness, 1, fine);
    case MediaKey::brightnessDown:
        return adjust(Kind::brightness, -1, fine);
    case MediaKey::keyboardBrightnessUp:
        return adjust(Kind::keyboardBacklight, 1, fine);
    case MediaKey::keyboardBrightnessDown:
        return adjust(Kind::keyboardBacklight, -1, fine);
    }
}

std::optional<SystemLevel> SystemLevelMonitor::read(Kind kind) const
{
    switch (kind) {
    case Kind::volume:
        return volume_->read();
    case Kind::brightness:
        if (auto value = backlight_->read())
            return available(kind, *value);
        return unavailable(kind);
    case Kind::keyboardBacklight:
        if (auto value = keyboard_->read())
            return available(kind, *value);
        return unavailable(kind);
    }
    return std::nullopt;
}

void SystemLevelMonitor::adjust(Kind kind, int steps, bool fine)
{
    // Only a level that can be changed here is stepped and announced.
    auto announce = [this, kind](std::optional<double> inPlace) {
        if (!inPlace) {
            logLevel(rawValue(kind) + QStringLiteral(" cannot be read back"));
            return;
        }
        if (onChange)
            onChange(available(kind, *inPlace));
    };
    switch (kind) {
    case Kind::volume: {
        if (!volume_->hasSink())
            return;
        const SystemLevel current = volume_->read();
        const SystemLevel next = current.stepped(steps, fine);
        // A step that cannot move the level writes nothing: a sink boosted past full reads as
        // full, and writing that back would make a step up quieter.
        if (next.value != current.value)
            volume_->setVolume(next.value);
        // The device follows the model: a step up unmutes, a step down leaves a mute in place.
        if (next.isMuted != current.isMuted)
            volume_->setMuted(next.isMuted);
        if (onChange)
            onChange(next);
        return;
    }
    case Kind::brightness: {
        const auto base = backlight_->target();
        if (!backlight_->isAvailable() || !base)
            return;
        backlight_->write(available(kind, *base).stepped(steps, fine).value, steps, announce);
        return;
    }
    case Kind::keyboardBacklight: {
        const auto base = keyboard_->target();
        if (!keyboard_->isAvailable() || !base)
            return;
        keyboard_->write(available(kind, *base).stepped(steps, fine).value, steps, announce);
        return;
    }
    }
}

void SystemLevelMonitor::toggleMute()
{
    if (!volume_->hasSink())
        return;
    SystemLevel level = volume_->read();
    level.isMuted = !level.isMuted;
    volume_->setMuted(level.isMuted);
    if (onChange)
        onChange(level);
}

void SystemLevelMonitor::startObservingVolume()
{
    if (isObservingVolume_)
        return;
    isObservingVolume_ = true;
    // The sink in use is logged where it is attached, now or whenever one appears.
    if (!volume_->hasSink())
        logLevel(QStringLiteral("observing volume (no sink yet; waiting for one)"));
}

void SystemLevelMonitor::startObservingBrightness()
{
    if (isObservingBrightness_)
        return;
    isObservingBrightness_ = true;
    logLevel(backlight_->isAvailable() ? QStringLiteral("observing brightness: yes")
                                       : QStringLiteral("observing brightness: failed (no backlight)"));
}

void SystemLevelMonitor::stopObservingBrightness()
{
    isObservingBrightness_ = false;
}

bool SystemLevelMonitor::isObservingBrightness() const
{
    return isObservingBrightness_;
}

void SystemLevelMonitor::observed(const SystemLevel& level)
{
    if (level.isAvailable && onObservedChange)
        onObservedChange(level);
}

} // namespace nimbra
