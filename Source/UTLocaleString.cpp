#include "UTLocaleString.h"

#include <BrxException.h>

AUT_LocaleString::AUT_LocaleString(const I18NString& value)
    : f_originalValue(value) {}

AUT_LocaleString::ELocaleType AUT_LocaleString::GetLocaleType() {
    if (!f_parsed) {
        Parse();
        f_parsed = true;
    }
    return f_localeType;
}

I18NString AUT_LocaleString::GetOriginalValue() const {
    return f_originalValue;
}

I18NString AUT_LocaleString::GetCurrentValue() const {
    I18NString value;
    if (f_localeType >= kLocaleTypeLanguage) {
        value += f_language;
    }
    if (f_localeType >= kLocaleTypeLanguageRegion) {
        value += GetMarkerRegion();
        value += f_region;
    }
    if (f_localeType >= kLocaleTypeLanguageRegionVariant) {
        value += GetMarkerVariant();
        value += f_variant;
    }
    return value;
}

void AUT_LocaleString::StripVariant() {
    if (f_localeType == kLocaleTypeLanguageRegionVariant) {
        f_localeType = kLocaleTypeLanguageRegion;
    }
}

void AUT_LocaleString::StripRegion() {
    StripVariant();
    if (f_localeType == kLocaleTypeLanguageRegion) {
        f_localeType = kLocaleTypeLanguage;
    }
}

void AUT_LocaleString::StripLanguage() {
    StripRegion();
    if (f_localeType == kLocaleTypeLanguage) {
        f_localeType = kLocaleTypeNone;
    }
}

void AUT_LocaleString::Lex(const I18NString& text, unsigned long& position, Token& parsedToken) {
    parsedToken.f_type = Token::kTokenTypeUnknown;
    parsedToken.f_text.clear();
    const unsigned long length = static_cast<unsigned long>(text.length());
    if (position >= length) {
        parsedToken.f_type = Token::kTokenTypeEnd;
    } else {
        // The markers are ASCII, so comparing code points gives what comparing the Latin-1
        // bytes would: a code point beyond Latin-1 narrows to a substitute, never a marker.
        const char32_t first = text[static_cast<long>(position)];
        if (first == GetMarkerRegion()) {
            parsedToken.f_type = Token::kTokenTypeRegionMarker;
        } else if (first == GetMarkerVariant()) {
            parsedToken.f_type = Token::kTokenTypeVariantMarker;
        } else if (first == GetMarkerMIME()) {
            parsedToken.f_type = Token::kTokenTypeMIMEMarker;
        }
        if (parsedToken.f_type != Token::kTokenTypeUnknown) {
            ++position;
        } else {
            while (position < length) {
                const char32_t c = text[static_cast<long>(position)];
                if (c == GetMarkerRegion() || c == GetMarkerVariant() || c == GetMarkerMIME()) {
                    break;
                }
                parsedToken.f_text += c;
                ++position;
            }
            parsedToken.f_type = Token::kTokenTypeText;
        }
    }
    BRX_ASSERT(parsedToken.f_type != Token::kTokenTypeUnknown);
}

void AUT_LocaleString::Parse() {
    unsigned long position = 0;
    Token token;
    Lex(f_originalValue, position, token);
    if (token.f_type != Token::kTokenTypeText || token.f_text.length() != 2) {
        return;
    }
    f_localeType = kLocaleTypeLanguage;
    f_language = token.f_text;
    if (!ParseRuleRegion(position)) {
        // The parts read so far stay stored; the type alone says they do not count.
        f_localeType = kLocaleTypeNone;
    }
}

bool AUT_LocaleString::ParseRuleRegion(unsigned long position) {
    Token token;
    Lex(f_originalValue, position, token);
    if (token.f_type == Token::kTokenTypeEnd) {
        return true;
    }
    if (token.f_type != Token::kTokenTypeRegionMarker &&
        token.f_type != Token::kTokenTypeMIMEMarker) {
        return false;
    }
    Lex(f_originalValue, position, token);
    if (token.f_type != Token::kTokenTypeText || token.f_text.length() != 2) {
        return false;
    }
    f_localeType = kLocaleTypeLanguageRegion;
    f_region = token.f_text;
    return ParseRuleVariant(position);
}

bool AUT_LocaleString::ParseRuleVariant(unsigned long position) {
    Token token;
    Lex(f_originalValue, position, token);
    if (token.f_type == Token::kTokenTypeEnd) {
        return true;
    }
    if (token.f_type != Token::kTokenTypeVariantMarker &&
        token.f_type != Token::kTokenTypeMIMEMarker) {
        return false;
    }
    // The variant is the rest of the text, markers and all.
    const I18NString rest = f_originalValue.substring(static_cast<long>(position));
    if (rest.empty()) {
        return false;
    }
    f_localeType = kLocaleTypeLanguageRegionVariant;
    f_variant = rest;
    return true;
}
