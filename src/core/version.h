#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <compare>
#include <optional>

namespace nimbra {

// A dotted version number, read leniently from text and compared part by part with missing
// parts counting as 0 (so 1.2 equals 1.2.0, and 2.10 is above 2.9).
class Version {
public:
    // Nil when the text yields no numeric part ("v2.10.3" → 2.10.3, " 1.4-beta.2 " → 1.4).
    static std::optional<Version> parse(const QString& text);

    const QList<qint64>& parts() const { return m_parts; }
    // The parts joined by "." (1.02 describes as 1.2).
    QString description() const;

    friend std::strong_ordering operator<=>(const Version& a, const Version& b);
    friend bool operator==(const Version& a, const Version& b) { return (a <=> b) == 0; }

private:
    explicit Version(QList<qint64> parts)
        : m_parts(std::move(parts))
    {
    }

    QList<qint64> m_parts;
};

// The update feed's record: {"version", "url", "notes", "minimumSystemVersion"}.
struct UpdateManifest {
    QString version;
    QUrl url; // always an absolute https URL: it is handed to the desktop to open
    std::optional<QString> notes;
    std::optional<QString> minimumSystemVersion; // carried, not consulted

    // Nil unless the bytes are one JSON object with a string "version" and a string "url"
    // naming an https address; "notes" and "minimumSystemVersion" may be absent or null but
    // otherwise must be strings. Other keys are ignored.
    static std::optional<UpdateManifest> decode(const QByteArray& json);

    // True only when both texts parse as versions and `currentVersion` is the lower one.
    bool isNewer(const QString& currentVersion) const;

    bool operator==(const UpdateManifest&) const = default;
};

} // namespace nimbra
