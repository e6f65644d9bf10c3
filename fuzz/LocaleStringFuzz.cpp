// Locale names from outside: any text parses without failing, and what comes out is stable:
// the current value of an accepted name parses again to the same type and the same value,
// and each strip lowers the type to at most its own level.
#include "UTLocaleString.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    AUT_LocaleString locale{I18NString(text.c_str())};
    const AUT_LocaleString::ELocaleType type = locale.GetLocaleType();
    const I18NString current = locale.GetCurrentValue();
    if (type == AUT_LocaleString::kLocaleTypeNone) {
        if (!current.empty()) {
            std::abort();
        }
        return 0;
    }

    AUT_LocaleString again(current);
    if (again.GetLocaleType() != type || again.GetCurrentValue() != current) {
        std::abort();
    }

    locale.StripVariant();
    if (locale.GetLocaleType() > AUT_LocaleString::kLocaleTypeLanguageRegion) {
        std::abort();
    }
    locale.StripRegion();
    if (locale.GetLocaleType() > AUT_LocaleString::kLocaleTypeLanguage) {
        std::abort();
    }
    locale.StripLanguage();
    if (locale.GetLocaleType() != AUT_LocaleString::kLocaleTypeNone ||
        !locale.GetCurrentValue().empty()) {
        std::abort();
    }
    return 0;
}
