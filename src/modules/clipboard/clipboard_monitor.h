#pragma once

#include "core/activity.h"
#include "core/clipboard_store.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUuid>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThreadPool;

namespace nimbra {

class SystemClipboard;
struct ClipboardOffer;

// Records what the user copies: each new state of the clipboard becomes at most one history
// entry (files, an image or text) in an in-memory store, and an entry can be written back for
// copying and pasting. Writes of its own are never recorded again.
//
// The window system announces every change of owner; while started, an announcement arms one
// capture `pollInterval` later, so a burst of changes gives one capture and an idle clipboard
// costs nothing. A capture looks at the offered targets first (a password manager's state is
// skipped whole), then reads the one format that will be kept. Reading happens off the main
// thread, and images are decoded and encoded on a small pool of the monitor's own: an image
// that takes longer than imageTimeLimitMs is given up, so one stuck image never holds up the
// captures after it, and quitting does not wait for it.
class ClipboardMonitor final : public QObject {
    Q_OBJECT
public:
    static const ModuleID moduleID;
    // A re-encoded image above this many bytes is not kept (exactly this many is).
    static constexpr qsizetype maxImageBytes = 33554432;
    // The side of the square thumbnails made for image entries, in pixels.
    static constexpr int thumbnailSide = 128;

    // `clipboard` defaults to one of its own.
    explicit ClipboardMonitor(SystemClipboard* clipboard = nullptr, QObject* parent = nullptr);
    ~ClipboardMonitor() override;

    // The history. The owner may change it in place and then calls onChange itself.
    const ClipboardStore& store() const { return m_store; }
    ClipboardStore& store() { return m_store; }

    // After every change of the store made here.
    std::function<void()> onChange;
    // After a newly captured entry went into the store, before onChange.
    std::function<void()> onCapture;
    // The application in front when a capture starts (its desktop id); none when unknown.
    std::function<std::optional<QString>()> sourceApplication;

    // Takes effect from the next capture; images already kept stay.
    bool keepsImages = true;
    // How long one image may take to decode and encode before its capture is given up.
    int imageTimeLimitMs = 30000;

    void start(double pollInterval);
    void stop();
    bool isStarted() const { return m_started; }
    void setLimits(const ClipboardStore::Limits& limits);
    void remove(const QUuid& id);
    void togglePin(const QUuid& id);
    void clear();
    // Writes the entry back to the clipboard. False when there is no such entry or nothing of
    // it can be written (an empty text, files that are all gone, an image that is no image).
    bool copyToPasteboard(const QUuid& id);

    // One more for every announced change of the clipboard's owner.
    quint64 changeCount() const { return m_changeCount; }
    // Whether a capture is armed or on its way.
    bool isCaptureArmed() const { return m_captureTimer.isActive(); }
    bool isCapturing() const { return m_busy; }
    // Captures finished so far (kept, skipped or empty alike).
    int capturesFinished() const { return m_capturesFinished; }

    // The square thumbnail of an image entry, made when it was captured; null when none.
    QImage thumbnail(const QUuid& id) const { return m_thumbnails.value(id); }
    // Where images are decoded and encoded: the monitor's own, of at most two threads.
    QThreadPool& imagePool() const { return *m_imagePool; }

    // Capture rules, on target names as offered.
    // Targets whose presence makes a state private: it is skipped whole.
    static const QList<QByteArray>& blockedTargets();
    static bool isBlocked(const QList<QByteArray>& targets);
    // The targets worth reading, best first: files, then an image (when kept), then text.
    static QList<QByteArray> candidates(
        const QList<QByteArray>& targets, bool keepsImages, const QList<QByteArray>& excluded = {});
    static bool isFilesTarget(const QByteArray& target);
    static bool isImageTarget(const QByteArray& target);
    // The local files in a URI list or a file manager's copied-files list, in order.
    static QList<QUrl> localFiles(const QByteArray& target, const QByteArray& data);
    // The text of a text target's bytes.
    static QString text(const QByteArray& target, const QByteArray& data);

    // An image decoded and re-encoded as PNG, with its square thumbnail; none when the bytes
    // are no image, or once `cancelled` is set (looked at as the bytes are read and written).
    // Safe on any thread.
    struct EncodedImage {
        QByteArray png;
        QSize pixelSize;
        QImage thumbnail;
        // The entry's payload, made here too: it digests all of the PNG's bytes.
        ClipboardItem::Payload payload;
    };
    static std::optional<EncodedImage> encodeImage(const QByteArray& data, const std::atomic_bool* cancelled = nullptr);

private:
    void announce();
    void poll();
    void read(const QList<QByteArray>& excluded);
    void finishRead(const ClipboardOffer& offer, const QList<QByteArray>& excluded);
    void encode(const QByteArray& data, const QByteArray& target, const QList<QByteArray>& excluded);
    void giveUpImage();
    void skipTooLarge();
    void finishImage(const std::optional<EncodedImage>& image, const QByteArray& target, QList<QByteArray> excluded);
    void keep(const ClipboardItem::Payload& payload, const QImage& thumbnail = {});
    void finishCapture();
    void pruneThumbnails();

    SystemClipboard* m_clipboard;
    std::unique_ptr<SystemClipboard> m_ownClipboard;
    ClipboardStore m_store;
    QTimer m_captureTimer;
    bool m_started = false;
    quint64 m_changeCount = 0;
    quint64 m_lastChangeCount = 0;
    std::optional<quint64> m_ownChangeCount;
    // One capture at a time, so entries land in the order they were copied.
    bool m_busy = false;
    // Stopping drops captures still on their way.
    quint64 m_generation = 0;
    std::optional<QString> m_captureSource;
    int m_capturesFinished = 0;
    QHash<QUuid, QImage> m_thumbnails;
    std::unique_ptr<QThreadPool> m_imagePool;
    // The image on its way: set to stop it, and the timer that gives it up.
    std::shared_ptr<std::atomic_bool> m_imageCancel;
    QTimer m_imageDeadline;
    // Work on other threads reports back only while this lives.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace nimbra
