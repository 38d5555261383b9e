// The first readout after launch, against the budget of one 120 Hz frame (8.3 ms): Nimbra runs
// as its own process on a private Xvfb and sound server, the sink's volume is changed from
// outside (as a desktop's own volume control would), and the figures come from its diagnostics
// log (uptime stamps, 1 ms resolution):
//   first_ms      level change to the first frame of the readout handed to the screen, for the
//                 first readout of each launch (mean over the launches; first_max_ms the worst),
//   later_ms      the same for a second readout of the same run,
//   idle_rss_mb   resident memory of the idle application just before the first readout (its
//                 own and the pages of files it maps), idle_private_mb its own only,
//   prepared_kb   what preparing the readouts at launch added to its own memory, and
//   prepared_shared_kb what it added in pages of shared files (font caches, fonts, the icon
//                 library); the application's own report, absent when it prepares nothing.
#include "core/uptime.h"
#include "support/nimbra_process.h"
#include "support/private_servers.h"
#include "support/test_support.h"

#include "gui_bench_main.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <benchmark/benchmark.h>

using namespace nimbra;

namespace {

// The stamp of the first line matching `pattern` at or after `from`; -1 when none.
double stampAfter(const QString& log, const QString& pattern, qsizetype from, qsizetype* end = nullptr)
{
    const QRegularExpression line(R"(\[\s*([\d.]+)\] [^\n]*)" + pattern);
    const auto match = line.match(log, from);
    if (!match.hasMatch())
        return -1;
    if (end)
        *end = match.capturedEnd();
    return match.captured(1).toDouble();
}

// One figure of /proc/<pid>/status in megabytes ("VmRSS", "RssAnon"), or -1.
double statusMegabytes(qint64 pid, const char* field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression figure(QString::fromLatin1(field) + R"(:\s*(\d+) kB)");
    const auto match = figure.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024 : -1;
}

// Sets the sink's volume and waits for the readout it causes to come and go; the milliseconds
// from the level change to its first frame on screen, or -1.
double readout(test::PrivatePulse& pulse, test::NimbraProcess& nimbra, int percent, qsizetype* from)
{
    const QString shown = QRegularExpression::escape("dormant -> activity(systemLevel, p40)");
    const QString painted = QRegularExpression::escape("surface first frame of activity(systemLevel, p40) content");
    const QString gone = QRegularExpression::escape("activity(systemLevel, p40) -> dormant");
    if (!pulse.pactl({ "set-sink-volume", "nimbra_null", QString::number(percent) + "%" }))
        return -1;
    qsizetype end = 0;
    if (!test::waitUntil([&] { return stampAfter(nimbra.log(), gone, *from, &end) > 0; }, 5000))
        return -1;
    const QString log = nimbra.log();
    const double shownAt = stampAfter(log, shown, *from);
    const double paintedAt = stampAfter(log, painted, *from);
    const double goneAt = stampAfter(log, gone, *from);
    *from = end;
    // The next readout may begin once the gap after this one has passed.
    test::waitUntil([&] { return uptime() > goneAt + 0.25; }, 2000);
    return shownAt > 0 && paintedAt >= shownAt ? (paintedAt - shownAt) * 1000 : -1;
}

void firstReadout(benchmark::State& state)
{
    test::PrivateX x;
    test::PrivatePulse pulse;
    if (!x.isRunning() || !pulse.isRunning()) {
        state.SkipWithError("Xvfb or PulseAudio did not start");
        return;
    }
    std::vector<double> first, later, idle, idlePrivate, prepared, preparedShared;
    int percent = 20;
    for (auto _ : state) {
        pulse.pactl({ "set-sink-volume", "nimbra_null", QString::number(percent) + "%" });
        test::NimbraProcess nimbra(R"({ "module.hud.replacement": true, "display.showOnAll": true })");
        if (!nimbra.start({ "DISPLAY=" + x.display(), "PULSE_SERVER=" + pulse.address() })
            || !nimbra.waitForLog("observing volume on device ", 10000)) {
            state.SkipWithError("Nimbra did not start");
            return;
        }
        // Launch work done: the readouts are prepared (or, without that step, a moment passed).
        nimbra.waitForLog("surface prepared readouts in ", 3000);
        const QRegularExpression report(
            R"(surface prepared readouts in [\d.]+ ms, ([-\d]+) kB of its own and ([-\d]+) kB of shared files)");
        if (const auto match = report.match(nimbra.log()); match.hasMatch()) {
            prepared.push_back(match.captured(1).toDouble());
            preparedShared.push_back(match.captured(2).toDouble());
        }
        idle.push_back(statusMegabytes(nimbra.process().processId(), "VmRSS"));
        idlePrivate.push_back(statusMegabytes(nimbra.process().processId(), "RssAnon"));
        qsizetype from = 0;
        const double one = readout(pulse, nimbra, percent += 5, &from);
        const double two = readout(pulse, nimbra, percent += 5, &from);
        nimbra.terminate();
        if (one < 0 || two < 0) {
            state.SkipWithError("a readout did not come and go");
            return;
        }
        first.push_back(one);
        later.push_back(two);
        state.SetIterationTime(one / 1000);
        percent = percent > 80 ? 20 : percent;
    }
    const auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v)
            sum += x;
        return v.empty() ? -1 : sum / double(v.size());
    };
    state.counters["first_ms"] = mean(first);
    state.counters["first_max_ms"] = first.empty() ? -1 : *std::max_element(first.begin(), first.end());
    state.counters["later_ms"] = mean(later);
    state.counters["idle_rss_mb"] = mean(idle);
    state.counters["idle_private_mb"] = mean(idlePrivate);
    if (!prepared.empty()) {
        state.counters["prepared_kb"] = mean(prepared);
        state.counters["prepared_shared_kb"] = mean(preparedShared);
    }
}

BENCHMARK(firstReadout)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return nimbra::bench::runEventLoopBenchmarks(argc, argv);
}
