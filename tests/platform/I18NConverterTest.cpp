// Converters: ICU aliases, Latin-1 and UTF-8 without ICU, other encodings through ICU,
// unmappable characters, and copies that own their own converter.
#include <BrxException.h>
#include <I18NConverter.h>
#include <I18NString.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

TEST(I18NConverter, AliasesOpenTheSameEncoding) {
    struct Case {
        const char* alias;
        const char* canonical;
    };
    const Case cases[] = {
        {"iso-8859-1", "ISO-8859-1"}, {"ISO_8859-1", "ISO-8859-1"},
        {"latin1", "ISO-8859-1"},     {"UTF8", "UTF-8"},
        {"utf-8", "UTF-8"},           {"Shift_JIS", "ibm-943_P15A-2003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alias);
        EXPECT_STREQ(I18NConverter(c.alias).getName(), c.canonical);
    }
}

TEST(I18NConverter, UnknownEncodingThrowsNamingIt) {
    const char* names[] = {"no-such-encoding", "", nullptr};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        try {
            I18NConverter converter(name);
            ADD_FAILURE() << "no exception";
        } catch (const BrxException& e) {
            EXPECT_NE(std::string(e.what()).find(name ? name : "(null)"), std::string::npos)
                << e.what();
        }
    }
}

TEST(I18NConverter, Latin1RoundTripsEveryByte) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    const I18NConverter latin1("iso-8859-1");
    const std::u32string points = latin1.toCodePoints(bytes.data(), bytes.size());
    ASSERT_EQ(points.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(points[b], char32_t(b));
    }
    EXPECT_EQ(latin1.fromCodePoints(points), bytes);
    // Through the string and its UTF-8 text and back again.
    const I18NString s(bytes.c_str() + 1, latin1);
    EXPECT_EQ(s.length(), 255);
    EXPECT_EQ(std::string(I18NString(s.c_str()).c_str(latin1)), bytes.substr(1));
}

TEST(I18NConverter, UnmappableCodePointsBecomeTheSubstitute) {
    struct Case {
        const char* encoding;
        std::u32string points;
        std::string expected;
    };
    const Case cases[] = {
        {"iso-8859-1", U"a\u0100b",
         "a\x1A"
         "b"},
        {"iso-8859-1", U"\U0001F600", "\x1A"}, // one substitute per code point, not per unit
        {"iso-8859-1", std::u32string(1, 0xD800), "\x1A"},
        {"US-ASCII", U"\u00E9", "\x1A"},
        {"UTF8", std::u32string(1, 0x110000), "\xEF\xBF\xBD"},
        {"Shift_JIS", U"\u3042\u00E9", std::string("\x82\xA0") + "\xFC\xFC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(I18NConverter(c.encoding).fromCodePoints(c.points), c.expected);
    }
}

TEST(I18NConverter, BadBytesBecomeReplacement) {
    struct Case {
        const char* encoding;
        std::string bytes;
        std::u32string expected;
    };
    const Case cases[] = {
        {"US-ASCII", "A\x80", U"A\uFFFD"},
        {"UTF8",
         "\xE2\x82"
         "a\xED\xA0\x80",
         U"\uFFFDa\uFFFD\uFFFD\uFFFD"},
        {"Shift_JIS",
         "\x82\xA0"
         "a",
         U"\u3042a"},
        {"Shift_JIS", "\x82", U"\uFFFD"}, // truncated double-byte character
        {"UTF-16BE", std::string("\xD8\x3D\xDE\x00", 4), U"\U0001F600"},
        {"UTF-16BE", std::string("\xDC\x00\x00\x41", 4), U"\uFFFDA"}, // unpaired low surrogate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(I18NConverter(c.encoding).toCodePoints(c.bytes.data(), c.bytes.size()),
                  c.expected);
    }
}

TEST(I18NConverter, CopiesAreIndependent) {
    std::vector<I18NConverter> copies;
    {
        const I18NConverter original("Shift_JIS");
        copies.assign(4, original);
    }
    I18NConverter assigned("latin1");
    assigned = copies[0];
    EXPECT_STREQ(assigned.getName(), copies[0].getName());
    // Each copy converts on its own thread at the same time.
    std::vector<std::thread> threads;
    std::vector<int> failures(copies.size(), 0);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 2000; ++round) {
                const std::u32string points = copies[i].toCodePoints("\x82\xA0\x82\xA2", 4);
                if (points != U"\u3042\u3044" ||
                    copies[i].fromCodePoints(points) != "\x82\xA0\x82\xA2") {
                    ++failures[i];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(copies.size(), 0));
}
