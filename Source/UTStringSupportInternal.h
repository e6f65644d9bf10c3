#pragma once
// The text support's statics and its hooks for the library's tests.
#include "AUTExport.h"

#include <I18NString.h>
#include <cstdint>

constexpr int kPlaceholderCount = 16;
// Slots of AUTg_FixedTexts, in the order they are fetched.
enum EFixedText {
    kFixedTextSpace,
    kFixedTextSeparator,
    kFixedTextQuote,
    kFixedTextColon,
    kFixedTextDirSeparator,
    kFixedTextCount
};

// From load to unload, empty until the first fixed-text or substitution call fills them
// (defined in UTLibraryStatics.cpp). Read-only once filled.
extern I18NString AUTg_PlaceholderTable[kPlaceholderCount]; // "{0}".."{9}", "{A}".."{F}"
extern I18NString AUTg_FixedTexts[kFixedTextCount];

// Fills the fixed texts and the placeholder table on the first call; a fetch that throws is
// passed on and tried again by the next call.
void EnsureFixedTexts();

// Where the text support fetches catalog texts; AUT_ResourceGetString unless a test sets
// another. Returns the previous fetcher. Not thread-safe: set it before any use.
using ResourceFetcher = I18NString (*)(std::uint32_t messageNumber);
AUT_TESTABLE ResourceFetcher SetResourceFetcherForTest(ResourceFetcher fetcher);
// Clears the done flag, so that the next fixed-text call fetches again.
AUT_TESTABLE void ResetFixedTextsForTest();
