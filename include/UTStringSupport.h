#pragma once
// Conversions between strings and plain values, fixed texts, character classes, converters,
// literals, time conversions, substitution and hashing.
#include "AUTExport.h"

#include <I18NLocale.h>
#include <I18NString.h>

// The static locale "en-us", made on the first call.
AUT_EXPORT const I18NLocale& AUT_DefaultLocale();
// The shared empty string, passed wherever a text argument is absent.
AUT_EXPORT const I18NString& AUT_GetEmptyString();
