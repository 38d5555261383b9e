#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDBusVariant;

namespace nimbra {

// The chime of a finished timer: the desktop's "complete" event sound (else its "bell") from
// the user's sound theme, through libcanberra. Playing never waits on the sound server: a
// worker thread, started on first use, opens the connection and starts the sound. Without a
// sound server or a theme that has either sound, and while the desktop's event sounds are
// switched off, it stays silent and says why in one diagnostics line.
class Chime : public QObject {
    Q_OBJECT
public:
    enum class Result { played, switchedOff, unavailable };
    struct Outcome {
        Result result;
        QString event; // the event sound that played
        QString reason; // why nothing played
    };

    explicit Chime(QObject* parent = nullptr);
    ~Chime() override;

    // `description` names the occasion for the sound server ("Timer finished").
    void play(const QString& description);

    // The desktop's sound preferences, from its portal when it has them: event sounds on and
    // libcanberra's default theme otherwise.
    bool eventSoundsEnabled() const { return m_eventSounds; }
    const QString& themeName() const { return m_themeName; }
    void setEventSoundsEnabled(bool on) { m_eventSounds = on; }
    void setThemeName(const QString& name) { m_themeName = name; }

    // Told on the main thread once each play has started its sound or given up.
    std::function<void(const Outcome&)> onOutcome;

    struct Worker;

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void report(const Outcome& outcome);
    void applySetting(const QString& key, const QVariant& value);

    bool m_eventSounds = true;
    QString m_themeName;
    std::shared_ptr<Worker> m_worker;
};

} // namespace nimbra
