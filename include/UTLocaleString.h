#pragma once
// Locale names such as "en_US.UTF-8", split into language, region and variant, rebuilt in one
// form, and made more general one part at a time.
#include "AUTExport.h"

#include <I18NString.h>

// Value type. The name is parsed once, on the first GetLocaleType(); the strips then lower the
// type and nothing raises it again. Not thread-safe per object.
//
// Accepted: a 2-character language, then optionally "_" or "-" and a 2-character region, then
// optionally "." or "-" and a variant of at least one character (markers allowed inside).
// Characters are not checked otherwise and their case is kept.
//   "en"               -> language                 "en"
//   "en-us"            -> language, region         "en_us"
//   "en-us-x"          -> language, region, variant "en_us.x"
//   "en_US.ISO-8859-1" -> language, region, variant "en_US.ISO-8859-1"
// Anything else is type none with an empty current value, not an error: "", "eng", "en_",
// "en_USA", "en_US." (nothing after the marker), "en_US_x", "en.UTF-8" (no region), "_US".
class AUT_EXPORT AUT_LocaleString {
public:
    enum ELocaleType {
        kLocaleTypeNone = 0, // not parsed yet, not a locale name, or everything stripped
        kLocaleTypeLanguage = 1,
        kLocaleTypeLanguageRegion = 2,
        kLocaleTypeLanguageRegionVariant = 3,
    };

    explicit AUT_LocaleString(const I18NString& value);

    // Parses on the first call; then the parsed type, lowered by any strips since.
    ELocaleType GetLocaleType();
    // The constructor's text, unchanged by parsing and strips.
    I18NString GetOriginalValue() const;
    // The parts in force joined by "_" and "." whatever the original separators; empty for
    // type none. Does not parse: before the first GetLocaleType() it is empty.
    I18NString GetCurrentValue() const;

    // Each drops its own part and the parts after it: the type goes down to at most 2, 1 or 0.
    // They do not parse: before the first GetLocaleType() they change nothing.
    void StripVariant();
    void StripRegion();
    void StripLanguage();

private:
    struct Token {
        enum ETokenType {
            kTokenTypeUnknown = 0,
            kTokenTypeText = 1,          // one or more characters, none a marker
            kTokenTypeRegionMarker = 2,  // "_"
            kTokenTypeVariantMarker = 3, // "."
            kTokenTypeMIMEMarker = 4,    // "-"
            kTokenTypeEnd = 5,
        };
        ETokenType f_type = kTokenTypeUnknown;
        I18NString f_text;
    };

    // The token at `position`, which moves past it (not at the end).
    void Lex(const I18NString& text, unsigned long& position, Token& parsedToken);
    void Parse();
    // The rest of the name after the language, from `position`; false when it does not fit.
    bool ParseRuleRegion(unsigned long position);
    bool ParseRuleVariant(unsigned long position);

    char32_t GetMarkerRegion() const { return U'_'; }
    char32_t GetMarkerVariant() const { return U'.'; }
    char32_t GetMarkerMIME() const { return U'-'; }

    I18NString f_originalValue;
    bool f_parsed = false;
    ELocaleType f_localeType = kLocaleTypeNone;
    // Parts keep their text after a strip lowers the type past them; only the type counts.
    I18NString f_language;
    I18NString f_region;
    I18NString f_variant;
};
