// The whole application from a volume-up key press to the readout on screen: Nimbra runs as
// its own process on a private Xvfb and sound server, XTest presses the key, and the figures
// come from its diagnostics log (uptime stamps, 1 ms resolution):
//   shown_ms   key press to the readout entering the notch,
//   painted_ms key press to the first painted frame of the readout's content,
// for the first readout after launch and for later ones. Each iteration waits for the readout to
// go, and the gap the notch keeps between two readouts to pass, before the next press, so
// every press lands a fresh readout at once.
#include "core/uptime.h"
#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include "gui_bench_main.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <benchmark/benchmark.h>

using namespace nimbra;

namespace {

constexpr std::uint32_t raiseVolumeKey = 0x1008FF13;

// The stamp of the first line matching `pattern` at or after `from`; -1 when none.
double stampAfter(const QString& log, const QString& pattern, qsizetype from, qsizetype* end)
{
    const QRegularExpression line(R"(\[\s*([\d.]+)\] [^\n]*)" + pattern);
    const auto match = line.match(log, from);
    if (!match.hasMatch())
        return -1;
    *end = match.capturedEnd();
    return match.captured(1).toDouble();
}

void keyToReadout(benchmark::State& state)
{
    test::PrivateX x;
    test::PrivatePulse pulse;
    if (!x.isRunning() || !pulse.isRunning() || !pulse.pactl({ "set-sink-volume", "nimbra_null", "20%" })) {
        state.SkipWithError("Xvfb or PulseAudio did not start");
        return;
    }
    test::NimbraProcess nimbra(R"({ "module.hud.replacement": true, "display.showOnAll": true })");
    if (!nimbra.start({ "DISPLAY=" + x.display(), "PULSE_SERVER=" + pulse.address() })
        || !nimbra.waitForLog("intercepting media keys\n", 10000)
        || !nimbra.waitForLog("observing volume on device ", 10000)) {
        state.SkipWithError("Nimbra did not take the media keys");
        return;
    }
    const QString shown = QRegularExpression::escape("dormant -> activity(systemLevel, p40)");
    const QString painted = QRegularExpression::escape("surface first frame of activity(systemLevel, p40) content");
    const QString gone = QRegularExpression::escape("activity(systemLevel, p40) -> dormant");
    double first[2] = { -1, -1 }, laterSum[2] = { 0, 0 };
    int later = 0;
    qsizetype from = 0;
    for (auto _ : state) {
        const double pressedAt = uptime();
        if (!x.tap({ raiseVolumeKey })) {
            state.SkipWithError("no key code for volume up");
            return;
        }
        qsizetype end = 0;
        if (!test::waitUntil([&] { return stampAfter(nimbra.log(), gone, from, &end) > 0; }, 5000)) {
            state.SkipWithError("the readout did not come and go");
            return;
        }
        const QString log = nimbra.log();
        qsizetype at = 0;
        const double figures[2] = { (stampAfter(log, shown, from, &at) - pressedAt) * 1000,
            (stampAfter(log, painted, from, &at) - pressedAt) * 1000 };
        qsizetype goneEnd = 0;
        const double goneAt = stampAfter(log, gone, from, &goneEnd);
        from = end;
        state.SetIterationTime(figures[1] / 1000);
        // The next readout would wait out the gap between two activities (0.12 s) first: press
        // only once it has passed, so that the figure is the path of a key to a fresh readout.
        test::waitUntil([&] { return uptime() > goneAt + 0.2; });
        if (first[0] < 0) {
            first[0] = figures[0];
            first[1] = figures[1];
        } else {
            laterSum[0] += figures[0];
            laterSum[1] += figures[1];
            ++later;
        }
    }
    state.counters["first_shown_ms"] = first[0];
    state.counters["first_painted_ms"] = first[1];
    if (later > 0) {
        state.counters["later_shown_ms"] = laterSum[0] / later;
        state.counters["later_painted_ms"] = laterSum[1] / later;
    }
    nimbra.terminate();
}

BENCHMARK(keyToReadout)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

} // namespace

int main(int argc, char** argv)
{
    return nimbra::bench::runEventLoopBenchmarks(argc, argv);
}
