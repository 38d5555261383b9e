// The now-playing monitor under a player that floods the bus: the scripted test player sends 300
// track changes and 300 seeks at once, on a private bus of this program's own. Each run's time is
// this process's CPU time (user and system) from the flood until the last track shows and the
// loop has been quiet a moment; beside it, the status questions the monitor had on their way to
// the player after one flood (`questions`, counted while the player held its answers back).
#include "event_loop.h"
#include "modules/now_playing/now_playing_monitor.h"
#include "support/music_players.h"
#include "support/private_servers.h"
#include "wakeups.h"

#include "gui_bench_main.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <benchmark/benchmark.h>

using namespace nimbra;

using nimbra::bench::runUntil;
using nimbra::bench::cpuSeconds;
using nimbra::bench::runFor;

namespace {

constexpr int kChanges = 300;

void flood(benchmark::State& state)
{
    test::PrivateBus bus;
    test::ScriptedPlayer player(bus.address(), "org.mpris.MediaPlayer2.flood");
    if (!bus.isRunning() || !player.isRunning()) {
        state.SkipWithError("no private bus or test player");
        return;
    }
    NowPlayingMonitor monitor;
    monitor.scripting().setConnection(bus.connection());
    QString shown;
    monitor.onChange = [&](const std::optional<NowPlayingTrack>& track, std::optional<NowPlayingTrack::Change>) {
        shown = track ? track->title : QString();
    };
    monitor.start();
    const QString last = QStringLiteral("Flood %1").arg(kChanges);
    const auto calm = [&] {
        return player.show({ { "status", "Playing" },
                   { "metadata", QVariantMap { { "xesam:title", "Calm" }, { "mpris:trackid", "/t/calm" } } } })
            && runUntil([&] { return shown == "Calm"; }, 10000);
    };

    // The questions on their way after one flood, the answers held back.
    if (!calm() || !player.show({ { "hold", true } }) || !player.show({ { "flood", kChanges }, { "seeked", kChanges } })
        || !runUntil([&] { return shown == last; }, 20000)) {
        state.SkipWithError("the monitor did not follow the player");
        return;
    }
    runFor(0.1);
    const QDBusMessage raise
        = QDBusMessage::createMethodCall(player.busName(), MusicScripting::objectPath, "org.mpris.MediaPlayer2", "Raise");
    bus.connection().call(raise, QDBus::Block, 10000);
    state.counters["questions"] = player.heldAnswers();
    player.show({ { "hold", false } });
    runFor(0.2);

    for (auto _ : state) {
        if (!calm()) {
            state.SkipWithError("the monitor did not follow the player");
            return;
        }
        runFor(0.1);
        const double before = cpuSeconds();
        player.show({ { "flood", kChanges }, { "seeked", kChanges } });
        runUntil([&] { return shown == last; }, 20000);
        runFor(0.2);
        state.SetIterationTime(cpuSeconds() - before);
    }
}

} // namespace

BENCHMARK(flood)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    return nimbra::bench::runEventLoopBenchmarks(argc, argv);
}
