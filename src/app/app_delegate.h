#pragma once

#include <QObject>

namespace nimbra {

// The composition root: owns every component for the whole run, wires their callbacks
// and runs the launch and stop sequences.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    // NIMBRA_UNREGISTER_LOGIN is exactly "1": the run only removes the login item and quits.
    static bool unregisterModeRequested();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Another start of Nimbra handed over to this one.
    bool applicationShouldHandleReopen();

private:
    bool terminated_ = false;
};

} // namespace nimbra
