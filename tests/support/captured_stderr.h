#pragma once

#include <QByteArray>
#include <QList>
#include <cstdio>

namespace nimbra::test {

// Standard error goes to a file of its own while this lives, or until release().
class CapturedStderr {
public:
    CapturedStderr();
    ~CapturedStderr();
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

    bool isCapturing() const { return m_saved >= 0; }
    // Hands standard error back; what was caught stays readable.
    void release();
    // All that was written to standard error so far.
    QByteArray text() const;
    // Its lines holding `containing` (all of them, and the empty rest after the last newline,
    // when empty).
    QList<QByteArray> lines(const QByteArray& containing = {}) const;

private:
    std::FILE* m_file = std::tmpfile();
    int m_saved = -1;
};

} // namespace nimbra::test
