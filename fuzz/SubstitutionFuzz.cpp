// Both substitutions and the hash over arbitrary text and parameters, each checked against the
// literal algorithm (sixteen finds, replace one by one).
//
// Input: up to 17 pieces separated by the byte 0x1F: the text, then p1..pG. Invalid UTF-8
// becomes U+FFFD, as everywhere in the library.
#include "SubstitutionReference.h"
#include "UTException.h"
#include "UTStringSupport.h"
#include "UTStringSupportInternal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace substitution;

// The fixed texts come from the catalog on first use; the fuzzer runs without one.
I18NString noCatalog(std::uint32_t) {
    return I18NString();
}

std::uint32_t referenceHash(const I18NString& text) {
    std::uint32_t h = 0;
    for (const char32_t cp : text.codePoints()) {
        int c = static_cast<signed char>(cp & 0xFF);
        if (c >= 'a' && c <= 'z') {
            c = c - 'a' + 'A';
        }
        h = (h << 4) + static_cast<std::uint32_t>(c);
        if ((h & 0xF0000000u) != 0) {
            h = (h ^ ((h & 0xF0000000u) >> 24)) & 0x0FFFFFFFu;
        }
    }
    return h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        SetResourceFetcherForTest(noCatalog);
        return true;
    }();
    (void)ready;

    // Small inputs find the same faults and keep each run fast.
    if (size > 1024) {
        return 0;
    }
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0x1F && pieces.size() < 17) {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    const I18NString original(pieces[0].c_str());
    std::vector<I18NString> p(16);
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        p[i - 1] = I18NString(pieces[i].c_str());
    }

    I18NString expected = original;
    ReferenceSimple(expected, p);
    I18NString actual = original;
    Simple16(actual, p);
    if (actual != expected) {
        std::abort();
    }

    expected = original;
    const Outcome outcome = ReferenceNested(expected, p);
    if (outcome == Outcome::kTooLong) {
        // The library bounds growth too, but far beyond what the reference can follow quickly.
        return 0;
    }
    const bool settles = outcome == Outcome::kSettled;
    actual = original;
    bool threw = false;
    try {
        Nested16(actual, p);
    } catch (const AUT_Exception& error) {
        threw = error.getErrorCode() == 100;
        if (!threw) {
            std::abort();
        }
    }
    if (threw == settles || actual != expected) {
        std::abort();
    }

    if (AUT_HashText(original) != referenceHash(original)) {
        std::abort();
    }
    return 0;
}
