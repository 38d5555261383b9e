// The update feed is fetched from the network: its body is untrusted bytes.
#include "core/version.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto manifest = nimbra::UpdateManifest::decode(bytes);
    if (!manifest)
        return 0;
    // Whatever decodes names an https address with a host, fit to hand to the desktop.
    if (!manifest->url.isValid() || manifest->url.scheme().compare(u"https", Qt::CaseInsensitive) != 0
        || manifest->url.host().isEmpty())
        std::abort();
    // A version is never newer than itself.
    if (manifest->isNewer(manifest->version))
        std::abort();
    return 0;
}
