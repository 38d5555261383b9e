#include "core/now_playing.h"

#include "core/clamped.h"

#include <QStringList>

#include <charconv>
#include <cmath>
#include <limits>

namespace nimbra {

namespace {

constexpr double oneDay = 86400;
constexpr double seekThreshold = 2.5;

// A length readers can use; anything else (0, negative, non-finite) means unknown.
bool isKnownLength(double duration)
{
    return duration > 0 && std::isfinite(duration);
}

// Spaces and tabs only: a line break inside a field is not padding.
bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// A decimal number in plain text form, independent of the process locale: no surrounding
// space, "." as the decimal mark, an optional sign and exponent.
std::optional<double> decimal(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+')
        ++first;
    if (first == last)
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

// The position or duration field: the plain form, then once more with a decimal comma
// read as a point, else 0.
double playerNumber(const QString& field)
{
    const QString text = trimmedBlanks(field);
    if (const auto value = decimal(text))
        return *value;
    QString withPoints = text;
    withPoints.replace(u',', u'.');
    return decimal(withPoints).value_or(0);
}

double finiteOrZero(double value)
{
    return std::isfinite(value) ? value : 0;
}

} // namespace

// MARK: NowPlayingTrack

double NowPlayingTrack::position(double now) const
{
    // A `now` before the anchor counts as no time passed.
    double elapsed = now - anchorTime;
    if (!(elapsed > 0))
        elapsed = 0;
    double p = finiteOrZero(anchor) + finiteOrZero(rate) * elapsed;
    if (std::isnan(p))
        p = 0;
    if (isKnownLength(duration))
        return clamped(p, 0.0, duration);
    // Unknown length: no upper bound, but an infinite run stays a number.
    return clamped(p, 0.0, std::numeric_limits<double>::max());
}

double NowPlayingTrack::progress(double now) const
{
    if (!isKnownLength(duration))
        return 0;
    return clamped(position(now) / duration, 0.0, 1.0);
}

double NowPlayingTrack::drift(double expected, double now) const
{
    return std::abs(position(now) - expected);
}

NowPlayingTrack NowPlayingTrack::anchored(double position, double time) const
{
    NowPlayingTrack copy = *this;
    copy.anchor = position;
    copy.anchorTime = time;
    return copy;
}

QString NowPlayingTrack::trackIdentity() const
{
    const QString bar = QStringLiteral("|");
    if (identity && !identity->isEmpty())
        return rawValue(source) + bar + *identity;
    return rawValue(source) + bar + title + bar + artist + bar + album;
}

QString NowPlayingTrack::timestamp(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0 || seconds >= oneDay)
        return QStringLiteral("--:--");
    const int s = int(std::floor(seconds));
    if (s < 3600)
        return QString::asprintf("%d:%02d", s % 3600 / 60, s % 60);
    return QString::asprintf("%d:%02d:%02d", s / 3600, s % 3600 / 60, s % 60);
}

QString NowPlayingTrack::elapsedText(double now) const
{
    return timestamp(position(now));
}

QString NowPlayingTrack::remainingText(double now) const
{
    if (!isKnownLength(duration))
        return QStringLiteral("--:--");
    return QStringLiteral("-") + timestamp(std::max(0.0, duration - position(now)));
}

std::optional<NowPlayingTrack::Change> NowPlayingTrack::change(
    const std::optional<NowPlayingTrack>& from, const std::optional<NowPlayingTrack>& to, double now)
{
    if (!from && !to)
        return std::nullopt;
    if (!from)
        return to->isPlaying() ? std::optional(Change::startedPlaying) : std::nullopt;
    if (!to)
        return Change::stopped;
    // A new track that arrives paused is not worth announcing.
    if (from->trackIdentity() != to->trackIdentity())
        return to->isPlaying() ? std::optional(Change::changedTrack) : std::nullopt;
    if (from->isPlaying() && !to->isPlaying())
        return Change::paused;
    if (!from->isPlaying() && to->isPlaying())
        return Change::startedPlaying;
    if (std::abs(from->position(now) - to->position(now)) > seekThreshold)
        return Change::seeked;
    return std::nullopt;
}

template <> std::optional<NowPlayingTrack::Source> fromRawValue<NowPlayingTrack::Source>(QStringView raw)
{
    for (NowPlayingTrack::Source source : kNowPlayingSources)
        if (rawValue(source) == raw)
            return source;
    return std::nullopt;
}

QString rawValue(NowPlayingTrack::Source source)
{
    switch (source) {
    case NowPlayingTrack::Source::appleMusic:
        return QStringLiteral("Music");
    case NowPlayingTrack::Source::spotify:
        return QStringLiteral("Spotify");
    }
    return {};
}

QString bundleID(NowPlayingTrack::Source source)
{
    switch (source) {
    case NowPlayingTrack::Source::appleMusic:
        return QStringLiteral("com.apple.Music");
    case NowPlayingTrack::Source::spotify:
        return QStringLiteral("com.spotify.client");
    }
    return {};
}

// MARK: NowPlayingReading

QString NowPlayingReading::separator()
{
    return QString(QChar(0x1F));
}

NowPlayingReading::Dialect NowPlayingReading::dialect(NowPlayingTrack::Source source)
{
    switch (source) {
    case NowPlayingTrack::Source::appleMusic:
        return { 1.0, QStringLiteral("persistent ID") };
    case NowPlayingTrack::Source::spotify:
        return { 0.001, QStringLiteral("id") }; // the player reports milliseconds
    }
    return {};
}

std::optional<NowPlayingTrack> NowPlayingReading::parse(
    const QString& reply, NowPlayingTrack::Source source, double now)
{
    const QString text = reply.trimmed();
    if (text.isEmpty() || text == u"none")
        return std::nullopt;
    const QStringList fields = text.split(QChar(0x1F), Qt::KeepEmptyParts);
    if (fields.size() < 6 || fields[1].isEmpty())
        return std::nullopt;

    double position = playerNumber(fields[4]);
    if (!std::isfinite(position) || !(position > 0))
        position = 0;
    double duration = playerNumber(fields[5]) * dialect(source).durationScale;
    if (!std::isfinite(duration) || duration < 0 || duration >= oneDay)
        duration = 0;

    NowPlayingTrack track;
    track.source = source;
    track.title = fields[1];
    track.artist = fields[2];
    track.album = fields[3];
    track.rate = fields[0].toLower().startsWith(u"playing") ? 1.0 : 0.0;
    track.anchor = position;
    track.anchorTime = now;
    track.duration = duration;
    if (fields.size() >= 7 && !fields[6].isEmpty())
        track.identity = fields[6];
    return track;
}

} // namespace nimbra
