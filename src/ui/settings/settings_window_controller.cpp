#include "ui/settings/settings_window_controller.h"

#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "core/uptime.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"
#include "ui/settings/window_presenter.h"

#include <QEvent>
#include <QPalette>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace nimbra {

SettingsWindowController::SettingsWindowController(NimbraSettings& settings, std::function<QString()> displaySummary,
    std::function<void(bool)> onLaunchAtLoginChange, std::function<bool(bool)> onHUDChange,
    std::function<bool()> isAccessibilityGranted, std::function<void()> onRequestAccessibility,
    std::function<std::optional<NotchGeometry>()> liveGeometry, std::function<LiveLevels()> liveLevels, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_displaySummary(std::move(displaySummary))
    , m_onLaunchAtLoginChange(std::move(onLaunchAtLoginChange))
    , m_onHUDChange(std::move(onHUDChange))
    , m_isAccessibilityGranted(std::move(isAccessibilityGranted))
    , m_onRequestAccessibility(std::move(onRequestAccessibility))
    , m_liveGeometry(std::move(liveGeometry))
    , m_liveLevels(std::move(liveLevels))
{
}

SettingsWindowController::~SettingsWindowController()
{
    delete m_window;
}

SettingsView* SettingsWindowController::view() const
{
    return m_view;
}

SettingsView* SettingsWindowController::makeView()
{
    // Snapshots: the pages do not ask again while this view lives.
    SettingsView::Inputs inputs {
        .displaySummary = m_displaySummary ? m_displaySummary() : QString(),
        .onLaunchAtLoginChange = m_onLaunchAtLoginChange,
        .onHUDChange = m_onHUDChange,
        .isAccessibilityGranted = m_isAccessibilityGranted,
        .onRequestAccessibility = m_onRequestAccessibility,
        .liveGeometry = m_liveGeometry ? m_liveGeometry() : std::nullopt,
        .levels = m_liveLevels ? m_liveLevels() : LiveLevels {},
        .systemIsDark = systemIsDark ? systemIsDark() : false,
        .checkForUpdates = checkForUpdates,
        .updatesUnavailable = updatesUnavailable ? updatesUnavailable() : QString(),
        .keyboardStatus = keyboardStatus,
        .isShortcutHeldElsewhere = isShortcutHeldElsewhere,
    };
    ++m_viewsBuilt;
    return new SettingsView(m_settings, std::move(inputs));
}

void SettingsWindowController::keyboardChanged()
{
    if (m_view)
        m_view->refreshAccessibility();
}

void SettingsWindowController::show()
{
    m_requestedAt = uptime();
    if (!m_window) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("NimbraSettings"));
        window->setWindowTitle(QStringLiteral("Nimbra Settings"));
        // Pop-ups (the clock menu) take the window's palette too.
        window->setAttribute(Qt::WA_WindowPropagation);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        window->resize(width, height);
        // Centred once; later shows leave it where the user put it.
        window_presenter::centre(window, QSize(width, height));
        // Ctrl+W closes it, as it does other settings windows of the desktop.
        auto* close = new QShortcut(QKeySequence::Close, window);
        connect(close, &QShortcut::activated, window, &QWidget::close);
        window->installEventFilter(this);
        m_window = window;
    }
    // A new view every time: the page, the draft and the snapshots start over.
    SettingsView* fresh = makeView();
    if (m_view) {
        m_window->layout()->removeWidget(m_view);
        delete m_view;
    }
    m_view = fresh;
    m_window->layout()->addWidget(fresh);
    settings_style::adoptStyle(m_window);
    applyAppearanceNow();

    window_presenter::present(m_window);
}

bool SettingsWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // The window paints before everything in it; a turn later the whole frame is out.
    if (watched == m_window && event->type() == QEvent::Paint && m_requestedAt >= 0) {
        const double requestedAt = m_requestedAt;
        const bool cold = m_viewsBuilt == 1;
        m_requestedAt = -1;
        QTimer::singleShot(0, this, [requestedAt, cold] {
            Diagnostics::log(Diagnostics::Category::display, [&] {
                return QStringLiteral("settings window first frame %1 ms after the request (%2)")
                    .arg((uptime() - requestedAt) * 1000, 0, 'f', 1)
                    .arg(cold ? u"cold" : u"warm");
            });
        });
    }
    return QObject::eventFilter(watched, event);
}

void SettingsWindowController::applyAppearanceNow()
{
    if (!m_window)
        return;
    const bool desktopDark = systemIsDark ? systemIsDark() : false;
    const bool dark = isDark(m_settings.appearance(), desktopDark);
    const QPalette palette = settings_style::palette(dark);
    if (m_window->palette() != palette || !m_window->testAttribute(Qt::WA_SetPalette))
        m_window->setPalette(palette);
    if (m_view)
        m_view->setSystemIsDark(desktopDark);
}

} // namespace nimbra
