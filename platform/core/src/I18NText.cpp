// The exported face of the core's UTF-8 encoder (I18NCodecInternal.h), for the library.
#include "I18NText.h"

#include "I18NCodecInternal.h"

namespace i18n {

std::size_t utf8Size(const char32_t* first, const char32_t* last) {
    return utf8Length(first, last);
}

char* writeUtf8(const char32_t* first, const char32_t* last, char* out) {
    return encodeUtf8(first, last, out);
}

} // namespace i18n
