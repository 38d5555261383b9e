// Version texts come from the update feed and from the build: parse any text.
#include "core/version.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const qsizetype length = static_cast<qsizetype>(size);
    for (const QString& text : { QString::fromUtf8(bytes, length), QString::fromLatin1(bytes, length) }) {
        const auto version = nimbra::Version::parse(text);
        if (!version)
            continue;
        if (version->parts().isEmpty())
            std::abort();
        for (qint64 part : version->parts())
            if (part < 0)
                std::abort();
        // The description reads back as the same version.
        const auto again = nimbra::Version::parse(version->description());
        if (!again || *again != *version || again->parts() != version->parts())
            std::abort();
        if (*version < *version)
            std::abort();
    }
    return 0;
}
