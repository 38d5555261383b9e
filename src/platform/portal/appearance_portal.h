#pragma once

#include <QObject>
#include <QVariant>
#include <functional>
#include <optional>

class QDBusVariant;

// Whether the desktop prefers dark or light, for the "system" appearance. Qt cannot tell, so
// this reads the desktop portal's org.freedesktop.appearance color-scheme and follows its change
// signal; without a portal answer it falls back to the palette's window colour.
namespace nimbra {

class AppearancePortal : public QObject {
    Q_OBJECT
public:
    explicit AppearancePortal(QObject* parent = nullptr);

    // Portal answer when it gave one (dark or light), else the palette's guess.
    bool isDark() const;
    // The portal's own answer: std::nullopt for "no preference" or when no portal answered.
    std::optional<bool> portalPrefersDark() const { return m_portal; }

    // True once the portal's first answer (or its error) came back.
    bool hasAnswered() const { return m_answered; }

    // Called when the answer of isDark() changes.
    std::function<void(bool isDark)> onChange;

    // The color-scheme value: 1 dark, 2 light, anything else no preference.
    static std::optional<bool> prefersDark(const QVariant& colorScheme);
    // Dark when the window colour is darker than mid grey.
    static bool paletteIsDark();

private Q_SLOTS:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void update(std::optional<bool> portal);

    std::optional<bool> m_portal;
    bool m_answered = false;
};

} // namespace nimbra
