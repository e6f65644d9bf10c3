// Arbitrary bytes as UTF-8 and as Latin-1: construction never fails, the narrow texts round
// trip, and the string's invariants hold for every input.
#include <I18NConverter.h>
#include <I18NString.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool isScalarValue(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The constructors take NUL-terminated texts: stop at the first NUL as C callers do.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* text = bytes.c_str();
    const std::size_t textLength = std::strlen(text);

    const I18NString utf8(text);
    // Never more code points than bytes, and only scalar values come out of decoding.
    check(static_cast<std::size_t>(utf8.length()) <= textLength);
    for (char32_t c : utf8.codePoints()) {
        check(isScalarValue(c) && c != 0);
    }
    // What c_str() writes is well-formed UTF-8 that decodes to the same string; for
    // well-formed input it is the input itself.
    const std::string narrow = utf8.c_str();
    const I18NString again(narrow.c_str());
    check(again == utf8);
    check(utf8 == narrow.c_str());
    if (utf8.find(U'\uFFFD') < 0) {
        check(narrow == std::string(text, textLength));
    }
    // The cache gives the same text twice and follows a mutation.
    check(std::strcmp(utf8.c_str(), narrow.c_str()) == 0);

    static const I18NConverter latin1("iso-8859-1");
    const I18NString fromLatin1(text, latin1);
    check(static_cast<std::size_t>(fromLatin1.length()) == textLength);
    check(std::string(fromLatin1.c_str(latin1)) == std::string(text, textLength));
    // Latin-1 through UTF-8 and back loses nothing.
    const I18NString viaUtf8(fromLatin1.c_str());
    check(viaUtf8 == fromLatin1);
    check(std::string(viaUtf8.c_str("ISO-8859-1")) == std::string(text, textLength));

    // Index operations stay inside the string whatever the positions.
    const long length = utf8.length();
    const long position = size > 0 ? static_cast<long>(data[0]) - 8 : 0;
    // A negative end reaches the end of the string.
    const I18NString part = utf8.substring(position, position + 5);
    check(part.length() >= 0 && part.length() <= (position + 5 < 0 ? length : 5));
    const long found = utf8.find(part, position);
    check(found == -1 || (found >= 0 && found <= length));
    const long lastFound = utf8.rfind(part);
    check(part.empty() ? lastFound == length : lastFound >= 0);
    I18NString edited(utf8);
    edited.replace(position, 3, fromLatin1);
    edited.erase(position, 2);
    edited.insert(position, part);
    edited += U'\U0001F600';
    check(edited.length() >= 1);
    check(std::strlen(edited.c_str()) >= 4);
    return 0;
}
