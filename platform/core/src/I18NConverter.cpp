#include "I18NConverter.h"

#include "BrxException.h"
#include "I18NCodecInternal.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace {

enum class EKind { kUtf8, kLatin1, kOther };

[[noreturn]] void throwUnknownEncoding(const char* name) {
    const std::string text = std::string("Unknown encoding \"") + (name ? name : "(null)") + "\"";
    BrxException(text.c_str()).hurl(BrxFileLocation(__FILE__, __LINE__), "BrxCore", "BRX_THROW");
}

// ICU's own substitute callback gives U+001A instead of U+FFFD in some encodings; one
// replacement character for every bad byte sequence is easier to promise and to test for.
void toUnicodeReplacement(const void* /*context*/,
                          UConverterToUnicodeArgs* arguments,
                          const char* /*codeUnits*/,
                          int32_t /*length*/,
                          UConverterCallbackReason reason,
                          UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) {
        return; // reset, close, clone: nothing to write
    }
    const UChar replacement = 0xFFFD;
    *status = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(arguments, &replacement, 1, 0, status);
}

// decodeMultiByte's U+FFFD means a bad sequence, unless the three bytes were U+FFFD itself.
bool isValidUtf8(const unsigned char* p, const unsigned char* end) {
    while (p != end) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) {
                break;
            }
            p += 8;
        }
        if (p == end) {
            break;
        }
        const unsigned char lead = *p++;
        if (lead < 0x80) {
            continue;
        }
        const unsigned char* const trail = p;
        if (i18n::decodeMultiByte(lead, p, end) == i18n::kReplacement &&
            !(lead == 0xEF && p - trail == 2)) {
            return false;
        }
    }
    return true;
}

UConverter* openConverter(const char* name) {
    // ICU opens its default converter for an empty name: no caller means that.
    if (name == nullptr || *name == '\0') {
        throwUnknownEncoding(name);
    }
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &status);
    if (U_FAILURE(status) || converter == nullptr) {
        throwUnknownEncoding(name);
    }
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, toUnicodeReplacement, nullptr, nullptr, nullptr, &status);
    return converter;
}

} // namespace

struct I18NConverter::Impl {
    UConverter* converter = nullptr;
    EKind kind = EKind::kOther;
    char latin1Substitute = 0x1A;

    explicit Impl(UConverter* opened)
        : converter(opened) {
        const UConverterType type = ucnv_getType(converter);
        if (type == UCNV_UTF8) {
            kind = EKind::kUtf8;
        } else if (type == UCNV_LATIN_1) {
            kind = EKind::kLatin1;
            char substitute[4];
            int8_t length = sizeof substitute;
            UErrorCode status = U_ZERO_ERROR;
            ucnv_getSubstChars(converter, substitute, &length, &status);
            if (U_SUCCESS(status) && length == 1) {
                latin1Substitute = substitute[0];
            }
        }
    }
    ~Impl() { ucnv_close(converter); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

I18NConverter::I18NConverter(const char* encoding)
    : f_impl(new Impl(openConverter(encoding))) {}

I18NConverter::I18NConverter(const I18NConverter& other)
    : f_impl(nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* clone = ucnv_clone(other.f_impl->converter, &status);
    if (U_FAILURE(status) || clone == nullptr) {
        clone = openConverter(other.getName());
    }
    // A clone keeps the replacement callback of its original.
    f_impl = new Impl(clone);
}

I18NConverter& I18NConverter::operator=(const I18NConverter& other) {
    if (this != &other) {
        I18NConverter copy(other);
        std::swap(f_impl, copy.f_impl);
    }
    return *this;
}

I18NConverter::~I18NConverter() {
    delete f_impl;
}

const char* I18NConverter::getName() const {
    UErrorCode status = U_ZERO_ERROR;
    const char* name = ucnv_getName(f_impl->converter, &status);
    return U_SUCCESS(status) && name ? name : "";
}

bool I18NConverter::isValid(const char* text, std::size_t length) const {
    switch (f_impl->kind) {
    case EKind::kUtf8: {
        const auto* p = reinterpret_cast<const unsigned char*>(text);
        return isValidUtf8(p, p + length);
    }
    case EKind::kLatin1:
        return true;
    case EKind::kOther:
        break;
    }
    // A converter of its own that stops at the first bad sequence instead of substituting.
    UErrorCode status = U_ZERO_ERROR;
    UConverter* const strict = ucnv_open(getName(), &status);
    if (U_FAILURE(status)) {
        return false;
    }
    ucnv_setToUCallBack(strict, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    UChar units[1024];
    const char* source = text;
    const char* const sourceEnd = text + length;
    do {
        UChar* target = units;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(strict, &target, units + 1024, &source, sourceEnd, nullptr, true, &status);
    } while (status == U_BUFFER_OVERFLOW_ERROR);
    ucnv_close(strict);
    return U_SUCCESS(status);
}

void I18NConverter::appendCodePoints(std::u32string& out,
                                     const char* text,
                                     std::size_t length) const {
    if (length == 0) {
        return;
    }
    switch (f_impl->kind) {
    case EKind::kUtf8:
        i18n::appendUtf8(out, text, length);
        return;
    case EKind::kLatin1: {
        const std::size_t old = out.size();
        out.resize(old + length);
        for (std::size_t i = 0; i < length; ++i) {
            out[old + i] = static_cast<unsigned char>(text[i]);
        }
        return;
    }
    case EKind::kOther:
        break;
    }
    // Every encoding ICU knows produces at most two UTF-16 units per byte, plus what a
    // stateful converter may flush at the end.
    std::u16string units(2 * length + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t written = ucnv_toUChars(f_impl->converter, reinterpret_cast<UChar*>(&units[0]),
                                    static_cast<int32_t>(units.size()), text,
                                    static_cast<int32_t>(length), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        units.assign(static_cast<std::size_t>(written) + 1, u'\0');
        status = U_ZERO_ERROR;
        written = ucnv_toUChars(f_impl->converter, reinterpret_cast<UChar*>(&units[0]),
                                static_cast<int32_t>(units.size()), text,
                                static_cast<int32_t>(length), &status);
    }
    if (U_FAILURE(status)) {
        // The substitute callback maps every bad byte, so only a broken ICU gets here.
        out.append(1, i18n::kReplacement);
        return;
    }
    i18n::appendUtf16(out, units.data(), units.data() + written);
}

void I18NConverter::toNarrow(const char32_t* begin, const char32_t* end, std::string& out) const {
    switch (f_impl->kind) {
    case EKind::kUtf8:
        i18n::toUtf8(begin, end, out);
        return;
    case EKind::kLatin1: {
        out.resize(static_cast<std::size_t>(end - begin));
        char* target = &out[0];
        for (const char32_t* p = begin; p != end; ++p) {
            *target++ = *p < 0x100 ? static_cast<char>(*p) : f_impl->latin1Substitute;
        }
        return;
    }
    case EKind::kOther:
        break;
    }
    std::u16string units;
    i18n::toUtf16(begin, end, units);
    const int32_t unitCount = static_cast<int32_t>(units.size());
    out.resize(UCNV_GET_MAX_BYTES_FOR_STRING(unitCount, ucnv_getMaxCharSize(f_impl->converter)));
    UErrorCode status = U_ZERO_ERROR;
    int32_t written =
        ucnv_fromUChars(f_impl->converter, &out[0], static_cast<int32_t>(out.size()),
                        reinterpret_cast<const UChar*>(units.data()), unitCount, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(static_cast<std::size_t>(written) + 1);
        status = U_ZERO_ERROR;
        written = ucnv_fromUChars(f_impl->converter, &out[0], static_cast<int32_t>(out.size()),
                                  reinterpret_cast<const UChar*>(units.data()), unitCount, &status);
    }
    out.resize(U_FAILURE(status) ? 0 : static_cast<std::size_t>(written));
}

std::u32string I18NConverter::toCodePoints(const char* text, std::size_t length) const {
    std::u32string result;
    appendCodePoints(result, text, length);
    return result;
}

std::string I18NConverter::fromCodePoints(const std::u32string& codePoints) const {
    std::string result;
    toNarrow(codePoints.data(), codePoints.data() + codePoints.size(), result);
    return result;
}
