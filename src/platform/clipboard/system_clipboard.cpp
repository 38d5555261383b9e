#include "platform/clipboard/system_clipboard.h"

#include "core/diagnostics.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>

namespace nimbra {

namespace {

// How long an owner may take to answer one request (the conversion, each incremental piece).
constexpr int answerTimeoutMs = 5000;
// A read that is waiting looks up this often whether Nimbra is stopping.
constexpr int stopCheckMs = 100;

struct Freed {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Freed>;

// What one conversion of the selection gave.
struct Transfer {
    // Unanswered: the owner let its time run out, went away, or the clipboard changed hands
    // meanwhile; asking it for anything else is pointless.
    enum class Outcome { answered, refused, tooLarge, unanswered };
    Outcome outcome = Outcome::refused;
    QByteArray data;
};

// One X connection of the reader thread's own. Each conversion gets a hidden window of its own
// that receives the selection and is destroyed when the conversion ends, however it ends: an
// owner that answers late, or goes on with an incremental transfer that was given up, writes
// to a window that is gone, and never into the answer of a later conversion. Everything here
// runs on the reader thread.
//
// While it reads, the connection hears of every change of the clipboard's owner: an answer
// that comes after one may belong to the new owner while the targets came from the old one (a
// password manager adds its hint a moment after the text), so a read across a change gives up
// at once and the new owner's state is read whole by the capture the change arms.
class SelectionConnection {
public:
    explicit SelectionConnection(const std::atomic_bool& stopping)
        : m_stopping(stopping)
    {
    }
    ~SelectionConnection()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }

    bool open()
    {
        if (m_connection && !xcb_connection_has_error(m_connection))
            return true;
        if (m_connection)
            xcb_disconnect(m_connection);
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return false;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        m_root = screens.data->root;
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_incr = atom("INCR");
        m_property = atom("NIMBRA_SELECTION");
        m_ownerWindow = XCB_NONE;
        m_xfixesEvent = 0;
        const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
        if (xfixes && xfixes->present) {
            // Without XFixes reads go on without that guard.
            Reply<xcb_xfixes_query_version_reply_t>(xcb_xfixes_query_version_reply(m_connection,
                xcb_xfixes_query_version(m_connection, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION), nullptr));
            m_ownerWindow = xcb_generate_id(m_connection);
            xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_ownerWindow, m_root, -1, -1, 1, 1, 0,
                XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
            m_xfixesEvent = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        }
        return !xcb_connection_has_error(m_connection);
    }

    // Listens for changes of owner from now on, for one read: between reads nobody takes the
    // news off this connection, and a clipboard that changes hands all day would pile it up.
    void beginRead()
    {
        watchOwner(true);
        Reply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            std::free(event);
        m_ownerChanged = false;
    }
    void endRead()
    {
        watchOwner(false);
        xcb_flush(m_connection);
    }

    // The offered targets, and for each its atom; none when there is no owner or it did not answer.
    std::optional<QList<std::pair<QByteArray, xcb_atom_t>>> targets()
    {
        const Transfer raw = convert(m_targets, 1024 * 1024);
        if (raw.outcome != Transfer::Outcome::answered)
            return std::nullopt;
        const auto* atoms = reinterpret_cast<const xcb_atom_t*>(raw.data.constData());
        const qsizetype count = raw.data.size() / qsizetype(sizeof(xcb_atom_t));
        QList<xcb_get_atom_name_cookie_t> cookies;
        for (qsizetype i = 0; i < count; ++i)
            cookies << xcb_get_atom_name(m_connection, atoms[i]);
        QList<std::pair<QByteArray, xcb_atom_t>> named;
        for (qsizetype i = 0; i < count; ++i) {
            Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(m_connection, cookies[i], nullptr));
            if (!reply)
                continue;
            const QByteArray name(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
            if (!name.isEmpty())
                named.append({ name, atoms[i] });
        }
        return named;
    }

    // The owner's bytes for `target`, also when it sends them in pieces. Refused when it said
    // no or did not answer in time; too large, and abandoned, past `limit` bytes.
    Transfer convert(xcb_atom_t target, qsizetype limit)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, -1, -1, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        Transfer transfer = convert(window, target, limit);
        xcb_destroy_window(m_connection, window);
        xcb_flush(m_connection);
        return transfer;
    }

private:
    Transfer convert(xcb_window_t window, xcb_atom_t target, qsizetype limit)
    {
        xcb_convert_selection(m_connection, window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        Reply<xcb_generic_event_t> notify(waitFor([&](xcb_generic_event_t* event) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(event);
            return n->requestor == window && n->selection == m_clipboard;
        }));
        if (!notify)
            return { Transfer::Outcome::unanswered, {} };
        if (reinterpret_cast<xcb_selection_notify_event_t*>(notify.get())->property == XCB_ATOM_NONE)
            return {};

        xcb_atom_t type = XCB_ATOM_NONE;
        std::optional<QByteArray> first = takeProperty(window, &type);
        if (!first)
            return {};
        if (type != m_incr) {
            if (first->size() > limit)
                return { Transfer::Outcome::tooLarge, {} };
            return { Transfer::Outcome::answered, std::move(*first) };
        }

        // Incremental transfer: every new value of the property is the next piece, an empty
        // one ends it. Deleting the property asks for the next piece.
        QByteArray data;
        for (;;) {
            Reply<xcb_generic_event_t> event(waitFor([&](xcb_generic_event_t* e) {
                if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
                return p->window == window && p->atom == m_property && p->state == XCB_PROPERTY_NEW_VALUE;
            }));
            if (!event)
                return { Transfer::Outcome::unanswered, {} };
            std::optional<QByteArray> piece = takeProperty(window, &type);
            if (!piece)
                return {};
            if (piece->isEmpty())
                return { Transfer::Outcome::answered, std::move(data) };
            if (data.size() + piece->size() > limit)
                return { Transfer::Outcome::tooLarge, {} };
            data += *piece;
        }
    }

    xcb_atom_t atom(const char* name)
    {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // Reads and deletes the transfer property.
    std::optional<QByteArray> takeProperty(xcb_window_t window, xcb_atom_t* type)
    {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 1, window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
            nullptr));
        xcb_flush(m_connection);
        if (!reply)
            return std::nullopt;
        *type = reply->type;
        const int length = xcb_get_property_value_length(reply.get());
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    }

    // Whether to hear of every change of the clipboard's owner, its window or client going
    // included.
    void watchOwner(bool watching)
    {
        if (m_ownerWindow == XCB_NONE)
            return;
        xcb_xfixes_select_selection_input(m_connection, m_ownerWindow, m_clipboard,
            watching ? XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                    | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE
                     : 0);
    }

    // The first event that `matches`, or none after the owner's time is up, once the owner
    // changed, on a broken connection, or when Nimbra stops. Other events are dropped: they
    // belong to conversions that are over.
    template <typename Match> xcb_generic_event_t* waitFor(Match matches)
    {
        const QDeadlineTimer deadline(answerTimeoutMs);
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if (m_xfixesEvent && (event->response_type & 0x7f) == m_xfixesEvent)
                    m_ownerChanged = true;
                else if (!m_ownerChanged && matches(event))
                    return event;
                std::free(event);
            }
            if (m_ownerChanged || xcb_connection_has_error(m_connection) || m_stopping.load() || deadline.hasExpired())
                return nullptr;
            pollfd descriptor { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
            ::poll(&descriptor, 1, int(std::min<qint64>(deadline.remainingTime(), stopCheckMs)));
        }
    }

    const std::atomic_bool& m_stopping;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_ATOM_NONE;
    xcb_atom_t m_targets = XCB_ATOM_NONE;
    xcb_atom_t m_incr = XCB_ATOM_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
    xcb_window_t m_ownerWindow = XCB_NONE;
    uint8_t m_xfixesEvent = 0;
    bool m_ownerChanged = false;
};

// Lives on the reader thread.
class ReaderWorker : public QObject {
public:
    explicit ReaderWorker(const std::atomic_bool& stopping)
        : m_connection(stopping)
    {
    }

    ClipboardOffer read(const SystemClipboard::Chooser& choose, qsizetype limit)
    {
        if (!m_connection.open()) {
            Diagnostics::log(Diagnostics::Category::clipboard, "no X display for reading the clipboard");
            return {};
        }
        m_connection.beginRead();
        ClipboardOffer offer = readOwner(choose, limit);
        m_connection.endRead();
        return offer;
    }

private:
    ClipboardOffer readOwner(const SystemClipboard::Chooser& choose, qsizetype limit)
    {
        ClipboardOffer offer;
        const auto targets = m_connection.targets();
        if (!targets)
            return offer;
        for (const auto& [name, atom] : *targets)
            offer.targets << name;
        for (const QByteArray& wanted : choose(offer.targets)) {
            for (const auto& [name, atom] : *targets) {
                if (name != wanted)
                    continue;
                Transfer transfer = m_connection.convert(atom, limit);
                if (transfer.outcome == Transfer::Outcome::tooLarge) {
                    offer.tooLarge = true;
                    return offer;
                }
                // An owner that did not answer one target is not asked for the next: each
                // would cost the whole wait again. Nor is the clipboard's next owner.
                if (transfer.outcome == Transfer::Outcome::unanswered)
                    return offer;
                if (!transfer.data.isEmpty()) {
                    offer.target = name;
                    offer.data = std::move(transfer.data);
                    return offer;
                }
                break;
            }
        }
        return offer;
    }

    SelectionConnection m_connection;
};

} // namespace

struct SystemClipboard::Reader {
    std::atomic_bool stopping = false;
    QThread thread;
    ReaderWorker* worker = nullptr;

    ~Reader()
    {
        stopping = true;
        thread.quit();
        thread.wait();
    }
};

SystemClipboard::SystemClipboard(QObject* parent)
    : QObject(parent)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard && onChange)
                onChange();
        });
    }
}

SystemClipboard::~SystemClipboard() = default;

bool SystemClipboard::readsThroughX11() const
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool SystemClipboard::ownsClipboard() const
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard && clipboard->ownsClipboard();
}

void SystemClipboard::read(Chooser choose, qsizetype limit, Completion done)
{
    limit = std::min(limit, maxTransferBytes);
    if (!readsThroughX11()) {
        // The in-process clipboard answers at once; the result still arrives on a later turn.
        ClipboardOffer offer;
        if (const QMimeData* data = QGuiApplication::clipboard()->mimeData()) {
            for (const QString& format : data->formats())
                offer.targets << format.toUtf8();
            for (const QByteArray& wanted : choose(offer.targets)) {
                const QByteArray bytes = data->data(QString::fromUtf8(wanted));
                if (bytes.size() > limit) {
                    offer.tooLarge = true;
                    break;
                }
                if (!bytes.isEmpty()) {
                    offer.target = wanted;
                    offer.data = bytes;
                    break;
                }
            }
        }
        QTimer::singleShot(0, this, [offer, done = std::move(done)] { done(offer); });
        return;
    }

    if (!m_reader) {
        m_reader = std::make_unique<Reader>();
        m_reader->worker = new ReaderWorker(m_reader->stopping);
        m_reader->worker->moveToThread(&m_reader->thread);
        connect(&m_reader->thread, &QThread::finished, m_reader->worker, &QObject::deleteLater);
        m_reader->thread.setObjectName(QStringLiteral("clipboard reader"));
        m_reader->thread.start();
    }
    ReaderWorker* worker = m_reader->worker;
    // The clipboard object waits for the reader thread when it goes, so it is alive while the
    // result is posted to it, and Qt drops the posted result if the object goes before it runs.
    SystemClipboard* self = this;
    QMetaObject::invokeMethod(
        worker, [worker, self, limit, choose = std::move(choose), done = std::move(done)]() mutable {
            ClipboardOffer offer = worker->read(choose, limit);
            QMetaObject::invokeMethod(
                self, [offer = std::move(offer), done = std::move(done)] { done(offer); }, Qt::QueuedConnection);
        });
}

bool SystemClipboard::write(QMimeData* data)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        delete data;
        return false;
    }
    clipboard->setMimeData(data, QClipboard::Clipboard);
    // Only X says whether the claim took; the in-process clipboards always take it.
    return !readsThroughX11() || clipboard->ownsClipboard();
}

} // namespace nimbra
