#include "core/key_combo.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <array>
#include <cmath>
#include <utility>

namespace nimbra {

namespace {

// Labels of the virtual key codes 0…53; null where a code has no label of its own.
constexpr std::array<const char*, 54> keyLabels = {
    "A", "S", "D", "F", "H", "G", "Z", "X", "C", "V", // 0–9
    nullptr, // 10
    "B", "Q", "W", "E", "R", "Y", "T", // 11–17
    "1", "2", "3", "4", "6", "5", "=", "9", "7", "-", "8", "0", // 18–29
    "]", "O", "U", "[", "I", "P", // 30–35
    "Return", // 36
    "L", "J", "'", "K", ";", "\\", ",", "/", "N", "M", ".", // 37–47
    "Tab", "Space", "`", "Backspace", // 48–51
    nullptr, // 52
    "Esc", // 53
};

// The keys further on that a hot key can sit on.
constexpr std::pair<uint32_t, const char*> otherKeyLabels[] = {
    { 96, "F5" },
    { 97, "F6" },
    { 98, "F7" },
    { 99, "F3" },
    { 100, "F8" },
    { 101, "F9" },
    { 103, "F11" },
    { 109, "F10" },
    { 111, "F12" },
    { 115, "Home" },
    { 116, "Page Up" },
    { 117, "Delete" },
    { 118, "F4" },
    { 119, "End" },
    { 120, "F2" },
    { 121, "Page Down" },
    { 122, "F1" },
    { 123, "Left" },
    { 124, "Right" },
    { 125, "Down" },
    { 126, "Up" },
};

std::optional<uint32_t> unsigned32(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Rejects NaN too: every comparison with it is false.
    if (!(number >= 0.0 && number <= 4294967295.0) || std::trunc(number) != number)
        return std::nullopt;
    return static_cast<uint32_t>(number);
}

} // namespace

QString KeyCombo::displayString() const
{
    QStringList parts;
    if (modifiers & control)
        parts << QStringLiteral("Ctrl");
    if (modifiers & option)
        parts << QStringLiteral("Alt");
    if (modifiers & shift)
        parts << QStringLiteral("Shift");
    if (modifiers & cmd)
        parts << QStringLiteral("Super");
    parts << name(keyCode);
    return parts.join(u'+');
}

QString KeyCombo::name(uint32_t keyCode)
{
    if (keyCode < keyLabels.size() && keyLabels[keyCode])
        return QString::fromUtf8(keyLabels[keyCode]);
    for (const auto& [code, label] : otherKeyLabels) {
        if (code == keyCode)
            return QString::fromUtf8(label);
    }
    return QStringLiteral("Key %1").arg(keyCode);
}

QJsonObject KeyCombo::toJson() const
{
    return QJsonObject { { QStringLiteral("keyCode"), double(keyCode) },
        { QStringLiteral("modifiers"), double(modifiers) } };
}

QByteArray KeyCombo::encoded() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<KeyCombo> KeyCombo::fromJson(const QJsonObject& object)
{
    const auto keyCode = unsigned32(object.value(QLatin1String("keyCode")));
    const auto modifiers = unsigned32(object.value(QLatin1String("modifiers")));
    if (!keyCode || !modifiers)
        return std::nullopt;
    return KeyCombo { *keyCode, *modifiers };
}

std::optional<KeyCombo> KeyCombo::decoded(const QByteArray& json)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

} // namespace nimbra
