#include "platform/portal/portal_settings.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace nimbra::portal {

QVariant unwrap(QVariant value)
{
    for (int depth = 0; depth < 3; ++depth) {
        if (value.userType() == qMetaTypeId<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        else if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            const auto argument = value.value<QDBusArgument>();
            if (argument.currentType() != QDBusArgument::VariantType)
                break;
            value = qdbus_cast<QDBusVariant>(argument).variant();
        } else
            break;
    }
    return value;
}

void watchSettings(QObject* receiver, const char* slot)
{
    // The portal may come later: the match is kept whether or not it is on the bus now.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.connect(service, path, settingsInterface, QStringLiteral("SettingChanged"), receiver, slot);
}

void readSetting(
    QObject* context, const QString& group, const QString& key, std::function<void(std::optional<QVariant>)> answer)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answer(std::nullopt);
        return;
    }
    QDBusMessage read = QDBusMessage::createMethodCall(service, path, settingsInterface, QStringLiteral("Read"));
    read << group << key;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
        [answer = std::move(answer)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusMessage reply = call->reply();
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                answer(unwrap(reply.arguments().constFirst()));
            else
                answer(std::nullopt);
        });
}

} // namespace nimbra::portal
