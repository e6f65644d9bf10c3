// Names found in a log directory are outside input: anyone may leave files there. Each input is
// a base-name length byte followed by names, one per line, that go through the rotation's
// filter and its case-insensitive order. Nothing may crash; the filter must keep exactly the
// names the predicate accepts, in their order; the order must be a strict weak one.
#include "AUTInitialize.h"
#include "UTLogFile.h"
#include "UTLogFileInternal.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    AUT_Initialize("LogFileNameFuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // Small base lengths meet real names; the top bit asks for absurd lengths as well.
    const unsigned long baseLength = data[0] & 0x7F;
    const bool hugeLengths = (data[0] & 0x80) != 0;
    std::vector<I18NString> names;
    std::string current;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == '\n') {
            names.emplace_back(current.c_str());
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    names.emplace_back(current.c_str());
    if (names.size() > 256) {
        names.resize(256);
    }

    const AUT_PredicateLogFileNameIsValid isValid(baseLength, 8, 4);
    std::vector<I18NString> expected;
    for (const I18NString& name : names) {
        if (isValid(name)) {
            expected.push_back(name);
        }
        if (hugeLengths) {
            Check(!AUT_PredicateLogFileNameIsValid(0xFFFFFFFFUL, 0xFFFFFFFFUL, 4)(name));
            AUT_PredicateLogFileNameIsValid(baseLength, 0xFFFFFFFFUL, 0)(name);
        }
    }

    LogFileTestAccess::SetLogBaseName(I18NString(U'b', static_cast<long>(baseLength)));
    std::vector<I18NString> filtered = names;
    LogFileTestAccess::FilterExistingLogFileNames(filtered);
    Check(filtered == expected);
    for (const I18NString& name : filtered) {
        // A kept name always yields a sequence number (0 when not of today).
        Check(LogFileTestAccess::GetLastSequenceNumber(name) <= 9999);
    }

    const AUT_PredicateStringCompare less(I18NString{});
    for (const I18NString& a : names) {
        Check(!less(a, a));
        for (const I18NString& b : names) {
            Check(!(less(a, b) && less(b, a)));
        }
    }
    std::sort(names.begin(), names.end(), less);
    Check(std::is_sorted(names.begin(), names.end(), less));
    return 0;
}
