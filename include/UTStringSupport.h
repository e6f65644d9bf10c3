#pragma once
// Conversions between strings and plain values, fixed texts, case and character classes, the
// library's converters and literals, thread-safe time conversions, placeholder substitution
// and text hashing.
//
// Width of values: the library defines its numbers as 32-bit. `long` and `unsigned long` are
// 64 bits wide here, but AUT_ToInt and AUT_ToUInt still return 32-bit values (wrapped modulo
// 2^32) and AUT_HashText computes in 32-bit arithmetic. Times are the exception: a `long` time
// is a 64-bit time_t, so times after 2038 work.
#include "AUTExport.h"

#include <I18NConverter.h>
#include <I18NLocale.h>
#include <I18NString.h>
#include <ctime>

// ---- Numbers and booleans to text ---------------------------------------------------------
// "%d", "%lu", "%ld" and "%.15g" of the value (the full 64-bit value for the two long forms):
// -5 -> "-5"; 4294967295UL -> "4294967295"; 0.1 -> "0.1"; 1.0/3.0 -> "0.333333333333333".
AUT_EXPORT I18NString AUT_ToString(int value);
AUT_EXPORT I18NString AUT_ToString(unsigned long value);
AUT_EXPORT I18NString AUT_ToString(long value);
AUT_EXPORT I18NString AUT_ToString(double value);
// The catalog's words for true and false, fetched from the catalog on every call.
AUT_EXPORT I18NString AUT_ToString(bool value);

// ---- Text to numbers and booleans ----------------------------------------------------------
// None of these throws. Leading white space and one sign are accepted, parsing stops at the
// first character that does not fit, and text without a leading number gives 0.

// The decimal value modulo 2^32, as unsigned: "-1" -> 4294967295; "4294967296" -> 0.
AUT_EXPORT unsigned long AUT_ToUInt(I18NString text);
// The decimal value modulo 2^32, as a signed 32-bit value: "  42abc" -> 42; "abc" -> 0;
// "2147483648" -> -2147483648; "4294967296" -> 0.
AUT_EXPORT long AUT_ToInt(I18NString text);
// Seconds since 1970-01-01 00:00:00 UTC, 64-bit; out-of-range values clamp to the extremes.
AUT_EXPORT long AUT_ToTime(I18NString text);
// atof of the text in the C locale's notation: "2.5e3" -> 2500.0; "abc" -> 0.0.
AUT_EXPORT double AUT_ToFloat(I18NString text);
// True exactly for the text "1"; "true", " 1", "" -> false.
AUT_EXPORT bool AUT_ToBool(I18NString text);

// ---- Fixed texts ---------------------------------------------------------------------------
// Texts of the library's catalog. The first call of one of these five, or of a substitution,
// fetches all five (and builds the placeholder table) once; later calls return copies and never
// fetch again. A failed fetch passes on what the catalog reports and is retried on the next
// call. That first call must end before other threads use these or the substitutions. The
// directory separator is "/" whatever a catalog says: it is path syntax, not a word.
AUT_EXPORT I18NString AUT_GetSpaceString();
AUT_EXPORT I18NString AUT_GetSeparatorString();
AUT_EXPORT I18NString AUT_GetQuoteString();
AUT_EXPORT I18NString AUT_GetColonString();
AUT_EXPORT I18NString AUT_GetDirSeparator();
// Fetched from the catalog on every call.
AUT_EXPORT I18NString AUT_GetUserCancelledString();
// A lone NUL, valid until unload.
AUT_EXPORT const char* AUT_GetEmptyCharPointer();
// The shared empty string, passed wherever a text argument is absent.
AUT_EXPORT const I18NString& AUT_GetEmptyString();

// ---- Comparison and case -------------------------------------------------------------------
// locale's collation: negative, zero or positive.
AUT_EXPORT long
AUT_CaseSensitiveCompare(const I18NString& a, const I18NString& b, const I18NLocale& locale);
// _stricmp of the narrow texts: both sides fold to lower case before comparing, so letters sort
// after '_' and '[' whatever their case ("a" and "A" both above "_"). Only ASCII letters fold.
AUT_EXPORT long AUT_CaseInsensitiveCompare(const I18NString& a, const I18NString& b);
// The same against a narrow text in the default encoding; a null `b` counts as "".
AUT_EXPORT long AUT_CaseInsensitiveCompare(const I18NString& a, const char* b);
// Locale-aware case mapping, in place.
AUT_EXPORT void AUT_ToLower(I18NString& s, const I18NLocale& locale);
AUT_EXPORT void AUT_ToUpper(I18NString& s, const I18NLocale& locale);
// The static locale "en-us", made on the first call.
AUT_EXPORT const I18NLocale& AUT_DefaultLocale();

// ---- Character classes ---------------------------------------------------------------------
// The char forms ask the C runtime for the current C locale; a char with the high bit set is
// classified as the unsigned byte it is (in the "C" locale: no class at all). The unsigned int
// forms take a Unicode code point (Unicode properties; out-of-range values give false).
AUT_EXPORT bool AUT_IsDigit(char c);
AUT_EXPORT bool AUT_IsAlpha(char c);
AUT_EXPORT bool AUT_IsSpace(char c);
AUT_EXPORT bool AUT_IsAlnum(char c);
AUT_EXPORT bool AUT_IsPunct(char c);
AUT_EXPORT bool AUT_IsDigit(unsigned int codePoint);
AUT_EXPORT bool AUT_IsAlpha(unsigned int codePoint);
AUT_EXPORT bool AUT_IsSpace(unsigned int codePoint);
AUT_EXPORT bool AUT_IsAlnum(unsigned int codePoint);
AUT_EXPORT bool AUT_IsPunct(unsigned int codePoint);

// ---- Converters and literals ---------------------------------------------------------------
// Copies of the library's converters ("iso-8859-1", "UTF8"), each caller its own, no lock.
// Between the first AUT_Initialize and the last AUT_Terminate only; outside, BrxAssertError
// "BRX_ASSERT(AUTg_Latin1Converter != NULL);" (or the UTF-8 one).
AUT_EXPORT I18NConverter AUT_GetLatin1Converter();
AUT_EXPORT I18NConverter AUT_GetUTF8Converter();
// The string of a NUL-terminated Latin-1 or UTF-8 text (null: empty), made through the
// library's converter under its own lock, so any thread may call. Same assertion as above.
AUT_EXPORT I18NString AUT_I18NLatin1Literal(const char* text);
AUT_EXPORT I18NString AUT_I18NUTF8Literal(const char* text);

// ---- Time conversions ----------------------------------------------------------------------
// glibc declares localtime_r and gmtime_r with these very signatures, so the library's forms
// live in namespace aut. A `long` time is a 64-bit time_t: seconds since 1970-01-01 00:00:00
// UTC, also after 2038. One lock serializes the three, so each caller gets a private copy of the
// C runtime's shared result. A time the C runtime cannot convert (a year beyond int) and null
// pointers give a null result and leave `result` or `buffer` untouched.
namespace aut {
// localtime/gmtime of *time copied into *result (the nine fields, and glibc's zone fields);
// returns result.
AUT_EXPORT tm* localtime_r(const long* time, tm* result);
AUT_EXPORT tm* gmtime_r(const long* time, tm* result);
// strncpy(buffer, ctime(time), length); returns buffer. With 26 bytes or more: the 24-character
// date text (years 1000 to 9999; other years are longer), a newline and a NUL. With fewer: the
// first `length` bytes and no NUL. A length of 0 or less writes nothing.
AUT_EXPORT char* ctime_r(const long* time, char* buffer, int length);
} // namespace aut

// ---- Substitution --------------------------------------------------------------------------
// Placeholders are "{0}".."{9}" and "{A}".."{F}" (capitals only); p1 fills "{0}", pA "{9}",
// pB "{A}" and pG "{F}". There is no escape: a placeholder without a parameter is removed.

// One left-to-right scan; inserted text is never scanned again, so this never fails.
// "{1}{0}{1}" with "x", "y" -> "yxy"; "{0}-{5}-{a}" with "x" -> "x--{a}".
AUT_EXPORT void AUT_SimpleSubstituteText(I18NString& text,
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
                                         const I18NString& pG);
AUT_EXPORT void AUT_SimpleSubstituteText(I18NString& text, const I18NString& p1);
AUT_EXPORT void
AUT_SimpleSubstituteText(I18NString& text, const I18NString& p1, const I18NString& p2);
AUT_EXPORT void AUT_SimpleSubstituteText(I18NString& text,
                                         const I18NString& p1,
                                         const I18NString& p2,
                                         const I18NString& p3);
AUT_EXPORT void AUT_SimpleSubstituteText(I18NString& text,
                                         const I18NString& p1,
                                         const I18NString& p2,
                                         const I18NString& p3,
                                         const I18NString& p4);

// Substitutes until the text no longer changes: passes over "{F}" down to "{0}", each
// placeholder searched from the start of the text, so inserted text is substituted too
// ("{0}" with p1 "{1}", p2 "z" -> "z"). After 16 passes that still changed something, throws
// AUT_Exception code 100, message 0x721A8D37 with the text " text=<entry text> p1=<p1> ...
// pG=<pG>", and `text` holds the result of the 16 passes; a parameter that contains its own
// placeholder always ends there. Parameters with several placeholders can multiply the text in
// every pass: a text that would grow beyond 16 Mi characters (or 16 times its entry length, if
// more) throws the same exception at once and holds the text of that moment.
AUT_EXPORT void AUT_SubstituteText(I18NString& text,
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
                                   const I18NString& pG);
AUT_EXPORT void AUT_SubstituteText(I18NString& text, const I18NString& p1);
AUT_EXPORT void AUT_SubstituteText(I18NString& text, const I18NString& p1, const I18NString& p2);
AUT_EXPORT void AUT_SubstituteText(I18NString& text,
                                   const I18NString& p1,
                                   const I18NString& p2,
                                   const I18NString& p3);
AUT_EXPORT void AUT_SubstituteText(I18NString& text,
                                   const I18NString& p1,
                                   const I18NString& p2,
                                   const I18NString& p3,
                                   const I18NString& p4);

// ---- Hashing -------------------------------------------------------------------------------
// A 28-bit hash of the low bytes of the code points, ASCII letters folded to upper case:
// "abc" and "ABC" -> 17763; "" -> 0. Code points that agree in their low 8 bits hash alike.
AUT_EXPORT unsigned long AUT_HashText(const I18NString& text);
