#pragma once

#include <QString>
#include <optional>

namespace nimbra {

// Opening at login through the desktop's autostart folder: the item is the file
// $XDG_CONFIG_HOME/autostart/nimbra.desktop that starts the running executable.
class LoginItem {
public:
    // `configHome` overrides $XDG_CONFIG_HOME (itself ~/.config when unset or relative).
    explicit LoginItem(const QString& configHome = {});

    QString path() const { return m_path; }
    // An entry is there and the desktop has not disabled it (Hidden=true, or
    // X-GNOME-Autostart-enabled=false), whatever it starts.
    bool isEnabled() const;
    // The entry would start `program` at login: it is enabled and its Exec names that very file
    // (symbolic links followed), which exists and may be run.
    bool startsProgram(const QString& program) const;

    // Writes the autostart entry for `executable` (atomically). False with `error` set when
    // the file cannot be written.
    bool registerItem(const QString& executable, QString* error = nullptr);
    // Removes the autostart entry. An absent entry counts as unregistered; false with
    // `error` set only when an existing entry cannot be removed.
    bool unregisterItem(QString* error = nullptr);

    // The desktop entry's Exec value for a program path, quoted as the entry format asks.
    static QString execValue(const QString& executable);
    // The program an Exec value starts (its first word, unquoted); none when it has none.
    static std::optional<QString> execProgram(const QString& exec);

    // The program an autostart entry may start for this run: the AppImage file ($APPIMAGE,
    // `appImage`) when it runs as one, else `executable` when it lies under an install prefix
    // (/usr, /usr/local, /opt or the user's ~/.local below `home`). None for any other copy, a
    // build tree or a download folder, whose path breaks the next time it is rebuilt or moved.
    static std::optional<QString> installedCopy(
        const QString& executable, const QString& home, const QString& appImage);

private:
    struct Entry {
        bool enabled = false;
        QString exec;
    };
    std::optional<Entry> read() const;

    QString m_path;
};

} // namespace nimbra
