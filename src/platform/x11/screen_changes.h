#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

// Tells of every change of the X server's screen layout (RandR), on Qt's own connection. Qt turns
// the last monitor to go away into a stand-in screen without a word, so its screen signals alone
// would leave a notch on a monitor that is gone. `onChange` is called while Qt has yet to handle
// the event: act on it in a later turn of the event loop. Does nothing without an X server.
namespace nimbra::x11 {

class ScreenChanges : public QAbstractNativeEventFilter {
public:
    explicit ScreenChanges(std::function<void()> onChange);
    ~ScreenChanges() override;
    ScreenChanges(const ScreenChanges&) = delete;
    ScreenChanges& operator=(const ScreenChanges&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void()> m_onChange;
    std::uint32_t m_root = 0;
    int m_firstRandrEvent = -1;
};

} // namespace nimbra::x11
