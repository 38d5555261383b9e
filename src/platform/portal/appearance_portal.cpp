#include "platform/portal/appearance_portal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace nimbra {

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");

// The portal wraps the value in one or two variants depending on its version.
QVariant unwrap(QVariant value)
{
    for (int depth = 0; depth < 3; ++depth) {
        if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
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
} // namespace

AppearancePortal::AppearancePortal(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
        SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Read"));
    read << kGroup << kKey;
    // Asked once, without blocking start-up; until the answer arrives the palette decides.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusMessage answer = call->reply();
        if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty())
            update(prefersDark(answer.arguments().constFirst()));
        m_answered = true;
    });
}

std::optional<bool> AppearancePortal::prefersDark(const QVariant& colorScheme)
{
    bool ok = false;
    const uint value = unwrap(colorScheme).toUInt(&ok);
    if (!ok)
        return std::nullopt;
    if (value == 1)
        return true;
    if (value == 2)
        return false;
    return std::nullopt;
}

bool AppearancePortal::paletteIsDark()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightnessF() < 0.5;
}

bool AppearancePortal::isDark() const
{
    return m_portal.value_or(paletteIsDark());
}

void AppearancePortal::settingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group != kGroup || key != kKey)
        return;
    update(prefersDark(value.variant()));
}

void AppearancePortal::update(std::optional<bool> portal)
{
    const bool wasDark = isDark();
    m_portal = portal;
    if (isDark() != wasDark && onChange)
        onChange(isDark());
}

} // namespace nimbra
