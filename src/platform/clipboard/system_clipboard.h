#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class QMimeData;

namespace nimbra {

// What the clipboard held at one reading: every target it offered, and the bytes of the one
// target that was read (none when nothing fitting was offered, the owner did not answer, or
// the first fitting target held more than the reading's limit).
struct ClipboardOffer {
    QList<QByteArray> targets;
    QByteArray target;
    QByteArray data;
    // The first fitting target held more bytes than the limit: nothing further was read.
    bool tooLarge = false;

    bool hasData() const { return !target.isEmpty(); }
};

// The desktop's clipboard (the CLIPBOARD selection; PRIMARY is left alone).
//
// Changes of owner are announced by the window system and reach `onChange` as they happen, so
// an idle clipboard costs nothing. Reading never blocks the caller: on X11 the targets and the
// chosen target's bytes are fetched on a reader thread with an X connection of its own, so a
// slow, hung or very large owner never stalls the notch; elsewhere the in-process clipboard is
// read at once. Writes hand a QMimeData to the clipboard, which serves it while Nimbra owns it.
class SystemClipboard final : public QObject {
    Q_OBJECT
public:
    // Chooses from the offered targets the ones worth reading, in order of preference; the
    // first that yields bytes is read. Runs on the reader thread: it must only look at its
    // argument and at values it captured.
    using Chooser = std::function<QList<QByteArray>(const QList<QByteArray>& targets)>;
    using Completion = std::function<void(const ClipboardOffer& offer)>;

    // The most one reading takes from an owner; a larger transfer is abandoned.
    static constexpr qsizetype maxTransferBytes = 256 * 1024 * 1024;

    explicit SystemClipboard(QObject* parent = nullptr);
    ~SystemClipboard() override;

    // Every change of the clipboard's owner, Nimbra's own writes included.
    std::function<void()> onChange;

    // Whether the current contents are Nimbra's own.
    bool ownsClipboard() const;

    // Reads the targets, then the first chosen target that yields bytes, unless it holds more
    // than `limit` bytes (or maxTransferBytes); `done` runs on this object's thread with the
    // result, unless this object is gone by then. A read gives up with nothing when the owner
    // leaves a request unanswered, and at once when the clipboard changes hands meanwhile (the
    // change is announced, and the next read sees the new owner whole).
    void read(Chooser choose, qsizetype limit, Completion done);

    // Takes ownership of `data` and makes it the clipboard's contents. False when the window
    // system refused Nimbra the clipboard (X refuses an owner whose last input is older than
    // the current owner's claim).
    bool write(QMimeData* data);

    // Whether reads go through the reader thread (an X11 session) or the in-process clipboard.
    bool readsThroughX11() const;

private:
    struct Reader;
    std::unique_ptr<Reader> m_reader;
};

} // namespace nimbra
