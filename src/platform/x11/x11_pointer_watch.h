#pragma once

#include "platform/pointer_watch.h"

#include <QObject>
#include <xcb/xcb.h>

namespace nimbra {

class X11InputBridge;

// The pointer through the one X11 input bridge: XInput2 raw motion and raw button presses on
// the root window, which arrive only while the pointer moves or a button goes down. The raw
// events read together make one report (a fast mouse sends hundreds a second); the place is
// read by a pointer query when asked for, so a watcher that wants it once a frame asks once.
class X11PointerWatch final : public QObject, public PointerWatch {
    Q_OBJECT
public:
    explicit X11PointerWatch(X11InputBridge& bridge, QObject* parent = nullptr);
    ~X11PointerWatch() override;

    QPointF location() override;
    bool watchMoves(std::function<void()> onMove) override;
    void stopMoves() override;
    bool watchClicks(std::function<void(bool rightButton)> onClick) override;
    void stopClicks() override;

    // Raw events seen, and reports made from them (for the benchmarks).
    int rawEvents() const { return m_rawEvents; }
    int reports() const { return m_reports; }

private:
    void rawEvent(const xcb_ge_generic_event_t* event);
    void deliver();
    bool select();
    // Whether the pointer is over one of this process's windows (their frames included).
    bool isOverOwnWindow();

    X11InputBridge& m_bridge;
    std::function<void()> m_onMove;
    std::function<void(bool)> m_onClick;
    bool m_selected = false;
    bool m_moved = false;
    // Buttons pressed since the last report, in order: false left, true right.
    std::vector<bool> m_presses;
    int m_rawEvents = 0;
    int m_reports = 0;
};

} // namespace nimbra
