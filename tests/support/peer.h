#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace nimbra::test {

// Another application's process, speaking one line at a time on its standard output; killed
// when this goes.
struct Peer {
    QProcess process;
    QByteArray output;

    Peer(const QString& program, const QStringList& arguments);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Reads what came so far; true once `line` was said.
    bool has(const char* line);
    bool said(const char* line, int timeoutMs = 20000);
    // How many times something starting with `prefix` was said.
    int count(const char* prefix);
};

} // namespace nimbra::test
