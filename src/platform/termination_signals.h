#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace nimbra {

// Turns SIGTERM and SIGINT into a callback on the main loop (self-pipe), so that the
// application's orderly stop sequence runs and no grab or input shape is left behind.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    std::function<void(int signal)> onSignal;

private:
    void drain();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace nimbra
