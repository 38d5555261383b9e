#pragma once

#include <QString>

namespace nimbra {

// Opening at login through the desktop's autostart folder: the item is the file
// $XDG_CONFIG_HOME/autostart/nimbra.desktop that starts the running executable.
class LoginItem {
public:
    // `configHome` overrides $XDG_CONFIG_HOME (itself ~/.config when unset or relative).
    explicit LoginItem(const QString& configHome = {});

    QString path() const { return m_path; }
    bool isRegistered() const;

    // Writes the autostart entry for `executable` (atomically). False with `error` set when
    // the file cannot be written.
    bool registerItem(const QString& executable, QString* error = nullptr);
    // Removes the autostart entry. An absent entry counts as unregistered; false with
    // `error` set only when an existing entry cannot be removed.
    bool unregisterItem(QString* error = nullptr);

    // The desktop entry's Exec value for a program path, quoted as the entry format asks.
    static QString execValue(const QString& executable);
    // Whether a program lives where installed programs do (under /usr, /opt or ~/.local), so
    // that an entry naming it keeps working; a copy in a build folder does not count.
    static bool isInstalledLocation(const QString& executable, const QString& home);

private:
    QString m_path;
};

} // namespace nimbra
