#include "crt_string.h"

#include <strings.h>

namespace {

const char* orEmpty(const char* text) {
    return text != nullptr ? text : "";
}

} // namespace

int _stricmp(const char* a, const char* b) {
    return strcasecmp(orEmpty(a), orEmpty(b));
}

int _strnicmp(const char* a, const char* b, unsigned long count) {
    return strncasecmp(orEmpty(a), orEmpty(b), count);
}
