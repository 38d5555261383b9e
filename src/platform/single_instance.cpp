#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>

namespace nimbra {

namespace {
const QString objectPath = QStringLiteral("/org/nimbra/Nimbra");
const QString baseName = QStringLiteral("org.nimbra.Nimbra");
} // namespace

SingleInstance::SingleInstance(const QString& configHome, QObject* parent)
    : QObject(parent)
    , m_service(serviceName(configHome))
{
}

SingleInstance::~SingleInstance()
{
    release();
}

void SingleInstance::release()
{
    if (!m_owned)
        return;
    m_owned = false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(objectPath);
    bus.unregisterService(m_service);
}

QString SingleInstance::serviceName(const QString& configHome)
{
    const QString canonical = QDir::cleanPath(QDir(configHome).absolutePath());
    if (canonical == QDir::cleanPath(QDir::homePath() + "/.config"))
        return baseName;
    const QByteArray digest = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
    return baseName + ".p" + QString::fromLatin1(digest.left(16));
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Claim::noBus;
    // The bus hands a name to exactly one caller, so two simultaneous starts cannot both win.
    const auto reply = bus.interface()->registerService(
        m_service, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_owned = true;
        bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
        // Connected at the claim, ahead of the rest of the stop, which may take its time.
        if (QCoreApplication* app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, this, &SingleInstance::release, Qt::DirectConnection);
        return Claim::first;
    }
    if (!reply.isValid())
        return Claim::noBus;
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, objectPath, baseName, QStringLiteral("Reopen"));
    bus.call(call, QDBus::Block, 3000);
    return Claim::handedOver;
}

void SingleInstance::Reopen()
{
    if (onReopen)
        onReopen();
}

} // namespace nimbra
