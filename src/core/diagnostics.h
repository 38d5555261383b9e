#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <concepts>
#include <optional>
#include <utility>

namespace nimbra {

template <typename E> std::optional<E> fromRawValue(QStringView raw);

// The one debug log. Off unless the process starts with NIMBRA_DEBUG=1; when off, a call costs
// one flag test and the message is never built.
class Diagnostics {
public:
    enum class Category { surface, hover, display, power, media, level, clipboard, timer, shelf, eyes, update };

    Diagnostics() = delete;

    // Read once, on first use; later changes to the environment have no effect.
    static bool isEnabled();

    // `message` is called only when logging is on: pass a lambda returning the text.
    template <typename MessageBuilder>
    requires std::invocable<MessageBuilder>
    static void log(Category category, MessageBuilder&& message)
    {
        if (!isEnabled())
            return;
        write(category, QString(std::forward<MessageBuilder>(message)()));
    }

    // A fixed text costs nothing to build, so literals may be passed directly.
    template <std::size_t N> static void log(Category category, const char (&literal)[N])
    {
        if (!isEnabled())
            return;
        write(category, QString::fromUtf8(literal, qsizetype(qstrnlen(literal, N))));
    }

    // The rule behind isEnabled(): the variable's value must be exactly "1".
    static bool enabledBy(const char* environmentValue);

    // "[" uptime "%8.3f" "] " category cut or padded to 7 " " message "\n", as UTF-8.
    static QByteArray formatLine(double uptime, Category category, const QString& message);

    // Hands the whole line to `fd` in one write, so lines from several threads never interleave.
    static bool writeLine(int fd, const QByteArray& line);

private:
    static void write(Category category, const QString& message);
};

QString rawValue(Diagnostics::Category category);
template <> std::optional<Diagnostics::Category> fromRawValue<Diagnostics::Category>(QStringView raw);

} // namespace nimbra
