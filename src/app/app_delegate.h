#pragma once

#include <QObject>

namespace nimbra {

class NimbraSettings;

// The composition root: owns every long-lived component for the whole run, starts them in
// one fixed order, installs the callbacks through which they report back, pushes the settings
// into them (again after every observed change) and stops them at termination.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // `settings` defaults to the shared store of the run.
    explicit AppDelegate(NimbraSettings* settings = nullptr, QObject* parent = nullptr);
    ~AppDelegate() override;

    // NIMBRA_UNREGISTER_LOGIN is exactly "1": the run only removes the login item and quits.
    static bool unregisterModeRequested();

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Another start of Nimbra handed over to this one.
    bool applicationShouldHandleReopen();

    NimbraSettings& settings() const { return settings_; }

private:
    int runUnregisterMode();

    NimbraSettings& settings_;
    bool launched_ = false;
    bool terminated_ = false;
};

} // namespace nimbra
