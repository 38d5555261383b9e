// The players' status script replies are text from another process: parse whatever arrives.
#include "core/now_playing.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(const QString& reply, nimbra::NowPlayingTrack::Source source)
{
    using nimbra::NowPlayingTrack;
    constexpr double now = 1000;
    const auto track = nimbra::NowPlayingReading::parse(reply, source, now);
    if (!track)
        return;
    // What parses is a usable observation: a title, a finite anchor and a plausible length.
    if (track->title.isEmpty() || track->source != source || track->anchorTime != now)
        std::abort();
    if (!std::isfinite(track->anchor) || track->anchor < 0)
        std::abort();
    if (!std::isfinite(track->duration) || track->duration < 0 || track->duration >= 86400)
        std::abort();
    if (track->rate != 0.0 && track->rate != 1.0)
        std::abort();
    if (track->identity && track->identity->isEmpty())
        std::abort();
    for (double later : { now, now + 0.5, now + 1e6, -now }) {
        const double position = track->position(later);
        const double progress = track->progress(later);
        if (!std::isfinite(position) || position < 0 || !(progress >= 0 && progress <= 1))
            std::abort();
        if (track->elapsedText(later).isEmpty() || track->remainingText(later).isEmpty())
            std::abort();
    }
    if (!track->trackIdentity().startsWith(rawValue(source) + QLatin1Char('|')))
        std::abort();
    if (NowPlayingTrack::change(track, track, now + 3).has_value())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const qsizetype length = static_cast<qsizetype>(size);
    for (const QString& reply : { QString::fromUtf8(bytes, length), QString::fromLatin1(bytes, length) }) {
        check(reply, nimbra::NowPlayingTrack::Source::appleMusic);
        check(reply, nimbra::NowPlayingTrack::Source::spotify);
    }
    return 0;
}
