#include "core/diagnostics.h"

#include "core/uptime.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace nimbra {

namespace {

constexpr std::array kCategories = {
    Diagnostics::Category::surface,
    Diagnostics::Category::hover,
    Diagnostics::Category::display,
    Diagnostics::Category::power,
    Diagnostics::Category::media,
    Diagnostics::Category::level,
    Diagnostics::Category::clipboard,
    Diagnostics::Category::timer,
    Diagnostics::Category::shelf,
    Diagnostics::Category::eyes,
    Diagnostics::Category::update,
};

constexpr int kCategoryColumns = 7;

} // namespace

QString rawValue(Diagnostics::Category category)
{
    switch (category) {
    case Diagnostics::Category::surface:
        return QStringLiteral("surface");
    case Diagnostics::Category::hover:
        return QStringLiteral("hover");
    case Diagnostics::Category::display:
        return QStringLiteral("display");
    case Diagnostics::Category::power:
        return QStringLiteral("power");
    case Diagnostics::Category::media:
        return QStringLiteral("media");
    case Diagnostics::Category::level:
        return QStringLiteral("level");
    case Diagnostics::Category::clipboard:
        return QStringLiteral("clipboard");
    case Diagnostics::Category::timer:
        return QStringLiteral("timer");
    case Diagnostics::Category::shelf:
        return QStringLiteral("shelf");
    case Diagnostics::Category::eyes:
        return QStringLiteral("eyes");
    case Diagnostics::Category::update:
        return QStringLiteral("update");
    }
    return {};
}

template <> std::optional<Diagnostics::Category> fromRawValue<Diagnostics::Category>(QStringView raw)
{
    for (auto category : kCategories) {
        if (rawValue(category) == raw)
            return category;
    }
    return std::nullopt;
}

bool Diagnostics::enabledBy(const char* environmentValue)
{
    return environmentValue != nullptr && std::strcmp(environmentValue, "1") == 0;
}

bool Diagnostics::isEnabled()
{
    static const bool enabled = enabledBy(std::getenv("NIMBRA_DEBUG"));
    return enabled;
}

QByteArray Diagnostics::formatLine(double uptime, Category category, const QString& message)
{
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%8.3f", uptime);

    QString line;
    line.reserve(message.size() + 24);
    line += QLatin1Char('[');
    line += QLatin1String(stamp);
    line += QLatin1String("] ");
    line += rawValue(category).leftJustified(kCategoryColumns, QLatin1Char(' '), true);
    line += QLatin1Char(' ');
    line += message;
    line += QLatin1Char('\n');
    return line.toUtf8();
}

bool Diagnostics::writeLine(int fd, const QByteArray& line)
{
    ssize_t written;
    do {
        written = ::write(fd, line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(line.size());
}

void Diagnostics::write(Category category, const QString& message)
{
    writeLine(STDERR_FILENO, formatLine(uptime(), category, message));
}

} // namespace nimbra
