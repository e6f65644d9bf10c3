// Feeds arbitrary bytes to the message catalog reader: it must never crash, hang or read out
// of bounds, and what it accepts must be well-formed.
#include "../platform/core/src/BrxCatalog.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const brxcatalog::Catalog catalog =
        brxcatalog::parseCatalog(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (std::size_t i = 0; i < size; ++i) {
        lines += data[i] == '\n';
    }
    if (catalog.messages.size() + catalog.rejectedLines + catalog.duplicates > lines) {
        std::abort();
    }
    for (const auto& entry : catalog.messages) {
        for (char32_t c : entry.second) {
            // Only scalar values: no surrogates, nothing above U+10FFFF.
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                std::abort();
            }
        }
    }
    brxcatalog::Chain chain{std::make_shared<brxcatalog::Catalog>(catalog)};
    if (!catalog.messages.empty() &&
        brxcatalog::findMessage(chain, catalog.messages.begin()->first) == nullptr) {
        std::abort();
    }
    return 0;
}
