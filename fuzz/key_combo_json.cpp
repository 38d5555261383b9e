// Stored hot keys come back from the settings file as arbitrary bytes.
#include "core/key_combo.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto combo = nimbra::KeyCombo::decoded(bytes);
    if (!combo)
        return 0;
    // What decodes must survive its own stored form unchanged and show itself.
    if (nimbra::KeyCombo::decoded(combo->encoded()) != combo)
        std::abort();
    if (combo->displayString().isEmpty())
        std::abort();
    return 0;
}
