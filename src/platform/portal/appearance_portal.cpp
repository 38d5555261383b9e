#include "platform/portal/appearance_portal.h"

#include "platform/portal/portal_settings.h"

#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>

namespace nimbra {

namespace {
const QString kGroup = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
} // namespace

AppearancePortal::AppearancePortal(QObject* parent)
    : QObject(parent)
{
    portal::watchSettings(this, SLOT(settingChanged(QString, QString, QDBusVariant)));
    // Asked once, without blocking start-up; until the answer arrives the palette decides.
    portal::readSetting(this, kGroup, kKey, [this](std::optional<QVariant> value) {
        if (value)
            update(prefersDark(*value));
        m_answered = true;
    });
}

std::optional<bool> AppearancePortal::prefersDark(const QVariant& colorScheme)
{
    bool ok = false;
    const uint value = portal::unwrap(colorScheme).toUInt(&ok);
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
