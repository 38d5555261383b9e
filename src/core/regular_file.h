#pragma once

#include <QByteArray>
#include <QString>

namespace nimbra {

// A small file of our own that anyone may have replaced: a FIFO, socket or device put in its
// place (or a link to one) is never waited on, and a file larger than asked is not read.
struct RegularFileRead {
    enum class Outcome { read, missing, notRegular, tooLarge, failed };
    Outcome outcome = Outcome::missing;
    QByteArray bytes;
    // Why it failed, in the system's words.
    QString error;
};

RegularFileRead readRegularFile(const QString& path, qint64 limit);

// The opening step of that read, for callers that read on their own terms (in chunks, with a
// deadline): a descriptor only for a regular file, opened without waiting.
struct RegularFileOpening {
    RegularFileRead::Outcome outcome = RegularFileRead::Outcome::missing;
    // Open, for the caller to close, when the outcome is `read`.
    int fd = -1;
    // As fstat gave it.
    qint64 size = 0;
    QString error;
};
RegularFileOpening openRegularFile(const QString& path);

} // namespace nimbra
