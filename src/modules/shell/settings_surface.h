#pragma once

#include "ui/surface/surface_metrics.h"

#include <QAbstractButton>
#include <QWidget>
#include <functional>

namespace nimbra {

// The settings tab: two large buttons, one that opens the settings window and one that quits.
class SettingsSurface : public QWidget {
    Q_OBJECT
public:
    SettingsSurface(const SurfaceMetrics& metrics, std::function<void()> onOpenSettings, std::function<void()> onQuit,
        QWidget* parent = nullptr);

    const SurfaceMetrics& metrics() const { return m_metrics; }
    QAbstractButton* settingsButton() const { return m_settings; }
    QAbstractButton* quitButton() const { return m_quit; }

    std::function<void()> onOpenSettings;
    std::function<void()> onQuit;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    SurfaceMetrics m_metrics;
    QAbstractButton* m_settings;
    QAbstractButton* m_quit;
};

} // namespace nimbra
