#pragma once
// The two placeholder substitutions written out literally (sixteen finds, one replacement at a
// time), to check the library's faster versions against; shared by the tests and the fuzzer.
#include "UTStringSupport.h"

#include <vector>

namespace substitution {

inline const char* const kPlaceholders[16] = {"{0}", "{1}", "{2}", "{3}", "{4}", "{5}",
                                              "{6}", "{7}", "{8}", "{9}", "{A}", "{B}",
                                              "{C}", "{D}", "{E}", "{F}"};

// The simple algorithm: the nearest of the sixteen placeholders is replaced, then the search
// goes on after the inserted text.
inline void ReferenceSimple(I18NString& text, const std::vector<I18NString>& p) {
    long position = 0;
    for (;;) {
        long nearest = -1;
        int which = -1;
        for (int i = 0; i < 16; ++i) {
            const long at = text.find(I18NString(kPlaceholders[i]), position);
            if (at >= 0 && (nearest < 0 || at < nearest)) {
                nearest = at;
                which = i;
            }
        }
        if (nearest < 0) {
            return;
        }
        text.replace(nearest, 3, p[which]);
        position = nearest + p[which].length();
    }
}

enum class Outcome { kSettled, kUnsettled, kTooLong };

// The nested algorithm; gives up beyond 20000 characters to stay quick, far below the
// library's own bound (callers skip those cases).
inline Outcome ReferenceNested(I18NString& text, const std::vector<I18NString>& p) {
    for (int pass = 0; pass < 16; ++pass) {
        bool changed = false;
        for (int i = 15; i >= 0; --i) {
            long position = 0;
            for (;;) {
                const long at = text.find(I18NString(kPlaceholders[i]), position);
                if (at < 0) {
                    break;
                }
                text.replace(at, 3, p[i]);
                changed = true;
                position = at + p[i].length();
                if (text.length() > 20000) {
                    return Outcome::kTooLong;
                }
            }
        }
        if (!changed) {
            return Outcome::kSettled;
        }
    }
    return Outcome::kUnsettled;
}

// The library's substitutions with all sixteen parameters given.
inline void Simple16(I18NString& text, const std::vector<I18NString>& p) {
    AUT_SimpleSubstituteText(text, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9],
                             p[10], p[11], p[12], p[13], p[14], p[15]);
}

inline void Nested16(I18NString& text, const std::vector<I18NString>& p) {
    AUT_SubstituteText(text, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10],
                       p[11], p[12], p[13], p[14], p[15]);
}

} // namespace substitution
