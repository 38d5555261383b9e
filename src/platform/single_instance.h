#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace nimbra {

// One running Nimbra per settings profile, claimed as a name on the session bus. A second
// start finds the name taken, asks the running one to reopen, and should then exit. The name
// is let go as soon as the application starts to quit, so that a start right after a quit (or
// during a slow one) runs instead of handing over to a process on its way out.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.nimbra.Nimbra")
public:
    enum class Claim {
        first, // this process owns the name and answers Reopen
        handedOver, // another process owns it and was asked to reopen
        noBus, // no session bus: nothing to coordinate with, run on
    };

    // `configHome` is the folder the settings live under; profiles other than the user's
    // default one get a name of their own so that they can run side by side.
    explicit SingleInstance(const QString& configHome, QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim();
    // Lets the name go now; also done when the application starts to quit.
    void release();
    QString serviceName() const { return m_service; }
    static QString serviceName(const QString& configHome);

    // Called on the main loop when a later start hands over to this process.
    std::function<void()> onReopen;

public Q_SLOTS:
    Q_SCRIPTABLE void Reopen();

private:
    QString m_service;
    bool m_owned = false;
};

} // namespace nimbra
