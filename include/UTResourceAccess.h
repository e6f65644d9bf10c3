#pragma once
// Texts of numbered messages, from the message catalogs that the library has opened: one
// catalog object per (component, locale), opened on first use and kept until the library's
// last termination.
#include "AUTExport.h"
#include "UTRefPtr.h"

#include <BrxMessage.h>
#include <I18NString.h>
#include <cstdint>
#include <map>
#include <utility>

// Orders (component, locale) keys by the component first, then the locale, each with
// I18NString::operator<. Transparent, so that a look-up needs no copy of its two strings.
struct AUT_ResourceKeyLess {
    using is_transparent = void;
    template <class Left, class Right> bool operator()(const Left& left, const Right& right) const {
        if (left.first < right.first) {
            return true;
        }
        if (right.first < left.first) {
            return false;
        }
        return left.second < right.second;
    }
};

// (component name, locale name) -> the catalog object "<component>msgs". Several keys may share
// one object (aliases); each entry holds one reference.
using AUT_ResourceMap =
    std::map<std::pair<I18NString, I18NString>, AUT_RefPtr<BrxMessageFile>, AUT_ResourceKeyLess>;

// All functions below need an initialized library and are safe to call from several threads:
// one lock serializes the map and the catalog objects (selecting a message and formatting it
// are one step). The lock is re-entrant, so a caller may hold it around several calls.

// Sets `result` to the entry (component, fileLocale), or to the map's end when there is none.
// When found and `locale` differs from `fileLocale`, the entry is also stored under
// (component, locale), sharing the one catalog object, and `result` is set to that entry.
// Opens nothing. The iterator stays valid until the library's last termination.
AUT_EXPORT void FindFileInResourceMap(const I18NString& component,
                                      const I18NString& fileLocale,
                                      const I18NString& locale,
                                      AUT_ResourceMap::iterator& result);

// Writes into `result` the text of message `messageNumber` of "<component>msgs", formatted for
// `locale` ("en-us" when empty), opening the catalog under (component, locale) on first use.
// A number or catalog that cannot be found gives a text naming the number (never throws for
// that); BrxAssertError "BRX_ASSERT_NAMED(false, "Unable to load the resource file.");" when
// no catalog object can be made. Placeholders stay in the text.
AUT_EXPORT void AUT_ResourceLoadString(const I18NString& component,
                                       const I18NString& locale,
                                       std::uint32_t messageNumber,
                                       I18NString& result);
AUT_EXPORT void AUT_ResourceLoadString(const I18NString& component,
                                       const I18NString& locale,
                                       int messageNumber,
                                       I18NString& result);

// The text of message `messageNumber` of the library's own catalog (component "UT", empty
// locale, formatted for "en-us"). Takes the number as written in the tables (0xF7C73265) or
// as the int it wraps to; both are the same message.
AUT_EXPORT I18NString AUT_ResourceGetString(std::uint32_t messageNumber);
AUT_EXPORT I18NString AUT_ResourceGetString(int messageNumber);

// The number of entries in the resource map (aliases included), or -1 when there is no map:
// for tests and tools.
AUT_TESTABLE long ResourceMapSize();
