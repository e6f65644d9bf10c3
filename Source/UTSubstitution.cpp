// Placeholder substitution: the simple one (one scan, inserted text never scanned again) and the
// nested one (passes until no placeholder is left, bounded in passes and growth).
#include "UTExceptionInternal.h"
#include "UTStringSupport.h"
#include "UTStringSupportInternal.h"

#include <I18NText.h>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

namespace {

constexpr std::uint32_t kSubstitutionLoopMessage = 0x721A8D37;
constexpr long kSubstitutionErrorCode = 100;
constexpr int kMaxNestedPasses = 16;
// Nested substitution gives up on a text longer than both of these (in code points).
constexpr std::size_t kNestedLengthLimit = std::size_t(1) << 24;
constexpr std::size_t kNestedGrowthLimit = 16; // times the length on entry

// ---- Substitution helpers --------------------------------------------------------------------

using i18n::nextPlaceholder;

void simpleSubstitute(I18NString& text, const I18NString* const (&parameters)[kPlaceholderCount]) {
    EnsureFixedTexts();
    const std::u32string& source = std::as_const(text).codePoints();
    const char32_t* const end = source.data() + source.size();
    int index = 0;
    const char32_t* found = nextPlaceholder(source.data(), end, index);
    if (found == end) {
        // Untouched, so the string keeps its converted narrow text.
        return;
    }
    std::u32string result;
    result.reserve(source.size() + source.size() / 2 + 16);
    const char32_t* copied = source.data();
    while (found != end) {
        result.append(copied, found);
        result += std::as_const(*parameters[index]).codePoints();
        copied = found + 3;
        found = nextPlaceholder(copied, end, index);
    }
    result.append(copied, end);
    text.codePoints().swap(result);
}

// Bit i set when placeholder i occurs in `text`.
unsigned placeholderMask(const std::u32string& text) {
    unsigned mask = 0;
    const char32_t* const end = text.data() + text.size();
    int index = 0;
    for (const char32_t* at = nextPlaceholder(text.data(), end, index); at != end;
         at = nextPlaceholder(at + 1, end, index)) {
        mask |= 1u << index;
    }
    return mask;
}

// Replaces every occurrence of `placeholder` in one scan. The search goes on behind each
// inserted text, and a placeholder cannot overlap itself, so this is the same as finding and
// replacing them one by one. Leaves `text` alone and returns false when the result would be
// longer than `limit`.
bool replaceAll(I18NString& text,
                const std::u32string& placeholder,
                const I18NString& value,
                std::size_t limit) {
    const std::u32string& source = std::as_const(text).codePoints();
    const std::u32string& inserted = value.codePoints();
    std::u32string result;
    result.reserve(std::min(limit, source.size() + inserted.size() + 16));
    std::size_t copied = 0;
    for (std::size_t at = source.find(placeholder); at != std::u32string::npos;
         at = source.find(placeholder, copied)) {
        if (result.size() + (at - copied) + inserted.size() > limit) {
            return false;
        }
        result.append(source, copied, at - copied);
        result += inserted;
        copied = at + placeholder.size();
    }
    if (result.size() + (source.size() - copied) > limit) {
        return false;
    }
    result.append(source, copied, std::u32string::npos);
    text.codePoints().swap(result);
    return true;
}

const char* const kParameterLabels[kPlaceholderCount] = {
    " p1=", " p2=", " p3=", " p4=", " p5=", " p6=", " p7=", " p8=",
    " p9=", " pA=", " pB=", " pC=", " pD=", " pE=", " pF=", " pG="};

[[noreturn]] void throwUnsettled(const I18NString& textOnEntry,
                                 const I18NString* const (&parameters)[kPlaceholderCount]) {
    I18NString diagnostic(" text=");
    diagnostic += textOnEntry;
    for (int i = 0; i < kPlaceholderCount; ++i) {
        diagnostic += kParameterLabels[i];
        diagnostic += *parameters[i];
    }
    const I18NString& none = AUT_GetEmptyString();
    AUT_THROW(kSubstitutionErrorCode, kSubstitutionLoopMessage, diagnostic, none, none, none, none,
              none);
}

void nestedSubstitute(I18NString& text, const I18NString* (&parameters)[kPlaceholderCount]) {
    EnsureFixedTexts();
    // A parameter that is `text` itself counts with its value on entry.
    I18NString textOnEntry;
    bool keptEntry = false;
    for (const I18NString*& parameter : parameters) {
        if (parameter == &text) {
            if (!keptEntry) {
                textOnEntry = text;
                keptEntry = true;
            }
            parameter = &textOnEntry;
        }
    }
    // Parameters with several placeholders can multiply the text in every pass.
    const std::size_t limit =
        std::max(kNestedLengthLimit, kNestedGrowthLimit * static_cast<std::size_t>(text.length()));

    bool changed = true;
    for (int pass = 0; pass < kMaxNestedPasses && changed; ++pass) {
        changed = false;
        unsigned present = placeholderMask(std::as_const(text).codePoints());
        for (int index = kPlaceholderCount - 1; index >= 0; --index) {
            if ((present & (1u << index)) == 0) {
                continue;
            }
            if (!keptEntry) {
                textOnEntry = text;
                keptEntry = true;
            }
            if (!replaceAll(text, AUTg_PlaceholderTable[index].codePoints(), *parameters[index],
                            limit)) {
                throwUnsettled(textOnEntry, parameters);
            }
            changed = true;
            // Inserted text, and its joins with its neighbours, may hold further placeholders.
            present = placeholderMask(std::as_const(text).codePoints());
        }
    }
    if (changed) {
        throwUnsettled(textOnEntry, parameters);
    }
}

// The parameters of an overload that takes only the first few: the others are empty.
struct FirstParameters {
    FirstParameters(std::initializer_list<const I18NString*> given) {
        std::fill(std::begin(f_all), std::end(f_all), &AUT_GetEmptyString());
        std::copy(given.begin(), given.end(), f_all);
    }
    const I18NString* f_all[kPlaceholderCount];
};

} // namespace

// ---- Substitution ----------------------------------------------------------------------------

void AUT_SimpleSubstituteText(I18NString& text,
                              const I18NString& p1,
                              const I18NString& p2,
                              const I18NString& p3,
                              const I18NString& p4,
                              const I18NString& p5,
                              const I18NString& p6,
                              const I18NString& p7,
                              const I18NString& p8,
                              const I18NString& p9,
                              const I18NString& pA,
                              const I18NString& pB,
                              const I18NString& pC,
                              const I18NString& pD,
                              const I18NString& pE,
                              const I18NString& pF,
                              const I18NString& pG) {
    const I18NString* const parameters[kPlaceholderCount] = {
        &p1, &p2, &p3, &p4, &p5, &p6, &p7, &p8, &p9, &pA, &pB, &pC, &pD, &pE, &pF, &pG};
    simpleSubstitute(text, parameters);
}

void AUT_SimpleSubstituteText(I18NString& text, const I18NString& p1) {
    FirstParameters parameters{&p1};
    simpleSubstitute(text, parameters.f_all);
}

void AUT_SimpleSubstituteText(I18NString& text, const I18NString& p1, const I18NString& p2) {
    FirstParameters parameters{&p1, &p2};
    simpleSubstitute(text, parameters.f_all);
}

void AUT_SimpleSubstituteText(I18NString& text,
                              const I18NString& p1,
                              const I18NString& p2,
                              const I18NString& p3) {
    FirstParameters parameters{&p1, &p2, &p3};
    simpleSubstitute(text, parameters.f_all);
}

void AUT_SimpleSubstituteText(I18NString& text,
                              const I18NString& p1,
                              const I18NString& p2,
                              const I18NString& p3,
                              const I18NString& p4) {
    FirstParameters parameters{&p1, &p2, &p3, &p4};
    simpleSubstitute(text, parameters.f_all);
}

void AUT_SubstituteText(I18NString& text,
                        const I18NString& p1,
                        const I18NString& p2,
                        const I18NString& p3,
                        const I18NString& p4,
                        const I18NString& p5,
                        const I18NString& p6,
                        const I18NString& p7,
                        const I18NString& p8,
                        const I18NString& p9,
                        const I18NString& pA,
                        const I18NString& pB,
                        const I18NString& pC,
                        const I18NString& pD,
                        const I18NString& pE,
                        const I18NString& pF,
                        const I18NString& pG) {
    const I18NString* parameters[kPlaceholderCount] = {&p1, &p2, &p3, &p4, &p5, &p6, &p7, &p8,
                                                       &p9, &pA, &pB, &pC, &pD, &pE, &pF, &pG};
    nestedSubstitute(text, parameters);
}

void AUT_SubstituteText(I18NString& text, const I18NString& p1) {
    FirstParameters parameters{&p1};
    nestedSubstitute(text, parameters.f_all);
}

void AUT_SubstituteText(I18NString& text, const I18NString& p1, const I18NString& p2) {
    FirstParameters parameters{&p1, &p2};
    nestedSubstitute(text, parameters.f_all);
}

void AUT_SubstituteText(I18NString& text,
                        const I18NString& p1,
                        const I18NString& p2,
                        const I18NString& p3) {
    FirstParameters parameters{&p1, &p2, &p3};
    nestedSubstitute(text, parameters.f_all);
}

void AUT_SubstituteText(I18NString& text,
                        const I18NString& p1,
                        const I18NString& p2,
                        const I18NString& p3,
                        const I18NString& p4) {
    FirstParameters parameters{&p1, &p2, &p3, &p4};
    nestedSubstitute(text, parameters.f_all);
}
