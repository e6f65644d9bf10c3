// Strings of code points: UTF-8 decoding of hostile bytes, index arithmetic at the
// boundaries, and the narrow-text cache that every mutation must drop.
#include <BrxException.h>
#include <I18NCodePoint.h>
#include <I18NConverter.h>
#include <I18NString.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

std::string hex(const std::u32string& points) {
    std::string out;
    char buffer[16];
    for (char32_t c : points) {
        std::snprintf(buffer, sizeof buffer, "%s%X", out.empty() ? "" : " ", unsigned(c));
        out += buffer;
    }
    return out;
}

} // namespace

TEST(I18NString, Utf8RoundTrips) {
    struct Case {
        const char* text;
        long length;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 3},
        {"\xC3\xA9", 1},         // é, two bytes
        {"\xE2\x82\xAC", 1},     // €, three bytes
        {"\xF0\x9F\x98\x80", 1}, // U+1F600, four bytes
        {"\xF4\x8F\xBF\xBF", 1}, // U+10FFFF, the last code point
        {"0123456\xC3\xA9"
         "0123456789",
         18}, // non-ASCII where the 8-byte block ends
        {"01234567\xF0\x9F\x98\x80"
         "abcdefgh\xE2\x82\xAC",
         18},
        {"\xEF\xBB\xBF"
         "bom",
         4}, // a byte order mark is a code point like any other
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const I18NString s(c.text);
        EXPECT_EQ(s.length(), c.length);
        EXPECT_STREQ(s.c_str(), c.text);
        EXPECT_TRUE(s == c.text);
        EXPECT_EQ(I18NString(s.c_str()), s);
    }
}

TEST(I18NString, NonBmpCodePointIsOneIndex) {
    const I18NString s("a\xF0\x9F\x98\x80z");
    ASSERT_EQ(s.length(), 3);
    EXPECT_EQ(s[1], U'\U0001F600');
    EXPECT_EQ(s.find(U'z'), 2);
    EXPECT_EQ(std::string(I18NString(U'\U0001F600', 1).c_str()), "\xF0\x9F\x98\x80");
    EXPECT_EQ(s.substring(1, 2), I18NString(U'\U0001F600', 1));
}

TEST(I18NString, MalformedUtf8BecomesReplacementPerMaximalSubpart) {
    struct Case {
        const char* bytes;
        std::u32string expected;
    };
    const Case cases[] = {
        {"\xC3", U"\uFFFD"},         // truncated two-byte sequence
        {"\xE2\x82", U"\uFFFD"},     // truncated three-byte: one subpart
        {"\xF0\x9F\x98", U"\uFFFD"}, // truncated four-byte: one subpart
        {"\xF0\x9F\x98"
         "a",
         U"\uFFFDa"},                            // truncated, then ASCII resumes
        {"\x80", U"\uFFFD"},                     // lone continuation byte
        {"\x80\xBF\x80", U"\uFFFD\uFFFD\uFFFD"}, // each continuation byte on its own
        {"\xC0\xAF", U"\uFFFD\uFFFD"},           // overlong '/' (C0, C1 never lead)
        {"\xC1\xBF", U"\uFFFD\uFFFD"},
        {"\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},           // overlong three-byte
        {"\xF0\x80\x80\xAF", U"\uFFFD\uFFFD\uFFFD\uFFFD"}, // overlong four-byte
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},           // encoded high surrogate
        {"\xED\xBF\xBF", U"\uFFFD\uFFFD\uFFFD"},           // encoded low surrogate
        {"\xED\x9F\xBF", U"\uD7FF"},                       // last code point before them
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xF5\x80", U"\uFFFD\uFFFD"},
        {"\xF8\x88\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xFE\xFF", U"\uFFFD\uFFFD"},
        {"a\xC3"
         "b",
         U"a\uFFFDb"},                         // lead byte followed by ASCII
        {"\xE2\x82\xC3\xA9", U"\uFFFD\u00E9"}, // truncated, then a valid sequence
        {"0123456789\xFF"
         "abcdef",
         U"0123456789\uFFFDabcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const I18NString s(c.bytes);
        EXPECT_EQ(hex(s.codePoints()), hex(c.expected));
        // Comparing against the bytes decodes them the same way.
        EXPECT_TRUE(s == c.bytes);
        // Appending decodes them the same way too.
        I18NString appended("x");
        appended += c.bytes;
        EXPECT_EQ(hex(appended.substring(1).codePoints()), hex(c.expected));
    }
}

TEST(I18NString, InvalidStoredCodePointsWriteReplacement) {
    const char32_t points[] = {0xD800, 0xDFFF, 0x110000, 0xFFFFFFFF};
    for (char32_t c : points) {
        SCOPED_TRACE(unsigned(c));
        I18NString s(c, 2);
        EXPECT_STREQ(s.c_str(), "\xEF\xBF\xBD\xEF\xBF\xBD");
        EXPECT_STREQ(s.c_str("iso-8859-1"), "\x1A\x1A");
    }
}

TEST(I18NString, ConstructionEdges) {
    EXPECT_TRUE(I18NString(static_cast<const char*>(nullptr)).empty());
    EXPECT_TRUE(I18NString() == static_cast<const char*>(nullptr));
    EXPECT_FALSE(I18NString("a") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(I18NString(U'x', 0).empty());
    EXPECT_TRUE(I18NString(U'x', -5).empty());
    EXPECT_STREQ(I18NString(U'\u00E9', 3).c_str(), "\xC3\xA9\xC3\xA9\xC3\xA9");
}

TEST(I18NString, EqualityAgainstNarrowText) {
    struct Case {
        const char* left;
        const char* right;
        bool equal;
    };
    const Case cases[] = {
        {"abc", "abc", true},     {"abc", "ab", false},
        {"ab", "abc", false},     {"", "", true},
        {"", "a", false},         {"\xC3\xA9", "\xC3\xA9", true},
        {"\xC3\xA9", "e", false}, {"\xEF\xBF\xBD", "\xFF", true}, // the decoded forms match
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " == " + c.right);
        EXPECT_EQ(I18NString(c.left) == c.right, c.equal);
        EXPECT_EQ(I18NString(c.left) != c.right, !c.equal);
    }
}

TEST(I18NString, OrderServesAsMapKey) {
    std::map<I18NString, int> map;
    map[I18NString("b")] = 2;
    map[I18NString("a\xF0\x9F\x98\x80")] = 3; // above every BMP code point
    map[I18NString("a\xEF\xBF\xBD")] = 4;
    map[I18NString("a")] = 1;
    std::string order;
    for (const auto& entry : map) {
        order += std::to_string(entry.second);
    }
    EXPECT_EQ(order, "1432");
    EXPECT_EQ(map.count(I18NString("b")), 1u);
}

TEST(I18NString, Find) {
    struct Case {
        const char* haystack;
        const char* needle;
        long start;
        long expected;
    };
    const Case cases[] = {
        {"abcabc", "bc", 0, 1},   {"abcabc", "bc", 1, 1},
        {"abcabc", "bc", 2, 4},   {"abcabc", "bc", 5, -1},
        {"abcabc", "x", 0, -1},   {"abcabc", "", 0, 0},
        {"abcabc", "", 6, 6},     {"abcabc", "", 7, -1},
        {"abcabc", "a", 100, -1}, {"abcabc", "a", -3, 0},
        {"", "", 0, 0},           {"", "a", 0, -1},
        {"ab", "abc", 0, -1},     {"\xC3\xA9\xC3\xA9x", "x", 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.haystack) + " / " + c.needle + " @" + std::to_string(c.start));
        const I18NString haystack(c.haystack);
        EXPECT_EQ(haystack.find(I18NString(c.needle), c.start), c.expected);
        if (I18NString(c.needle).length() == 1) {
            EXPECT_EQ(haystack.find(I18NString(c.needle)[0], c.start), c.expected);
        }
    }
}

TEST(I18NString, Rfind) {
    struct Case {
        const char* haystack;
        const char* needle;
        long start;
        long expected;
    };
    const Case cases[] = {
        {"abcabc", "bc", -1, 4}, {"abcabc", "bc", 4, 4}, {"abcabc", "bc", 3, 1},
        {"abcabc", "bc", 0, -1}, {"abcabc", "ab", 0, 0}, {"abcabc", "x", -1, -1},
        {"abcabc", "", -1, 6},   {"abcabc", "", 2, 2},   {"abcabc", "c", 100, 5},
        {"", "", -1, 0},         {"", "a", -1, -1},      {"ab", "abc", -1, -1},
        {"aaa", "aa", -1, 1},    {"abcabc", "c", -7, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.haystack) + " / " + c.needle + " @" + std::to_string(c.start));
        const I18NString haystack(c.haystack);
        EXPECT_EQ(haystack.rfind(I18NString(c.needle), c.start), c.expected);
        if (I18NString(c.needle).length() == 1) {
            EXPECT_EQ(haystack.rfind(I18NString(c.needle)[0], c.start), c.expected);
        }
    }
}

TEST(I18NString, FindFirstOf) {
    struct Case {
        const char* haystack;
        const char* set;
        long start;
        long expected;
    };
    const Case cases[] = {
        {"a/b\\c", "/\\", 0, 1}, {"a/b\\c", "/\\", 2, 3},          {"a/b\\c", "/\\", 4, -1},
        {"a/b\\c", "", 0, -1},   {"a/b\\c", "c", 5, -1},           {"a/b\\c", "c", 4, 4},
        {"", "/", 0, -1},        {"x\xC3\xA9y", "\xC3\xA9", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.haystack) + " / " + c.set + " @" + std::to_string(c.start));
        EXPECT_EQ(I18NString(c.haystack).findFirstOf(I18NString(c.set), c.start), c.expected);
    }
}

TEST(I18NString, Substring) {
    struct Case {
        long begin;
        long end;
        const char* expected;
    };
    const Case cases[] = {
        {0, -1, "h\xC3\xA9llo"}, {1, 3, "\xC3\xA9l"}, {2, 2, ""},  {3, 1, ""},
        {-2, 2, "h\xC3\xA9"},    {4, 99, "o"},        {5, -1, ""}, {9, -1, ""},
        {0, 5, "h\xC3\xA9llo"},
    };
    const I18NString s("h\xC3\xA9llo");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.begin) + ".." + std::to_string(c.end));
        EXPECT_STREQ(s.substring(c.begin, c.end).c_str(), c.expected);
    }
}

TEST(I18NString, ReplaceEraseInsertCounts) {
    using Edit = std::function<void(I18NString&)>;
    struct Case {
        const char* name;
        Edit edit;
        const char* expected;
    };
    const Case cases[] = {
        {"replace middle", [](I18NString& s) { s.replace(1, 2, I18NString("XY")); }, "aXYdef"},
        {"replace grows", [](I18NString& s) { s.replace(1, 1, I18NString("XYZ")); }, "aXYZcdef"},
        {"replace to end (-1)", [](I18NString& s) { s.replace(2, -1, I18NString("!")); }, "ab!"},
        {"replace past end", [](I18NString& s) { s.replace(4, 100, I18NString("!")); }, "abcd!"},
        {"replace count 0 inserts", [](I18NString& s) { s.replace(0, 0, I18NString(">")); },
         ">abcdef"},
        {"replace at end appends", [](I18NString& s) { s.replace(6, 3, I18NString("!")); },
         "abcdef!"},
        {"replace beyond end appends", [](I18NString& s) { s.replace(60, 3, I18NString("!")); },
         "abcdef!"},
        {"replace with itself", [](I18NString& s) { s.replace(1, 1, s); }, "aabcdefcdef"},
        {"erase middle", [](I18NString& s) { s.erase(1, 2); }, "adef"},
        {"erase to end", [](I18NString& s) { s.erase(3); }, "abc"},
        {"erase -1", [](I18NString& s) { s.erase(0, -1); }, ""},
        {"erase past end", [](I18NString& s) { s.erase(4, 10); }, "abcd"},
        {"erase index past end", [](I18NString& s) { s.erase(10, 1); }, "abcdef"},
        {"erase zero", [](I18NString& s) { s.erase(2, 0); }, "abcdef"},
        {"insert front", [](I18NString& s) { s.insert(0, I18NString("\xC3\xA9")); },
         "\xC3\xA9"
         "abcdef"},
        {"insert end", [](I18NString& s) { s.insert(6, I18NString("!")); }, "abcdef!"},
        {"insert clamped", [](I18NString& s) { s.insert(99, I18NString("!")); }, "abcdef!"},
        {"insert self", [](I18NString& s) { s.insert(3, s); }, "abcabcdefdef"},
        {"append self", [](I18NString& s) { s += s; }, "abcdefabcdef"},
        {"resize shorter", [](I18NString& s) { s.resize(2); }, "ab"},
        {"resize longer", [](I18NString& s) { s.resize(8, U'-'); }, "abcdef--"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        I18NString s("abcdef");
        c.edit(s);
        EXPECT_STREQ(s.c_str(), c.expected);
    }
}

TEST(I18NString, BrokenPreconditionsAssert) {
    I18NString s("ab");
    EXPECT_THROW(s[2], BrxAssertError);
    EXPECT_THROW(s[-1], BrxAssertError);
    EXPECT_THROW(s.resize(-1), BrxAssertError);
    EXPECT_EQ(s.at(1), U'b');
}

TEST(I18NString, EveryMutationDropsTheNarrowCaches) {
    using Edit = std::function<void(I18NString&)>;
    struct Case {
        const char* name;
        Edit edit;
        const char* expected;
    };
    const Case cases[] = {
        {"+= string", [](I18NString& s) { s += I18NString("d"); }, "abcd"},
        {"+= text", [](I18NString& s) { s += "d"; }, "abcd"},
        {"+= code point", [](I18NString& s) { s += U'\u00E9'; }, "abc\xC3\xA9"},
        {"replace", [](I18NString& s) { s.replace(0, 1, I18NString("z")); }, "zbc"},
        {"insert", [](I18NString& s) { s.insert(1, I18NString("z")); }, "azbc"},
        {"erase", [](I18NString& s) { s.erase(0, 1); }, "bc"},
        {"resize", [](I18NString& s) { s.resize(1); }, "a"},
        {"clear", [](I18NString& s) { s.clear(); }, ""},
        {"copy assignment", [](I18NString& s) { s = I18NString("xy"); }, "xy"},
        {"move assignment",
         [](I18NString& s) {
             I18NString other("mv");
             s = std::move(other);
         },
         "mv"},
        {"text assignment", [](I18NString& s) { s = "txt"; }, "txt"},
        {"assignment from own c_str", [](I18NString& s) { s = s.c_str() + 1; }, "bc"},
        {"iterator write", [](I18NString& s) { *s.begin() = U'Z'; }, "Zbc"},
        {"end iterator write", [](I18NString& s) { *(s.end() - 1) = U'Z'; }, "abZ"},
        {"codePoints write", [](I18NString& s) { s.codePoints()[1] = U'Z'; }, "aZc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        I18NString s("abc");
        ASSERT_STREQ(s.c_str(), "abc");
        ASSERT_STREQ(s.c_str("iso-8859-1"), "abc");
        c.edit(s);
        EXPECT_STREQ(s.c_str(), c.expected);
        EXPECT_STREQ(s.c_str("iso-8859-1"), I18NString(c.expected).c_str("latin1"));
    }
}

TEST(I18NString, UnchangedStringKeepsItsNarrowText) {
    I18NString s("abc");
    std::u32string& raw = s.codePoints();
    const char* first = s.c_str();
    // A write behind the string's back, after c_str(), is invisible to the cache: proof that
    // the second c_str() converted nothing.
    raw[0] = U'x';
    EXPECT_EQ(s.c_str(), first);
    EXPECT_STREQ(s.c_str(), "abc");
    // The named encodings keep their own text beside the default one.
    const char* latin1 = s.c_str("iso-8859-1");
    EXPECT_EQ(s.c_str("iso-8859-1"), latin1);
    EXPECT_STREQ(s.c_str(), "abc");
}

TEST(I18NString, CStrInNamedEncodings) {
    const I18NString s("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"); // é € U+1F600
    EXPECT_STREQ(s.c_str("iso-8859-1"), "\xE9\x1A\x1A");
    EXPECT_STREQ(s.c_str("UTF8"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_STREQ(s.c_str("windows-1252"), "\xE9\x80\x1A");
    const I18NConverter latin1("latin1");
    EXPECT_STREQ(s.c_str(latin1), "\xE9\x1A\x1A");
    // Asking for another encoding replaces the other-encoding text, not the default one.
    EXPECT_STREQ(s.c_str(), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_THROW(s.c_str("no-such-encoding"), BrxException);
    EXPECT_STREQ(s.c_str(), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(I18NString, MoveLeavesSourceEmptyAndUsable) {
    I18NString source("moved");
    source.c_str();
    I18NString target(std::move(source));
    EXPECT_STREQ(target.c_str(), "moved");
    EXPECT_STREQ(source.c_str(), "");
    source += "again";
    EXPECT_STREQ(source.c_str(), "again");
}

TEST(I18NString, Concatenation) {
    const I18NString a("a\xC3\xA9");
    EXPECT_STREQ((a + I18NString("b")).c_str(), "a\xC3\xA9"
                                                "b");
    EXPECT_STREQ((a + "b").c_str(), "a\xC3\xA9"
                                    "b");
    EXPECT_STREQ(("b" + a).c_str(), "ba\xC3\xA9");
    EXPECT_STREQ((a + U'\U0001F600').c_str(), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_STREQ(a.c_str(), "a\xC3\xA9");
}

TEST(I18NCodePoint, Properties) {
    struct Case {
        unsigned int codePoint;
        bool digit, letter, space, alphanumeric, punctuation;
    };
    const Case cases[] = {
        {'5', true, false, false, true, false},
        {'a', false, true, false, true, false},
        {' ', false, false, true, false, false},
        {'\t', false, false, true, false, false},
        {'!', false, false, false, false, true},
        {'_', false, false, false, false, true},     // connector punctuation
        {'$', false, false, false, false, false},    // a symbol, not punctuation
        {0x0663, true, false, false, true, false},   // Arabic-Indic three
        {0x00B2, false, false, false, false, false}, // superscript two: No, not Nd
        {0x00A0, false, false, true, false, false},  // no-break space
        {0x3000, false, false, true, false, false},  // ideographic space
        {0x00BF, false, false, false, false, true},  // inverted question mark
        {0x4E2D, false, true, false, true, false},   // CJK ideograph
        {0x10400, false, true, false, true, false},  // Deseret capital, above the BMP
        {0x1F600, false, false, false, false, false},
        {0x10FFFF, false, false, false, false, false},
        {0x110000, false, false, false, false, false},
        {0x80000030, false, false, false, false, false}, // would wrap to a negative UChar32
        {0xFFFFFFFF, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePoint);
        EXPECT_EQ(I18NCodePointIsDigit(c.codePoint), c.digit);
        EXPECT_EQ(I18NCodePointIsLetter(c.codePoint), c.letter);
        EXPECT_EQ(I18NCodePointIsSpace(c.codePoint), c.space);
        EXPECT_EQ(I18NCodePointIsAlphanumeric(c.codePoint), c.alphanumeric);
        EXPECT_EQ(I18NCodePointIsPunctuation(c.codePoint), c.punctuation);
    }
}
