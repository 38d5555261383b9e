#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/diagnostics.h"
#include "core/nimbra_settings.h"
#include "modules/clipboard/clipboard_monitor.h"
#include "platform/x11/active_window.h"
#include "platform/x11/window_shape.h"
#include "platform/x11/x11_input_bridge.h"
#include "ui/surface/notch_panel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace nimbra {

namespace {

void log(const QString& message)
{
    Diagnostics::log(Diagnostics::Category::clipboard, [&] { return message; });
}

// Hands every key press of the application to the delegate's clipboard keys first.
class KeyMonitor final : public QObject {
public:
    explicit KeyMonitor(AppDelegate* delegate)
        : m_delegate(delegate)
    {
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !m_delegate)
            return false;
        return m_delegate->handleClipboardKey(receiver, *static_cast<QKeyEvent*>(event));
    }

private:
    QPointer<AppDelegate> m_delegate;
};

} // namespace

void AppDelegate::installKeyMonitor()
{
    if (m_keyMonitor)
        return;
    m_keyMonitor = std::make_unique<KeyMonitor>(this);
    QCoreApplication::instance()->installEventFilter(m_keyMonitor.get());
}

bool AppDelegate::handleClipboardKey(QObject* receiver, const QKeyEvent& event)
{
    if (m_tab != NotchSurfaceTab::clipboard || !m_coordinator)
        return false;
    // Only keys typed into a notch: the keys of any other window of Nimbra are that window's.
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    if (!widget || !qobject_cast<const NotchPanel*>(widget->window()))
        return false;
    m_coordinator->noteInteraction();

    const QList<ClipboardItem> items = m_clipboard->store().filtered(m_clipboardQuery);
    const int key = event.key();
    if (items.isEmpty() && key != Qt::Key_Escape)
        return false;
    qsizetype index = 0;
    if (m_clipboardSelection) {
        const auto found = std::find_if(
            items.cbegin(), items.cend(), [&](const ClipboardItem& item) { return item.id == *m_clipboardSelection; });
        if (found != items.cend())
            index = found - items.cbegin();
    }

    switch (key) {
    case Qt::Key_Up:
        m_clipboardSelection = items[std::max<qsizetype>(index, 1) - 1].id;
        m_coordinator->refreshContent();
        return true;
    case Qt::Key_Down:
        m_clipboardSelection = items[std::min(index + 1, items.size() - 1)].id;
        m_coordinator->refreshContent();
        return true;
    case Qt::Key_Escape:
        m_coordinator->collapse();
        return true;
    case Qt::Key_Backspace:
        // Without Ctrl the key edits the search text.
        if (!(event.modifiers() & Qt::ControlModifier))
            return false;
        if (m_clipboardSelection) {
            m_clipboard->store().remove(*m_clipboardSelection);
            if (m_clipboard->onChange)
                m_clipboard->onChange();
            normaliseSelection();
        }
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_clipboardSelection)
            paste(*m_clipboardSelection);
        return true;
    default:
        return false;
    }
}

void AppDelegate::watchDeactivation()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app && !m_deactivationWatcher) {
        QPointer<AppDelegate> self(this);
        // The window Nimbra had the focus in last: the one it leaves from when it goes inactive.
        m_focusWatcher = connect(app, &QGuiApplication::focusWindowChanged, this, [self](QWindow* window) {
            if (self && window)
                self->m_lastFocusWindow = window;
        });
        m_deactivationWatcher
            = connect(app, &QGuiApplication::applicationStateChanged, this, [self](Qt::ApplicationState state) {
                  if (self && state != Qt::ApplicationActive)
                      self->resignedActive();
              });
    }
}

void AppDelegate::resignedActive()
{
    if (!m_coordinator)
        return;
    // A notch that gave the keyboard back itself, to the application it came from (another tab
    // was chosen), leaves Nimbra inactive as well: its surface stays open for the user using it.
    if (m_coordinator->gaveKeyboardBack(m_lastFocusWindow)) {
        Diagnostics::log(Diagnostics::Category::surface, "inactive: the notch gave the keyboard back");
        return;
    }
    // Clicking anywhere outside Nimbra takes the keyboard away, and closes the surface with it.
    Diagnostics::log(Diagnostics::Category::surface, "inactive: collapsing");
    m_coordinator->collapse();
}

void AppDelegate::setClipboardQuery(const QString& query)
{
    if (m_coordinator)
        m_coordinator->noteInteraction();
    m_clipboardQuery = query;
    normaliseSelection();
    if (m_coordinator)
        m_coordinator->refreshContent();
}

void AppDelegate::normaliseSelection()
{
    const QList<ClipboardItem> items = m_clipboard->store().filtered(m_clipboardQuery);
    if (m_clipboardSelection) {
        for (const ClipboardItem& item : items) {
            if (item.id == *m_clipboardSelection)
                return;
        }
    }
    m_clipboardSelection = items.isEmpty() ? std::nullopt : std::optional(items.first().id);
    if (m_coordinator)
        m_coordinator->refreshContent();
}

void AppDelegate::openClipboard()
{
    if (!m_settings.clipboardEnabled() || !m_coordinator)
        return;
    m_tab = NotchSurfaceTab::clipboard;
    resetClipboardTab();
    m_coordinator->open(ClipboardMonitor::moduleID, true);
}

void AppDelegate::watchFrontmostApp()
{
    m_frontmost->start();
    // An entry remembers the application it was copied in.
    QPointer<AppDelegate> self(this);
    m_clipboard->sourceApplication = [self]() -> std::optional<QString> {
        if (!self || !self->m_frontmost->pasteTarget() || self->m_frontmost->pasteTarget()->appId.isEmpty())
            return std::nullopt;
        return self->m_frontmost->pasteTarget()->appId;
    };
}

void AppDelegate::paste(const QUuid& id)
{
    if (!m_clipboard->copyToPasteboard(id))
        return;
    if (m_coordinator)
        m_coordinator->collapse();
    // A paste still waiting for its window gives way to this one.
    m_pasteLimit.stop();
    m_frontmost->cancelHandBack();
    // Synthetic keys need a trusted X server, and Nimbra's own windows on it: without them
    // there is no application in front to paste into.
    if (!m_input->trust().isTrusted() || !x11::isAvailable()) {
        log(QStringLiteral("no Accessibility; copied instead of pasting"));
        return;
    }
    const std::optional<ActiveApplication> target = m_frontmost->pasteTarget();
    QPointer<AppDelegate> self(this);
    if (!target) {
        // Nobody to hand the keyboard back to: the keys go to whatever is in front once the
        // surface has closed.
        QTimer::singleShot(200, this, [self] {
            if (self)
                self->sendPasteKeys(QString(), false);
        });
        return;
    }
    // The keys go out only once the application that was in front holds the keyboard again: a
    // window manager slowed by a busy machine would otherwise let them land in another window.
    m_pasteTargetName = target->name;
    m_pasteLimit.start(pasteHandBackLimit);
    m_frontmost->handBack(*target, [self, target] {
        if (!self)
            return;
        self->m_pasteLimit.stop();
        self->sendPasteKeys(target->name, target->isTerminal());
    });
}

void AppDelegate::pasteTargetStayedAway()
{
    m_frontmost->cancelHandBack();
    log(m_pasteTargetName + QStringLiteral(" did not take the keyboard back; copied instead of pasting"));
}

void AppDelegate::sendPasteKeys(const QString& target, bool terminal)
{
    const auto keycode = [this](std::uint32_t keysym) -> std::optional<std::uint8_t> {
        const std::vector<std::uint8_t> codes = m_input->keycodes(keysym);
        return codes.empty() ? std::nullopt : std::optional(codes.front());
    };
    constexpr std::uint32_t controlL = 0xffe3, shiftL = 0xffe1, v = 0x76;
    const auto control = keycode(controlL), shift = keycode(shiftL), letter = keycode(v);
    if (!control || !letter || (terminal && !shift)) {
        log(QStringLiteral("paste failed: the keyboard map has no key for Control, Shift or V"));
        return;
    }
    // A terminal takes Ctrl+V as a control character: it pastes with Ctrl+Shift+V.
    std::vector<std::uint8_t> held { *control };
    if (terminal)
        held.push_back(*shift);
    bool sent = true;
    for (std::uint8_t key : held)
        sent = m_input->injectKey(key, true) && sent;
    sent = m_input->injectKey(*letter, true) && sent;
    sent = m_input->injectKey(*letter, false) && sent;
    for (auto key = held.rbegin(); key != held.rend(); ++key)
        sent = m_input->injectKey(*key, false) && sent;
    if (!sent) {
        log(QStringLiteral("paste failed: the X server took no synthetic keys"));
        return;
    }
    log(QStringLiteral("pasted into ") + (target.isEmpty() ? QStringLiteral("the frontmost app") : target));
}

} // namespace nimbra
