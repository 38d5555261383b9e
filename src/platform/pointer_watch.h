#pragma once

#include <QPointF>
#include <functional>

namespace nimbra {

// The pointer and the mouse buttons anywhere on screen, as the menu-bar eyes watch them.
// Positions are model coordinates (y up, origin at the primary screen's bottom-left).
// Reports come only while the pointer moves or a button goes down: nothing is polled while it
// rests.
class PointerWatch {
public:
    virtual ~PointerWatch() = default;

    // A moving pointer is reported at most this often, however many moves a fast mouse sends:
    // nothing that watches it draws faster.
    static constexpr double fastestMoveReports = 1.0 / 30;

    // Where the pointer is now.
    virtual QPointF location() = 0;

    // Reports every pointer move; false when the display server refuses to report them.
    virtual bool watchMoves(std::function<void()> onMove) = 0;
    virtual void stopMoves() = 0;

    // Reports left and right button presses outside Nimbra's own windows; false when refused.
    virtual bool watchClicks(std::function<void(bool rightButton)> onClick) = 0;
    virtual void stopClicks() = 0;
};

} // namespace nimbra
