// Strings of code points: UTF-8 decoding of hostile bytes, index arithmetic at the
// boundaries, and the narrow-text caches that every change must drop.
#include "Table.h"

#include <BrxException.h>
#include <I18NCodePoint.h>
#include <I18NConverter.h>
#include <I18NString.h>
#include <functional>
#include <gtest/gtest.h>
#include <utility>

namespace {

// Rows: bytes, the code points they decode to, the UTF-8 written back ("=": the bytes).
TEST(I18NString, DecodesUtf8AndWritesItBack) {
    for (const auttest::Row& row : auttest::ReadTable("I18NStringTest-utf8.tsv", 3)) {
        const std::string& bytes = row[0];
        SCOPED_TRACE(bytes);
        const std::u32string expected = auttest::CodePoints(row[1]);
        const I18NString s(bytes.c_str());
        EXPECT_EQ(s.codePoints(), expected);
        EXPECT_EQ(std::string(s.c_str()), row[2] == "=" ? bytes : row[2]);
        // Comparing with bytes decodes them the same way.
        EXPECT_TRUE(s == bytes.c_str());
        EXPECT_FALSE(s == (bytes + "x").c_str());
        EXPECT_FALSE(I18NString((bytes + "x").c_str()) == bytes.c_str());
    }
}

// Rows: find/rfind/findFirstOf, haystack, needle, start, expected index.
TEST(I18NString, FindsAtTheBoundaries) {
    for (const auttest::Row& row : auttest::ReadTable("I18NStringTest-find.tsv", 5)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " / " + row[2] + " @" + row[3]);
        const I18NString haystack(row[1].c_str());
        const I18NString needle(row[2].c_str());
        const long start = std::stol(row[3]);
        const long expected = std::stol(row[4]);
        EXPECT_EQ(row[0] == "find"    ? haystack.find(needle, start)
                  : row[0] == "rfind" ? haystack.rfind(needle, start)
                                      : haystack.findFirstOf(needle, start),
                  expected);
    }
}

const I18NString kXy("xy");

// Every change must drop both cached narrow texts, the UTF-8 one and the other encoding's.
void expectChanged(const std::function<void(I18NString&)>& change, const std::string& expected) {
    I18NString s("abcdef");
    ASSERT_STREQ(s.c_str(), "abcdef");
    ASSERT_STREQ(s.c_str("iso-8859-1"), "abcdef");
    change(s);
    EXPECT_EQ(std::string(s.c_str()), expected);
    EXPECT_STREQ(s.c_str("iso-8859-1"), I18NString(expected.c_str()).c_str("latin1"));
}

// Rows: operation, index, count or end, text, result of the operation on "abcdef".
TEST(I18NString, EditsClampAndDropTheNarrowCaches) {
    for (const auttest::Row& row : auttest::ReadTable("I18NStringTest-edits.tsv", 5)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2] + " " + row[3]);
        const long a = std::stol(row[1]);
        const long b = std::stol(row[2]);
        const I18NString text(row[3].c_str());
        expectChanged(
            [&](I18NString& s) {
                if (row[0] == "substring") {
                    s = s.substring(a, b);
                } else if (row[0] == "replace") {
                    s.replace(a, b, text);
                } else if (row[0] == "erase") {
                    s.erase(a, b);
                } else if (row[0] == "insert") {
                    s.insert(a, text);
                } else {
                    text.empty() ? s.resize(a) : s.resize(a, text[0]);
                }
            },
            row[4]);
    }
    const std::pair<const char*, std::function<void(I18NString&)>> others[] = {
        {"abcdef\u00E9", [](I18NString& s) { s += "\u00E9"; }},
        {"abcdefgh", [](I18NString& s) { s += I18NString("gh"); }},
        {"abcdef\u00E9", [](I18NString& s) { s += U'\u00E9'; }},
        {"xy", [](I18NString& s) { s = "xy"; }},
        {"bcdef", [](I18NString& s) { s = s.c_str() + 1; }},
        {"xy", [](I18NString& s) { s = kXy; }},
        {"mv", [](I18NString& s) { s = I18NString("mv"); }},
        {"", [](I18NString& s) { I18NString target(std::move(s)); }},
        {"", [](I18NString& s) { s.clear(); }},
        {"Zbcdef", [](I18NString& s) { *s.begin() = U'Z'; }},
        {"abcdeZ", [](I18NString& s) { *(s.end() - 1) = U'Z'; }},
        {"aZcdef", [](I18NString& s) { s.codePoints()[1] = U'Z'; }},
    };
    for (const auto& other : others) {
        SCOPED_TRACE(other.first);
        expectChanged(other.second, other.first);
    }
}

// The UTF-8 text and one other encoding's are kept until the string changes.
TEST(I18NString, NarrowTextsAreKeptPerEncoding) {
    I18NString s("\u00E9\u20AC\U0001F600");
    std::u32string& raw = s.codePoints();
    EXPECT_STREQ(s.c_str("windows-1252"), "\xE9\x80\x1A");
    EXPECT_STREQ(s.c_str("UTF8"), "\u00E9\u20AC\U0001F600");
    EXPECT_THROW(s.c_str(static_cast<const char*>(nullptr)), BrxException);
    const I18NConverter latin1("latin1");
    const char* utf8 = s.c_str();
    EXPECT_STREQ(s.c_str(latin1), "\xE9\x1A\x1A");
    // A write behind the caches' back is invisible to them: proof that nothing is converted
    // again. A name asks for the same text as the converter of that name.
    raw[0] = U'x';
    EXPECT_EQ(s.c_str(), utf8);
    EXPECT_STREQ(s.c_str(), "\u00E9\u20AC\U0001F600");
    EXPECT_STREQ(s.c_str(latin1), "\xE9\x1A\x1A");
    EXPECT_STREQ(s.c_str("ISO-8859-1"), "\xE9\x1A\x1A");
}

TEST(I18NString, ConstructionIndexesAndConcatenation) {
    I18NString ab("ab");
    EXPECT_EQ(ab[0], U'a');
    EXPECT_THROW(ab[2], BrxAssertError);
    EXPECT_THROW(ab[-1], BrxAssertError);
    EXPECT_THROW(ab.resize(-1), BrxAssertError);
    EXPECT_TRUE(I18NString(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(I18NString() == static_cast<const char*>(nullptr));
    EXPECT_FALSE(I18NString("a") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(I18NString(U'x', -5).empty());

    const I18NString a("a\u00E9");
    EXPECT_STREQ((a + I18NString("b")).c_str(), "a\u00E9b");
    EXPECT_STREQ((a + "b").c_str(), "a\u00E9b");
    EXPECT_STREQ(("b" + a).c_str(), "ba\u00E9");
    EXPECT_STREQ((a + U'\U0001F600').c_str(), "a\u00E9\U0001F600");
    EXPECT_STREQ(a.c_str(), "a\u00E9");
}

// Rows: code point (hex), its classes: d digit, l letter, s space, a alphanumeric,
// p punctuation ("-" none).
TEST(I18NCodePoint, Classes) {
    for (const auttest::Row& row : auttest::ReadTable("I18NStringTest-classes.tsv", 2)) {
        SCOPED_TRACE(row[0]);
        const unsigned int c = std::stoul(row[0], nullptr, 16);
        const std::string classes = std::string(I18NCodePointIsDigit(c) ? "d" : "") +
                                    (I18NCodePointIsLetter(c) ? "l" : "") +
                                    (I18NCodePointIsSpace(c) ? "s" : "") +
                                    (I18NCodePointIsAlphanumeric(c) ? "a" : "") +
                                    (I18NCodePointIsPunctuation(c) ? "p" : "");
        EXPECT_EQ(classes.empty() ? "-" : classes, row[1]);
    }
}

} // namespace
