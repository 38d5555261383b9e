#pragma once

#include "platform/pointer_watch.h"

#include <QObject>
#include <QPoint>
#include <QTimer>
#include <optional>
#include <xcb/xcb.h>

namespace nimbra {

class X11InputBridge;

// The pointer through the one X11 input bridge: XInput2 raw motion and raw button presses on
// the root window, which arrive only while the pointer moves or a button goes down. The first
// move after a rest is reported at once; then, while the pointer keeps moving, raw motion is
// left unselected and the place is polled once a report interval (a fast mouse sends hundreds
// of raw events a second, each a wake-up), until a poll finds it still and raw motion is
// selected again. Each report is one pointer query, which `location()` then returns.
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

    // Raw events seen, and reports made (for the benchmarks).
    int rawEvents() const { return m_rawEvents; }
    // Whether the pointer is followed by polling (raw motion unselected) rather than by events.
    bool isPolling() const { return m_poll.isActive(); }
    int reports() const { return m_reports; }

private:
    void rawEvent(const xcb_ge_generic_event_t* event);
    void deliver();
    void reportMove();
    void poll();
    bool select();
    std::optional<QPoint> query();
    // Whether the pointer is over one of this process's windows (their frames included).
    bool isOverOwnWindow();

    X11InputBridge& m_bridge;
    std::function<void()> m_onMove;
    std::function<void(bool)> m_onClick;
    bool m_selected = false;
    bool m_motionSelected = false;
    bool m_moved = false;
    // While the pointer moves: the poll for the next report, and the place it found.
    QTimer m_poll;
    std::optional<QPoint> m_lastPlace;
    std::optional<QPoint> m_reportedPlace;
    // Buttons pressed since the last report, in order: false left, true right.
    std::vector<bool> m_presses;
    int m_rawEvents = 0;
    int m_reports = 0;
};

} // namespace nimbra
