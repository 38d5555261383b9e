#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

class QObject;

// The desktop portal's Settings interface, shared by the readers of desktop preferences.
namespace nimbra::portal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

// The portal wraps a value in one or two variants depending on its version.
QVariant unwrap(QVariant value);

// Connects the portal's SettingChanged(group, key, value) to `slot` of `receiver`, a slot taking
// (QString, QString, QDBusVariant). Nothing happens without a session bus.
void watchSettings(QObject* receiver, const char* slot);

// Asks for one setting without blocking; `answer` runs on the main thread with the value, or
// with none when there is no portal, no such setting or no answer in time. Nothing runs once
// `context` is gone.
void readSetting(
    QObject* context, const QString& group, const QString& key, std::function<void(std::optional<QVariant>)> answer);

} // namespace nimbra::portal
