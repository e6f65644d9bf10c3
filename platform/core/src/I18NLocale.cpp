#include "I18NLocale.h"

#include "I18NCodecInternal.h"
#include "I18NString.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/ustring.h>

namespace {

// Hands out the keys of the per-thread collator cache; never reused, so a slot of a locale
// that is gone can never be mistaken for a newer one.
std::atomic<std::uint64_t> g_nextSerial{1};

icu::Locale makeIcuLocale(const std::string& name) {
    // ICU reads "en_US"; the library's names also come as "en-us".
    std::string icuName = name;
    for (char& c : icuName) {
        if (c == '-') {
            c = '_';
        }
    }
    return icu::Locale::createCanonical(icuName.c_str());
}

I18NString asciiString(const char* text) {
    return I18NString(text != nullptr ? text : "");
}

i18n::Utf16Buffer utf16(const I18NString& s) {
    const std::u32string& points = s.codePoints();
    return i18n::Utf16Buffer(points.data(), points.data() + points.size());
}

} // namespace

struct I18NLocale::Impl {
    std::string name;
    icu::Locale locale;
    std::string localeId;                  // ICU's id, for the C case-mapping functions
    std::unique_ptr<icu::Collator> master; // never used for comparing, only cloned
    std::uint64_t serial;

    explicit Impl(const char* givenName)
        : name(givenName != nullptr ? givenName : "")
        , locale(makeIcuLocale(name))
        , localeId(locale.getName())
        , serial(g_nextSerial.fetch_add(1, std::memory_order_relaxed)) {
        UErrorCode status = U_ZERO_ERROR;
        master.reset(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status)) {
            master.reset();
        }
    }

    // The calling thread's own copy of the collator: ICU collators are not to be shared
    // between threads, and cloning per call costs more than the comparison.
    icu::Collator* threadCollator() const {
        struct Slot {
            std::uint64_t serial = 0;
            std::unique_ptr<icu::Collator> collator;
        };
        constexpr std::size_t kSlots = 8;
        thread_local Slot slots[kSlots];
        thread_local std::size_t nextVictim = 0;
        for (Slot& slot : slots) {
            if (slot.serial == serial) {
                return slot.collator.get();
            }
        }
        Slot& slot = slots[nextVictim];
        nextVictim = (nextVictim + 1) % kSlots;
        slot.collator.reset(master->clone());
        slot.serial = slot.collator ? serial : 0;
        return slot.collator.get();
    }
};

I18NLocale::I18NLocale(const char* name)
    : f_impl(new Impl(name)) {}

I18NLocale::I18NLocale(const I18NLocale& other)
    : f_impl(new Impl(other.f_impl->name.c_str())) {}

I18NLocale& I18NLocale::operator=(const I18NLocale& other) {
    if (this != &other) {
        Impl* fresh = new Impl(other.f_impl->name.c_str());
        delete f_impl;
        f_impl = fresh;
    }
    return *this;
}

I18NLocale::~I18NLocale() {
    delete f_impl;
}

I18NString I18NLocale::getLanguage() const {
    return asciiString(f_impl->locale.getLanguage());
}

I18NString I18NLocale::getCountry() const {
    return asciiString(f_impl->locale.getCountry());
}

const char* I18NLocale::getName() const {
    return f_impl->name.c_str();
}

namespace {

// The order without a collator: by code point, equal texts equal.
int codePointOrder(const I18NString& a, const I18NString& b) {
    return a < b ? -1 : b < a ? 1 : 0;
}

} // namespace

int I18NLocale::compare(const I18NString& a, const I18NString& b) const {
    icu::Collator* collator = f_impl->master ? f_impl->threadCollator() : nullptr;
    if (collator == nullptr) {
        return codePointOrder(a, b);
    }
    const i18n::Utf16Buffer first = utf16(a);
    const i18n::Utf16Buffer second = utf16(b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = collator->compare(
        reinterpret_cast<const UChar*>(first.data()), static_cast<int32_t>(first.length()),
        reinterpret_cast<const UChar*>(second.data()), static_cast<int32_t>(second.length()),
        status);
    if (U_FAILURE(status)) {
        return codePointOrder(a, b);
    }
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

namespace {

using CaseMapping = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

void mapCase(I18NString& s, const char* localeId, CaseMapping mapping) {
    if (s.empty()) {
        return;
    }
    const i18n::Utf16Buffer source = utf16(s);
    const auto sourceLength = static_cast<int32_t>(source.length());
    const auto* sourceUnits = reinterpret_cast<const UChar*>(source.data());
    // Full case mapping may grow the text ("ß" -> "SS"); retry once with the exact size.
    std::u16string mapped(source.length() + 16, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length =
        mapping(reinterpret_cast<UChar*>(&mapped[0]), static_cast<int32_t>(mapped.size()),
                sourceUnits, sourceLength, localeId, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        mapped.resize(static_cast<std::size_t>(length));
        status = U_ZERO_ERROR;
        length = mapping(reinterpret_cast<UChar*>(&mapped[0]), length, sourceUnits, sourceLength,
                         localeId, &status);
    }
    if (U_FAILURE(status)) {
        return; // only a broken ICU fails here; the text stays as it was
    }
    std::u32string result;
    i18n::appendUtf16(result, mapped.data(), mapped.data() + length);
    s.codePoints().swap(result);
}

} // namespace

void I18NLocale::toLower(I18NString& s) const {
    mapCase(s, f_impl->localeId.c_str(), &u_strToLower);
}

void I18NLocale::toUpper(I18NString& s) const {
    mapCase(s, f_impl->localeId.c_str(), &u_strToUpper);
}
