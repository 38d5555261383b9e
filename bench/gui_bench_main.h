#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

namespace nimbra::bench {

// The main() of a benchmark that paints widgets: a QApplication (offscreen unless
// QT_QPA_PLATFORM names a platform) around Google Benchmark's own run.
inline int runGuiBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The main() of a benchmark that needs Qt's event loop but no widgets (a sound server's
// replies, another process's log): a QCoreApplication around Google Benchmark's own run.
inline int runEventLoopBenchmarks(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace nimbra::bench
