#include "core/appearance.h"

namespace nimbra {

QString rawValue(Appearance appearance)
{
    switch (appearance) {
    case Appearance::system:
        return QStringLiteral("system");
    case Appearance::light:
        return QStringLiteral("light");
    case Appearance::dark:
        return QStringLiteral("dark");
    }
    return {};
}

QString rawValue(ClockFont font)
{
    switch (font) {
    case ClockFont::lockScreen:
        return QStringLiteral("lockScreen");
    case ClockFont::system:
        return QStringLiteral("system");
    case ClockFont::rounded:
        return QStringLiteral("rounded");
    case ClockFont::serif:
        return QStringLiteral("serif");
    case ClockFont::mono:
        return QStringLiteral("mono");
    }
    return {};
}

template <> std::optional<Appearance> fromRawValue<Appearance>(QStringView raw)
{
    for (auto appearance : kAppearances) {
        if (rawValue(appearance) == raw)
            return appearance;
    }
    return std::nullopt;
}

template <> std::optional<ClockFont> fromRawValue<ClockFont>(QStringView raw)
{
    for (auto font : kClockFonts) {
        if (rawValue(font) == raw)
            return font;
    }
    return std::nullopt;
}

QString title(Appearance appearance)
{
    switch (appearance) {
    case Appearance::system:
        return QStringLiteral("Auto");
    case Appearance::light:
        return QStringLiteral("Light");
    case Appearance::dark:
        return QStringLiteral("Dark");
    }
    return {};
}

QString title(ClockFont font)
{
    switch (font) {
    case ClockFont::lockScreen:
        return QStringLiteral("Lock Screen");
    case ClockFont::system:
        return QStringLiteral("System");
    case ClockFont::rounded:
        return QStringLiteral("Rounded");
    case ClockFont::serif:
        return QStringLiteral("Serif");
    case ClockFont::mono:
        return QStringLiteral("Mono");
    }
    return {};
}

bool isDark(Appearance appearance, bool systemIsDark)
{
    switch (appearance) {
    case Appearance::system:
        return systemIsDark;
    case Appearance::light:
        return false;
    case Appearance::dark:
        return true;
    }
    return systemIsDark;
}

} // namespace nimbra
