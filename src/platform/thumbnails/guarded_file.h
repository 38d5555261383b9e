#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QString>
#include <atomic>

// Reading a file that someone else put there (a shelved file, a thumbnail in the shared cache)
// off the main thread, so that no such file can hold a thread for ever: a FIFO, socket or
// device is never opened, a regular file is opened without blocking, and every read gives up
// once the time limit passed or the work was called off.
namespace nimbra {

// What is at a path, by its metadata alone (links followed); nothing is opened.
enum class FileKind { missing, regular, directory, special };
FileKind fileKind(const QString& path);

// When to stop reading: at the deadline, or as soon as `cancelled` (when given) turns true.
struct ReadLimit {
    QDeadlineTimer deadline;
    const std::atomic_bool* cancelled = nullptr;

    bool reached() const { return deadline.hasExpired() || (cancelled && cancelled->load()); }
};

// A regular file opened read-only with O_NONBLOCK (so that opening never waits on a FIFO's
// writer) and kept only when fstat says it is a regular file. Its bytes are read into memory
// by load(), and whoever reads this device (Qt's type detection, image decoders) reads only
// that memory: none of them ever waits on the file system, where a lock it holds (Qt keeps
// process-wide ones around both) would be held for as long as the file system hangs, against
// every other thread and against the end of the process. Random access; a read after the
// limit fails, so a decoder reading from it stops.
class GuardedFile : public QIODevice {
public:
    GuardedFile(const QString& path, ReadLimit limit);
    ~GuardedFile() override;

    // Opens for reading; false (with errorString()) when the path is not a regular file.
    bool openRegular();
    // Reads the file's first `bytes` (all of it when it is shorter) into memory; this device
    // then reads as a file of what was loaded. False when reading failed or reached the limit.
    bool load(qint64 bytes);
    // The size of the file when it was opened.
    qint64 fileSize() const { return m_fileSize; }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_loaded.size(); }
    void close() override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QString m_path;
    ReadLimit m_limit;
    int m_fd = -1;
    qint64 m_fileSize = 0;
    QByteArray m_loaded;
};

} // namespace nimbra
