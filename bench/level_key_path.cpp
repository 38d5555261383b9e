// A media key to the level it changed: XTest presses volume up or down on the X server, the grab
// delivers it, the sound server's sink is written and onChange fires. Run inside
// tests/support/harness.sh (it needs DISPLAY and PULSE_SERVER); the figure is the key path's
// share of the budget of one 120 Hz frame (8.3 ms) before the readout paints.
#include "event_loop.h"
#include "modules/level/system_level_monitor.h"
#include "platform/x11/x11_input_bridge.h"

#include "gui_bench_main.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

using namespace nimbra;

using nimbra::bench::runUntil;

namespace {

xcb_keycode_t keycodeOf(xcb_connection_t* connection, MediaKey key)
{
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym(key));
    const xcb_keycode_t code = codes ? codes[0] : 0;
    free(codes);
    xcb_key_symbols_free(symbols);
    return code;
}

void keyToLevel(benchmark::State& state)
{
    X11InputBridge input;
    SystemLevelMonitor monitor(SystemLevelMonitor::Sources { .input = &input });
    int changes = 0;
    monitor.onChange = [&](const SystemLevel&) { ++changes; };
    if (!runUntil([&] { return monitor.read(SystemLevel::Kind::volume).has_value(); }, 5000)) {
        state.SkipWithError("no sound sink (run inside tests/support/harness.sh)");
        return;
    }
    if (!monitor.startIntercepting() || !monitor.interceptedKeys().count(MediaKey::raiseVolume)) {
        state.SkipWithError("media keys cannot be taken on this display");
        return;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_keycode_t up = keycodeOf(connection, MediaKey::raiseVolume);
    const xcb_keycode_t down = keycodeOf(connection, MediaKey::lowerVolume);
    bool raise = true;
    for (auto _ : state) {
        const int before = changes;
        const auto start = std::chrono::steady_clock::now();
        const xcb_keycode_t code = raise ? up : down;
        raise = !raise;
        xcb_test_fake_input(connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_test_fake_input(connection, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, root, 0, 0, 0);
        xcb_flush(connection);
        if (!runUntil([&] { return changes > before; }, 2000)) {
            state.SkipWithError("a key press got lost");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    xcb_disconnect(connection);
    monitor.stopIntercepting();
}

BENCHMARK(keyToLevel)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace

int main(int argc, char** argv)
{
    return nimbra::bench::runEventLoopBenchmarks(argc, argv);
}
