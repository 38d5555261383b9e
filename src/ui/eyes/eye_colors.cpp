#include "ui/eyes/eye_colors.h"

#include "core/eye_motion.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace nimbra {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Six characters that read as one hexadecimal number: six digits, or a sign and five digits
// ("+" as written, "-" only for zero). No "0x" prefix.
std::optional<std::uint32_t> hexNumber(QStringView text)
{
    if (text.size() != 6)
        return std::nullopt;
    QStringView digits = text;
    bool negative = false;
    if (text.front() == u'+' || text.front() == u'-') {
        negative = text.front() == u'-';
        digits = text.mid(1);
    }
    std::uint32_t value = 0;
    for (const QChar c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + std::uint32_t(digit);
    }
    if (negative && value != 0)
        return std::nullopt;
    return value;
}

int component(double value)
{
    if (!std::isfinite(value))
        return 0;
    return int(std::clamp(std::lround(value * 255), 0L, 255L));
}

} // namespace

QColor colorFromHex(QStringView hex, const QColor& fallback)
{
    qsizetype begin = 0, end = hex.size();
    while (begin < end && (hex[begin] == u' ' || hex[begin] == u'\t'))
        ++begin;
    while (end > begin && (hex[end - 1] == u' ' || hex[end - 1] == u'\t'))
        --end;
    QStringView rest = hex.mid(begin, end - begin);
    if (rest.startsWith(u'#'))
        rest = rest.mid(1);
    const auto value = hexNumber(rest);
    if (!value)
        return fallback;
    return QColor::fromRgb(int((*value >> 16) & 0xff), int((*value >> 8) & 0xff), int(*value & 0xff));
}

QString nimbraHex(const QColor& color)
{
    if (!color.isValid())
        return QStringLiteral("FFFFFF");
    // An extended-range colour may lie beyond sRGB: its components are clamped, not wrapped.
    const QColor rgb = color.spec() == QColor::ExtendedRgb ? color : color.toRgb();
    return QString::asprintf("%02X%02X%02X", component(rgb.redF()), component(rgb.greenF()), component(rgb.blueF()));
}

QColor scleraColor(const EyeStyle& style, bool tired)
{
    if (tired)
        return QColor::fromRgbF(1.0f, 0.82f, 0.80f);
    return colorFromHex(style.scleraHex, Qt::white);
}

QColor pupilColor(const EyeStyle& style)
{
    return colorFromHex(style.pupilHex, Qt::black);
}

} // namespace nimbra
