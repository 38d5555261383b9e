#pragma once

#include "core/clamped.h"

#include <QPointF>
#include <QString>
#include <QStringView>
#include <array>
#include <functional>
#include <optional>
#include <span>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);
template <typename E> std::span<const E> allCases();

// Which eye blinks on a mouse click.
enum class ClickBlink { both, matchingSide, random };

inline constexpr std::array<ClickBlink, 3> kClickBlinks
    = { ClickBlink::both, ClickBlink::matchingSide, ClickBlink::random };

template <> inline std::span<const ClickBlink> allCases<ClickBlink>()
{
    return kClickBlinks;
}

QString rawValue(ClickBlink value);
template <> std::optional<ClickBlink> fromRawValue<ClickBlink>(QStringView raw);
inline QString id(ClickBlink value)
{
    return rawValue(value);
}
QString title(ClickBlink value);
QString detail(ClickBlink value);

// A preset for the blink timing; also how an older single-value blink setting is read.
enum class BlinkFrequency { rare, occasional, often };

inline constexpr std::array<BlinkFrequency, 3> kBlinkFrequencies
    = { BlinkFrequency::rare, BlinkFrequency::occasional, BlinkFrequency::often };

template <> inline std::span<const BlinkFrequency> allCases<BlinkFrequency>()
{
    return kBlinkFrequencies;
}

struct BlinkTiming {
    double interval;
    double variation;
};

QString rawValue(BlinkFrequency value);
template <> std::optional<BlinkFrequency> fromRawValue<BlinkFrequency>(QStringView raw);
inline QString id(BlinkFrequency value)
{
    return rawValue(value);
}
QString title(BlinkFrequency value);
BlinkTiming timing(BlinkFrequency value);

// The user's look and behaviour of the menu-bar eyes. A value-initialised style holds the
// defaults; the rules below cope with values that are no number (see `sanitized`).
struct EyeStyle {
    qreal diameter = 18;
    double separation = 0.34;
    double followSpeed = 0.55;
    QString scleraHex = QStringLiteral("FFFFFF");
    QString pupilHex = QStringLiteral("111318");
    bool blinks = true;
    double blinkInterval = 4.95;
    double blinkVariation = 0.515;
    bool sleeps = true;
    double drowsyAfter = 150;
    double asleepAfter = 420;
    bool crossesEyes = true;
    bool reactsToClicks = true;
    ClickBlink clickBlink = ClickBlink::matchingSide;

    static constexpr ClosedRange<qreal> diameterRange { 9, 20 };
    static constexpr ClosedRange<double> followSpeedRange { 0, 1 };
    // Within this many points of the pointer the eyes cross.
    static constexpr double crossEyedWithin = 220;

    static const EyeStyle& defaultStyle();

    // The range the wait between automatic blinks is drawn from.
    ClosedRange<double> blinkRange() const;

    // The same style with every number that is NaN or infinite replaced: a ranged field
    // (diameter, follow speed) takes the bound an infinity points to, anything else and
    // every NaN takes its default.
    EyeStyle sanitized() const;

    friend bool operator==(const EyeStyle&, const EyeStyle&) = default;
};

// How awake the eyes are after the pointer has rested.
class EyeWakefulness {
public:
    enum class Stage { awake, drowsy, asleep };

    static EyeWakefulness awake() { return EyeWakefulness(Stage::awake, 0); }
    // Drowsiness 0…1.
    static EyeWakefulness drowsy(double drowsiness) { return EyeWakefulness(Stage::drowsy, drowsiness); }
    static EyeWakefulness asleep() { return EyeWakefulness(Stage::asleep, 0); }

    Stage stage() const { return m_stage; }
    bool isAwake() const { return m_stage == Stage::awake; }
    bool isAsleep() const { return m_stage == Stage::asleep; }
    // The drowsiness while drowsy, else 0.
    double drowsiness() const { return m_drowsiness; }

    friend bool operator==(const EyeWakefulness&, const EyeWakefulness&) = default;

private:
    EyeWakefulness(Stage stage, double drowsiness)
        : m_stage(stage)
        , m_drowsiness(drowsiness)
    {
    }

    Stage m_stage;
    double m_drowsiness;
};

QString rawValue(EyeWakefulness::Stage stage);
template <> std::optional<EyeWakefulness::Stage> fromRawValue<EyeWakefulness::Stage>(QStringView raw);

// Drowsiness, and how drowsy eyes look. `at` is the animation time in seconds.
struct Drowse {
    static EyeWakefulness wakefulness(double idleFor, const EyeStyle& style);
    // How far a drowsy lid is closed, 0 (open) to 1 (shut): it sinks in over the first
    // 1.2 s, breathes, and nods now and then.
    static double lid(double at, double drowsiness, double secondsSinceOnset);
    // The pupil offset of a drowsy eye (y up): it wanders slowly and sinks. Eye 0 is the left.
    static QPointF gaze(double at, double drowsiness, qreal travel, int eye);
};

// Where pupils look.
struct EyeGeometry {
    // The pupil's offset from its eye centre towards the pointer; full travel only for a
    // pointer 90 points or more away, a little more when the eyes cross.
    static QPointF pupilOffset(QPointF eyeCentre, QPointF pointer, qreal travel, bool crossEyed);
    // Exponential smoothing that moves the same at any frame rate.
    static QPointF eased(QPointF from, QPointF to, double speed, double dt);
};

// Draws a uniformly random value in [lower, upper], both ends possible.
using RandomDraw = std::function<double(double lower, double upper)>;
// The system's random generator.
double systemRandomDraw(double lower, double upper);

// When automatic blinks happen. The random source can be replaced so that the timing is
// reproducible.
struct BlinkClock {
    static constexpr double duration = 0.16;

    double nextBlinkAt = 0;
    std::optional<double> blinkStartedAt;
    ClosedRange<double> interval { 0, 0 };
    RandomDraw draw = systemRandomDraw;

    // The next blink lies a random wait from `now`; no blink is under way.
    BlinkClock(double now, ClosedRange<double> interval, RandomDraw draw = systemRandomDraw);

    bool isBlinking() const { return blinkStartedAt.has_value(); }
    // The lid closure of the automatic blink at `now`; starts and ends blinks as time passes.
    double lidAmount(double at);
    // After `interval` changed: draws the next blink again when it lies beyond the new range.
    void retime(double at);
    // Starts a blink at once unless one is under way (a click).
    void blinkNow(double at);
    // The blink curve without state: none outside the blink's 0.16 s.
    static std::optional<double> lid(double forBlinkStartedAt, double now);

    friend bool operator==(const BlinkClock& a, const BlinkClock& b)
    {
        return a.nextBlinkAt == b.nextBlinkAt && a.blinkStartedAt == b.blinkStartedAt
            && a.interval.lower == b.interval.lower && a.interval.upper == b.interval.upper;
    }

private:
    double randomWait() const;
};

} // namespace nimbra
