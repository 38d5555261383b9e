#include "ui/onboarding/onboarding_window_controller.h"

#include "ui/settings/settings_style.h"
#include "ui/settings/window_presenter.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace nimbra {

// The window tells its controller when it closes; the controller holds the window, the window
// only reports.
class OnboardingWindowController::Window final : public QWidget {
public:
    explicit Window(std::function<void()> onClose)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
        , m_onClose(std::move(onClose))
    {
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        if (m_onClose)
            m_onClose();
    }

private:
    std::function<void()> m_onClose;
};

OnboardingWindowController::OnboardingWindowController(std::function<bool()> isAccessibilityGranted,
    std::function<void()> onRequestAccessibility, std::function<void()> onFinish, OnboardingView::Context context,
    QObject* parent)
    : QObject(parent)
    , m_isAccessibilityGranted(std::move(isAccessibilityGranted))
    , m_onRequestAccessibility(std::move(onRequestAccessibility))
    , m_onFinish(std::move(onFinish))
    , m_context(std::move(context))
{
    // The quit request reaches the application before it closes the windows.
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

OnboardingWindowController::~OnboardingWindowController()
{
    delete m_window;
}

void OnboardingWindowController::show()
{
    if (!m_window) {
        QPointer<OnboardingWindowController> self(this);
        auto* window = new Window([self] {
            if (self)
                self->closed();
        });
        window->setObjectName(QStringLiteral("NimbraOnboarding"));
        // A plain title bar with no title of its own: the steps say what the window is. (The
        // desktop shows the application's name there, as Qt fills an empty title with it.)
        window->setWindowTitle(QString());
        window->setAttribute(Qt::WA_WindowPropagation);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        // The finishing buttons close the window, and the close reports the end.
        m_view = new OnboardingView(
            m_isAccessibilityGranted, m_onRequestAccessibility,
            [self] {
                if (self && self->m_window)
                    self->m_window->close();
            },
            m_context);
        layout->addWidget(m_view);
        settings_style::adoptStyle(window);
        window->setPalette(settings_style::palette(m_dark));
        // As tall as its tallest step, measured in the style and fonts it shows with.
        const QSize size(width, m_view->fittedHeight());
        window->setFixedSize(size);
        window_presenter::centre(window, size);
        m_window = window;
    }
    window_presenter::present(m_window);
}

void OnboardingWindowController::setDark(bool dark)
{
    m_dark = dark;
    if (m_window)
        m_window->setPalette(settings_style::palette(dark));
}

bool OnboardingWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        m_quitting = true;
        // Runs only if the quit was refused and the application goes on.
        QTimer::singleShot(0, this, [this] { m_quitting = false; });
    }
    return false;
}

void OnboardingWindowController::closed()
{
    if (m_onFinish && !m_quitting)
        m_onFinish();
}

} // namespace nimbra
