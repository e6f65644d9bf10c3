// Simple and nested placeholder substitution, checked against a literal transcription of the
// two algorithms.
#include "AutTestSupport.h"
#include "SubstitutionReference.h"
#include "Table.h"
#include "UTStringSupport.h"

#include <random>
#include <string>
#include <vector>

namespace {

using namespace substitution;
using Substitution = auttest::InitializedTest;

// Rows: simple/nested, text, expected, then p1.. as far as given; "unsettled" expects the
// failure of a nested substitution, with its diagnostic.
TEST_F(Substitution, Cases) {
    for (const auttest::Row& row : auttest::ReadTable("SubstitutionTest-cases.tsv", 3)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        std::vector<I18NString> p(16);
        for (std::size_t i = 3; i < row.size(); ++i) {
            p[i - 3] = I18NString(row[i].c_str());
        }
        I18NString text(row[1].c_str());
        if (row[0] == "unsettled") {
            EXPECT_EQ(auttest::Catch([&] { Nested16(text, p); }).parameter(0), row[2]);
            continue;
        }
        row[0] == "simple" ? Simple16(text, p) : Nested16(text, p);
        EXPECT_EQ(text, row[2].c_str());
    }
}

TEST_F(Substitution, ShortFormsFillTheFirstParameters) {
    const I18NString a("a"), b("b"), c("c"), d("d");
    std::vector<I18NString> t(8, I18NString("{0}{1}{2}{3}{4}|{F}"));
    AUT_SimpleSubstituteText(t[0], a);
    AUT_SimpleSubstituteText(t[1], a, b);
    AUT_SimpleSubstituteText(t[2], a, b, c);
    AUT_SimpleSubstituteText(t[3], a, b, c, d);
    AUT_SubstituteText(t[4], a);
    AUT_SubstituteText(t[5], a, b);
    AUT_SubstituteText(t[6], a, b, c);
    AUT_SubstituteText(t[7], a, b, c, d);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(t[i], (std::string("abcd", i % 4 + 1) + "|").c_str()) << i;
    }
}

// A parameter may be the text itself: it counts with its value on entry.
TEST_F(Substitution, TextAsItsOwnParameter) {
    I18NString simple("<{0}|{0}>");
    AUT_SimpleSubstituteText(simple, simple);
    EXPECT_EQ(simple, "<<{0}|{0}>|<{0}|{0}>>");
    I18NString text("{0}");
    const auttest::Thrown t = auttest::Catch([&] { AUT_SubstituteText(text, text); });
    EXPECT_EQ(t.code, 100);
    EXPECT_EQ(t.number, 0x721A8D37u);
    EXPECT_EQ(t.parameter(0), " text={0} p1={0} p2= p3= p4= p5= p6= p7= p8= p9= pA= pB= pC= "
                              "pD= pE= pF= pG=");
    EXPECT_EQ(text, "{0}");
}

// A nested result may reach 2^24 code points, or 16 times the length on entry when that is
// more, and not one more: the text is then left alone, "{0}" too. Each text is "{0}", `before`
// plain characters, `count` "{1}" and `after` plain characters, so that the diagnostic stays
// small; "{1}" is replaced first.
TEST_F(Substitution, NestedGrowthStopsAtTheBound) {
    const struct {
        long count, length, before, after; // length: of p2, all "y"
        bool fits;
    } cases[] = {{4096, 4095, 4093, 0, true},    // 2^24 at the last insertion
                 {4096, 4095, 4093, 1, false},   // and one more after it
                 {4096, 4096, 4093, 0, false},   // beyond it, from an insertion
                 {341940, 49, 22793, 0, true},   // 16 times the entry
                 {341941, 49, 22793, 0, false}}; // and one more
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        std::u32string entry = U"{0}" + std::u32string(c.before, U'x');
        for (long i = 0; i < c.count; ++i) {
            entry += U"{1}";
        }
        I18NString text(entry + std::u32string(c.after, U'x'));
        const long entryLength = text.length();
        const long code = auttest::Catch([&] {
                              AUT_SubstituteText(text, I18NString("z"), I18NString(U'y', c.length));
                          }).code;
        EXPECT_EQ(code, c.fits ? -1 : 100);
        EXPECT_EQ(text.length(),
                  c.fits ? 1 + c.before + c.count * c.length + c.after : entryLength);
    }
}

// Random texts made of placeholders, near-placeholders and plain characters, substituted by
// the library and by the literal algorithms.
TEST_F(Substitution, MatchesTheLiteralAlgorithms) {
    std::mt19937 random(20240611);
    const auto pick = [&](int bound) {
        return std::uniform_int_distribution<int>(0, bound - 1)(random);
    };
    const auto text = [&](int maxPieces, int placeholderWeight) {
        static const char* const others[] = {
            "{a}", "{f}", "{",   "}",        "{{",   "}}",  "x",
            "ab",  "0",   "A",   "\xC3\xA9", "{10}", "{ }", "\xF0\x9F\x98\x80",
            "{G}", "{/}", "{:}", "{@}"};
        std::string result;
        for (int i = pick(maxPieces + 1); i > 0; --i) {
            result += pick(100) < placeholderWeight ? kPlaceholders[pick(16)]
                                                    : others[pick(sizeof others / sizeof *others)];
        }
        return I18NString(result.c_str());
    };
    const auto parameters = [&](int placeholderWeight) {
        std::vector<I18NString> p(16);
        for (int i = pick(17) - 1; i >= 0; --i) {
            p[i] = text(3, placeholderWeight);
        }
        return p;
    };
    for (int round = 0; round < 3000; ++round) {
        const I18NString original = text(12, 35);
        const std::vector<I18NString> p = parameters(30);
        I18NString expected = original;
        ReferenceSimple(expected, p);
        I18NString actual = original;
        Simple16(actual, p);
        ASSERT_EQ(actual, expected) << "simple, round " << round << ": " << original;
    }
    int outcomes[2] = {0, 0}; // settled, unsettled
    for (int round = 0; round < 1500; ++round) {
        const I18NString original = text(10, 40);
        // Few placeholders in parameters, so that most cases settle after several passes.
        const std::vector<I18NString> p = parameters(round % 3 == 0 ? 70 : 6);
        I18NString expected = original;
        const Outcome outcome = ReferenceNested(expected, p);
        if (outcome == Outcome::kTooLong) {
            continue;
        }
        I18NString actual = original;
        const long code = auttest::Catch([&] { Nested16(actual, p); }).code;
        ASSERT_EQ(code, outcome == Outcome::kUnsettled ? 100 : -1) << "round " << round;
        ASSERT_EQ(actual, expected) << "nested, round " << round << ": " << original;
        ++outcomes[code == 100];
    }
    // The generator has to exercise both outcomes for the comparison to mean anything.
    EXPECT_GT(outcomes[0], 500);
    EXPECT_GT(outcomes[1], 50);
}

} // namespace
