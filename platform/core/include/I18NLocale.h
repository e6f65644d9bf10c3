#pragma once
// Locales: language and country, collation and case mapping (ICU).
#include "BrxExport.h"

#include <string>

class I18NString;

// A locale made from a name such as "en-us", "tr-TR" or "de_DE". Collation and case mapping
// follow that locale's rules (Turkish dotted and dotless i, German sharp s).
// Copyable; compare() is safe to call from several threads on one object.
class BRX_EXPORT I18NLocale {
public:
    explicit I18NLocale(const char* name);
    I18NLocale(const I18NLocale& other);
    I18NLocale& operator=(const I18NLocale& other);
    ~I18NLocale();

    // "en-us" -> "en" and "US"; empty when the name has no such part.
    I18NString getLanguage() const;
    I18NString getCountry() const;
    // The name as given to the constructor.
    const char* getName() const;

    // Collation order of this locale: negative, zero or positive.
    int compare(const I18NString& a, const I18NString& b) const;
    // Locale-aware full case mapping, in place ("ß" upper-cases to "SS").
    void toLower(I18NString& s) const;
    void toUpper(I18NString& s) const;

private:
    struct Impl;
    Impl* f_impl;
};
