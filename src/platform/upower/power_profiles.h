#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <memory>

class QDBusMessage;

namespace nimbra {

// Whether the power-profiles service runs the "power-saver" profile: Linux's Low Power Mode.
// The service is optional; without it the answer is no, never an error. Kept from its signals
// and asynchronous reads.
class PowerProfiles final : public QObject {
    Q_OBJECT
public:
    explicit PowerProfiles(QDBusConnection systemBus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~PowerProfiles() override;

    // Begins following the service; later calls do nothing.
    void start();
    bool isPowerSaver() const;

    // The answer changed.
    std::function<void()> onChange;

    struct Private;

private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated,
        const QDBusMessage& message);

private:
    std::unique_ptr<Private> d;
};

} // namespace nimbra
