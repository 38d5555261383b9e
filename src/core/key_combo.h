#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

namespace nimbra {

// A global hot key: a virtual key code (the US-layout key position) plus a modifier mask.
// The model keeps these codes as they are stored; mapping them to the window system's
// keys is the platform layer's job.
struct KeyCombo {
    static constexpr uint32_t cmd = 0x100;
    static constexpr uint32_t shift = 0x200;
    static constexpr uint32_t option = 0x800;
    static constexpr uint32_t control = 0x1000;
    // Command, option or control: a hot key needs at least one of them.
    static constexpr uint32_t usableMask = cmd | option | control;

    uint32_t keyCode = 0;
    uint32_t modifiers = 0;

    static const KeyCombo defaultClipboard;

    // Key code 0 is the A key, so a bare A counts as empty.
    bool isEmpty() const { return keyCode == 0 && modifiers == 0; }
    bool isUsable() const { return (modifiers & usableMask) != 0; }
    // The combination as the desktop writes it: "Ctrl+Alt+Shift+Super+V", each modifier when
    // set (control is Ctrl, option Alt, command Super), then the key's name.
    QString displayString() const;

    // The key's name as the desktop writes it, or "Key <code>" for codes without one.
    static QString name(uint32_t keyCode);

    // Stored form: {"keyCode": n, "modifiers": n}.
    QJsonObject toJson() const;
    QByteArray encoded() const;
    // Both keys must hold whole numbers that fit 32 unsigned bits; anything else is none.
    static std::optional<KeyCombo> fromJson(const QJsonObject& object);
    static std::optional<KeyCombo> decoded(const QByteArray& json);

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

inline constexpr KeyCombo KeyCombo::defaultClipboard { 9, KeyCombo::cmd | KeyCombo::shift };

} // namespace nimbra
