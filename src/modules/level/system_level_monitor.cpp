#include "modules/level/system_level_monitor.h"

#include "core/diagnostics.h"
#include "platform/backlight/backlight.h"
#include "platform/pulse/pulse_volume.h"
#include "platform/upower/kbd_backlight.h"
#include "platform/x11/x11_input_bridge.h"

namespace nimbra {

namespace {

using Kind = SystemLevel::Kind;

void logLevel(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::level, [&] { return message; });
}

SystemLevel available(Kind kind, double value)
{
    return SystemLevel(kind, value, false, true, std::nullopt);
}

} // namespace

const ModuleID SystemLevelMonitor::moduleID { QStringLiteral("systemLevel") };

SystemLevelMonitor::SystemLevelMonitor(Sources sources, QObject* parent)
    : QObject(parent)
    , m_sources(std::move(sources))
{
    const QDBusConnection bus = m_sources.systemBus.value_or(QDBusConnection::systemBus());
    m_volume = std::make_unique<PulseVolume>(m_sources.pulseServer);
    m_backlight = std::make_unique<Backlight>(m_sources.sysfsRoot, bus, m_sources.sessionPath);
    m_keyboard = std::make_unique<KbdBacklight>(bus);

    m_volume->onChange = [this](const SystemLevel& level) {
        if (m_isObservingVolume)
            observed(level);
    };
    m_backlight->onChange = [this](double value) {
        if (m_isObservingBrightness)
            observed(available(Kind::brightness, value));
    };
    m_keyboard->onChange = [this](double value) {
        if (m_isObservingBrightness)
            observed(available(Kind::keyboardBacklight, value));
    };
    // A sink or a backlight that comes or goes changes which keys are ours.
    m_volume->onSinkChange = [this](bool available) {
        regrab();
        if (onVolumeAvailabilityChange)
            onVolumeAvailabilityChange(available);
    };
    m_keyboard->onAvailabilityChange = [this](bool) { regrab(); };
    m_backlight->onAvailabilityChange = [this](bool) { regrab(); };
}

SystemLevelMonitor::~SystemLevelMonitor() = default;

bool SystemLevelMonitor::startIntercepting()
{
    if (m_isIntercepting)
        return true;
    if (!m_sources.input || !m_sources.input->trust().isTrusted()) {
        logLevel(QStringLiteral("accessibility not granted; the desktop's on-screen display left in place"));
        return false;
    }
    if (!m_grabber) {
        m_grabber = std::make_unique<KeyGrabber>(*m_sources.input);
        m_grabber->onPress = [this](MediaKey key, bool fine) {
            if (m_isIntercepting)
                handleKey(key, fine);
        };
        m_grabber->onGrabsChanged = [this] { regrab(); };
    }
    m_grabber->grab(changeableKeys());
    if (!holdsKeys()) {
        m_grabber->ungrab();
        logLevel(QStringLiteral("every media key is held by another program; not intercepting"));
        return false;
    }
    m_isIntercepting = true;
    logLevel(QStringLiteral("intercepting media keys"));
    return true;
}

void SystemLevelMonitor::stopIntercepting()
{
    if (m_grabber)
        m_grabber->ungrab();
    m_isIntercepting = false;
}

bool SystemLevelMonitor::isIntercepting() const
{
    return m_isIntercepting;
}

std::set<MediaKey> SystemLevelMonitor::interceptedKeys() const
{
    return m_grabber ? m_grabber->grabbedKeys() : std::set<MediaKey> {};
}

std::set<MediaKey> SystemLevelMonitor::keysHeldElsewhere()
{
    if (m_isIntercepting && m_grabber)
        return m_grabber->refusedKeys();
    if (!m_sources.input || !m_sources.input->isConnected())
        return {};
    return KeyGrabber::heldElsewhere(*m_sources.input, changeableKeys());
}

void SystemLevelMonitor::retryRefusedKeys()
{
    if (m_isIntercepting && m_grabber && !m_grabber->refusedKeys().empty())
        m_grabber->grab(changeableKeys());
}

std::set<MediaKey> SystemLevelMonitor::changeableKeys() const
{
    std::set<MediaKey> keys;
    if (m_volume->hasSink())
        keys.insert({ MediaKey::raiseVolume, MediaKey::lowerVolume, MediaKey::mute });
    if (m_backlight->isAvailable())
        keys.insert({ MediaKey::brightnessUp, MediaKey::brightnessDown });
    if (m_keyboard->isAvailable())
        keys.insert({ MediaKey::keyboardBrightnessUp, MediaKey::keyboardBrightnessDown });
    return keys;
}

bool SystemLevelMonitor::holdsKeys() const
{
    return m_grabber && (!m_grabber->grabbedKeys().empty() || m_grabber->refusedKeys().empty());
}

void SystemLevelMonitor::regrab()
{
    if (!m_isIntercepting || !m_grabber)
        return;
    // Keys already held stay held; only what moved or changed is asked for again.
    m_grabber->grab(changeableKeys());
    if (!holdsKeys()) {
        logLevel(QStringLiteral("media keys lost to another program"));
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
        if (!m_volume->hasSink())
            return std::nullopt;
        return m_volume->read();
    case Kind::brightness:
        // A backlight logind will not set is still worth showing, as what it is.
        if (auto value = m_backlight->read())
            return SystemLevel(kind, *value, false, m_backlight->isWritable(), std::nullopt);
        return std::nullopt;
    case Kind::keyboardBacklight:
        if (auto value = m_keyboard->read())
            return available(kind, *value);
        return std::nullopt;
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
        if (!m_volume->hasSink())
            return;
        const SystemLevel current = m_volume->read();
        const SystemLevel next = current.stepped(steps, fine);
        // A step that cannot move the level writes nothing: a sink boosted past full reads as
        // full, and writing that back would make a step up quieter.
        if (next.value != current.value)
            m_volume->setVolume(next.value);
        // The device follows the model: a step up unmutes, a step down leaves a mute in place.
        if (next.isMuted != current.isMuted)
            m_volume->setMuted(next.isMuted);
        if (onChange)
            onChange(next);
        return;
    }
    case Kind::brightness: {
        const auto base = m_backlight->target();
        if (!m_backlight->isAvailable() || !base)
            return;
        m_backlight->write(available(kind, *base).stepped(steps, fine).value, steps, announce);
        return;
    }
    case Kind::keyboardBacklight: {
        const auto base = m_keyboard->target();
        if (!m_keyboard->isAvailable() || !base)
            return;
        m_keyboard->write(available(kind, *base).stepped(steps, fine).value, steps, announce);
        return;
    }
    }
}

void SystemLevelMonitor::toggleMute()
{
    if (!m_volume->hasSink())
        return;
    SystemLevel level = m_volume->read();
    level.isMuted = !level.isMuted;
    m_volume->setMuted(level.isMuted);
    if (onChange)
        onChange(level);
}

void SystemLevelMonitor::startObservingVolume()
{
    if (m_isObservingVolume)
        return;
    m_isObservingVolume = true;
    // The sink in use is logged where it is attached, now or whenever one appears.
    if (!m_volume->hasSink())
        logLevel(QStringLiteral("observing volume (no sink yet; waiting for one)"));
}

void SystemLevelMonitor::startObservingBrightness()
{
    if (m_isObservingBrightness)
        return;
    m_isObservingBrightness = true;
    logLevel(m_backlight->isAvailable() ? QStringLiteral("observing brightness: yes")
                                        : QStringLiteral("observing brightness: failed (no backlight)"));
}

void SystemLevelMonitor::stopObservingBrightness()
{
    m_isObservingBrightness = false;
}

bool SystemLevelMonitor::isObservingBrightness() const
{
    return m_isObservingBrightness;
}

void SystemLevelMonitor::observed(const SystemLevel& level)
{
    if (level.isAvailable && onObservedChange)
        onObservedChange(level);
}

} // namespace nimbra
