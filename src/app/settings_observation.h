#pragma once

#include "core/nimbra_settings.h"

#include <QObject>
#include <functional>
#include <span>

namespace nimbra {

// Watches the settings that the shell pushes into its components. A change to any of them
// queues one re-application for the next turn of the event loop; further changes before it
// runs are covered by it, since it reads every value afresh. Watching resumes after it ran.
// Settings outside the list are read where they are used and trigger nothing.
class SettingsObservation : public QObject {
    Q_OBJECT
public:
    explicit SettingsObservation(NimbraSettings& settings, QObject* parent = nullptr);

    // Called once per queued re-application.
    std::function<void()> onChange;

    // Starts watching; also what every re-application ends with.
    void observe();
    bool isArmed() const { return m_armed; }

    static std::span<const NimbraSettings::Property> observedProperties();

private:
    void settingChanged(NimbraSettings::Property property);
    void reapply();

    bool m_armed = false;
};

} // namespace nimbra
