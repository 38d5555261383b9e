#pragma once

#include "core/presentation.h"
#include "ui/surface/notch_theme.h"

#include <QObject>
#include <memory>

class QWidget;

namespace nimbra {

class AppearancePortal;
class DisplayCoordinator;
class NimbraSettings;
class SettingsObservation;
struct SurfaceContext;

// The composition root: owns every long-lived component for the whole run, starts them in
// one fixed order, installs the callbacks through which they report back, pushes the settings
// into them (again after every observed change) and stops them at termination.
//
// Its operations live in one file per concern: launch and stop (app_delegate.cpp), settings
// application (settings_application.cpp) and surface content (surface_content.cpp).
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

    // Pushes every setting into the components: once at launch, then after each observed change.
    void applySettings();
    void applyClipboardSettings();
    NotchTheme currentTheme() const;

    // The content builder every notch asks for the view of its surface.
    QWidget* view(const Presentation::Surface& surface, const SurfaceContext& context);

    NimbraSettings& settings() const { return settings_; }
    DisplayCoordinator* coordinator() const { return coordinator_.get(); }
    // Settings re-applications so far (the one at launch included).
    int settingsApplications() const { return settingsApplications_; }

private:
    int runUnregisterMode();

    NimbraSettings& settings_;
    std::unique_ptr<AppearancePortal> appearance_;
    std::unique_ptr<DisplayCoordinator> coordinator_;
    std::unique_ptr<SettingsObservation> observation_;
    int settingsApplications_ = 0;
    bool launched_ = false;
    bool terminated_ = false;
};

} // namespace nimbra
