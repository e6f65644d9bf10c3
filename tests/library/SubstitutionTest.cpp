// Simple and nested placeholder substitution, checked against a literal transcription of the
// two algorithms, and the text hash.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "SubstitutionReference.h"
#include "UTException.h"
#include "UTStringSupport.h"

#include <BrxMessage.h>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace substitution;

std::vector<I18NString> parameters(std::initializer_list<const char*> given) {
    std::vector<I18NString> p(16);
    int i = 0;
    for (const char* value : given) {
        p[i++] = I18NString(value);
    }
    return p;
}

// Random texts made of placeholders, near-placeholders and plain characters.
class TextGenerator {
public:
    explicit TextGenerator(unsigned seed)
        : f_random(seed) {}

    I18NString text(int maxPieces, int placeholderWeight) {
        static const char* const others[] = {
            "{a}", "{f}", "{",   "}",        "{{",   "}}",  "x",
            "ab",  "0",   "A",   "\xC3\xA9", "{10}", "{ }", "\xF0\x9F\x98\x80",
            "{G}", "{/}", "{:}", "{@}"};
        constexpr int otherCount = sizeof others / sizeof others[0];
        std::string result;
        const int pieces = pick(maxPieces + 1);
        for (int i = 0; i < pieces; ++i) {
            if (pick(100) < placeholderWeight) {
                result += kPlaceholders[pick(16)];
            } else {
                result += others[pick(otherCount)];
            }
        }
        return I18NString(result.c_str());
    }

    std::vector<I18NString> parameterSet(int placeholderWeight) {
        std::vector<I18NString> p(16);
        const int given = pick(17);
        for (int i = 0; i < given; ++i) {
            p[i] = text(3, placeholderWeight);
        }
        return p;
    }

    int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(f_random); }

private:
    std::mt19937 f_random;
};

using Substitution = auttest::InitializedTest;

} // namespace

TEST_F(Substitution, SimpleCases) {
    struct Case {
        const char* text;
        std::vector<I18NString> p;
        const char* expected;
    };
    const Case cases[] = {
        {"File {0} line {1}", parameters({"a.txt", "7"}), "File a.txt line 7"},
        {"{1}{0}{1}", parameters({"x", "y"}), "yxy"},
        {"{0}-{5}-{a}", parameters({"x"}), "x--{a}"},
        {"{0}", parameters({"{1}", "z"}), "{1}"},
        {"", parameters({"x"}), ""},
        {"no placeholders", parameters({"x"}), "no placeholders"},
        {"{{0}}", parameters({"x"}), "{x}"},
        {"{0}}{", parameters({"{"}), "{}{"},
        {"{0", parameters({"x"}), "{0"},
        {"{00}{0 }{ 0}{G}{f}", parameters({"x"}), "{00}{0 }{ 0}{G}{f}"},
        {"\xC3\xA9{0}\xF0\x9F\x98\x80{1}", parameters({"\xC3\xA9", ""}),
         "\xC3\xA9\xC3\xA9\xF0\x9F\x98\x80"},
        {"{9}{A}{F}",
         parameters({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14",
                     "15", "16"}),
         "101116"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        I18NString text(c.text);
        Simple16(text, c.p);
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(Substitution, NestedCases) {
    struct Case {
        const char* text;
        std::vector<I18NString> p;
        const char* expected;
    };
    const Case cases[] = {
        {"{0}", parameters({"{1}", "z"}), "z"},
        {"File {0} line {1}", parameters({"a.txt", "7"}), "File a.txt line 7"},
        {"no placeholders {a}", parameters({"{0}"}), "no placeholders {a}"},
        // "{1}" is searched after "{F}".."{2}" in one pass: found in the next.
        {"{1}", parameters({"", "{F}", "", "", "", "", "", "", "", "", "", "", "", "", "", "!"}),
         "!"},
        // A placeholder that the join of inserted text and its neighbours makes is found too.
        {"{{0}}", parameters({"1"}), ""},
        {"{0}1}", parameters({"{"}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        I18NString text(c.text);
        Nested16(text, c.p);
        EXPECT_EQ(text, c.expected);
    }
}

TEST_F(Substitution, ShortFormsFillTheFirstParameters) {
    const I18NString all("{0}{1}{2}{3}{4}|{F}");
    const I18NString a("a"), b("b"), c("c"), d("d");
    struct Case {
        int given;
        const char* expected;
    };
    const Case cases[] = {{1, "a|"}, {2, "ab|"}, {3, "abc|"}, {4, "abcd|"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.given);
        I18NString simple = all;
        I18NString nested = all;
        switch (k.given) {
        case 1:
            AUT_SimpleSubstituteText(simple, a);
            AUT_SubstituteText(nested, a);
            break;
        case 2:
            AUT_SimpleSubstituteText(simple, a, b);
            AUT_SubstituteText(nested, a, b);
            break;
        case 3:
            AUT_SimpleSubstituteText(simple, a, b, c);
            AUT_SubstituteText(nested, a, b, c);
            break;
        default:
            AUT_SimpleSubstituteText(simple, a, b, c, d);
            AUT_SubstituteText(nested, a, b, c, d);
            break;
        }
        EXPECT_EQ(simple, k.expected);
        EXPECT_EQ(nested, k.expected);
    }

    const std::vector<I18NString> letters = parameters(
        {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p"});
    I18NString simple("{0}{1}{2}{3}{4}{5}{6}{7}{8}{9}{A}{B}{C}{D}{E}{F}");
    I18NString nested = simple;
    Simple16(simple, letters);
    Nested16(nested, letters);
    EXPECT_EQ(simple, "abcdefghijklmnop");
    EXPECT_EQ(nested, "abcdefghijklmnop");
}

TEST_F(Substitution, SimpleParameterMayBeTheTextItself) {
    I18NString text("<{0}|{0}>");
    AUT_SimpleSubstituteText(text, text);
    EXPECT_EQ(text, "<<{0}|{0}>|<{0}|{0}>>");
}

TEST_F(Substitution, NestedThatDoesNotSettleThrows) {
    I18NString text("{0}");
    try {
        AUT_SubstituteText(text, I18NString("{0}"));
        FAIL() << "no exception";
    } catch (const AUT_Exception& error) {
        EXPECT_EQ(error.getErrorCode(), 100);
        EXPECT_EQ(error.getSeverity().value(), 1);
        ASSERT_EQ(error.messageCount(), 1u);
        const auto& message = dynamic_cast<const BrxMessageComponents&>(error.messageAt(0));
        EXPECT_EQ(message.getMessageNumber(), 0x721A8D37u);
        ASSERT_FALSE(message.getParameters().empty());
        EXPECT_EQ(message.getParameters()[0], " text={0} p1={0} p2= p3= p4= p5= p6= p7= p8= p9= "
                                              "pA= pB= pC= pD= pE= pF= pG=");
        ASSERT_FALSE(error.getBackTrace().empty());
        EXPECT_EQ(error.getBackTrace().front().component, "UT");
        EXPECT_EQ(error.getBackTrace().front().tag, "BRX_THROW");
        EXPECT_EQ(error.getBackTrace().front().file.rfind("Source/UTStringSupport", 0), 0u);
    }
    EXPECT_EQ(text, "{0}");

    // A cycle through two parameters; the diagnostic shows the text as it was on entry and
    // the text holds what the 16 passes made of it.
    const std::vector<I18NString> cycle = parameters({"<{1}", "{0}>"});
    I18NString entry("x{0}y");
    I18NString expected = entry;
    ASSERT_EQ(ReferenceNested(expected, cycle), Outcome::kUnsettled);
    I18NString actual = entry;
    try {
        Nested16(actual, cycle);
        FAIL() << "no exception";
    } catch (const AUT_Exception& error) {
        const auto& message = dynamic_cast<const BrxMessageComponents&>(error.messageAt(0));
        EXPECT_EQ(message.getParameters()[0], " text=x{0}y p1=<{1} p2={0}> p3= p4= p5= p6= p7= "
                                              "p8= p9= pA= pB= pC= pD= pE= pF= pG=");
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(Substitution, SimpleMatchesTheLiteralAlgorithm) {
    TextGenerator generate(20240611);
    for (int round = 0; round < 3000; ++round) {
        const I18NString original = generate.text(12, 35);
        const std::vector<I18NString> p = generate.parameterSet(30);
        SCOPED_TRACE(original);
        I18NString expected = original;
        ReferenceSimple(expected, p);
        I18NString actual = original;
        Simple16(actual, p);
        ASSERT_EQ(actual, expected) << "round " << round;
    }
}

TEST_F(Substitution, NestedMatchesTheLiteralAlgorithm) {
    TextGenerator generate(77);
    int settled = 0;
    int unsettled = 0;
    for (int round = 0; round < 1500; ++round) {
        const I18NString original = generate.text(10, 40);
        // Few placeholders in parameters, so that most cases settle after several passes.
        const std::vector<I18NString> p = generate.parameterSet(round % 3 == 0 ? 70 : 6);
        SCOPED_TRACE(original);
        I18NString expected = original;
        const Outcome outcome = ReferenceNested(expected, p);
        if (outcome == Outcome::kTooLong) {
            continue;
        }
        I18NString actual = original;
        bool threw = false;
        try {
            Nested16(actual, p);
        } catch (const AUT_Exception& error) {
            threw = true;
            EXPECT_EQ(error.getErrorCode(), 100);
        }
        ASSERT_EQ(threw, outcome == Outcome::kUnsettled) << "round " << round;
        ASSERT_EQ(actual, expected) << "round " << round;
        ++(threw ? unsettled : settled);
    }
    // The generator has to exercise both outcomes for the comparison to mean anything.
    EXPECT_GT(settled, 500);
    EXPECT_GT(unsettled, 50);
}

TEST_F(Substitution, NestedGrowthIsBounded) {
    // Doubling in each of the 16 passes stays below the bound: the ordinary failure.
    I18NString doubling("{0}");
    EXPECT_THROW(AUT_SubstituteText(doubling, I18NString("{0}{0}")), AUT_Exception);
    EXPECT_EQ(doubling.length(), 3L << 16);

    // Eight-fold would reach 8^16 copies: it gives up at the bound with the same failure.
    I18NString exploding("{0}");
    try {
        AUT_SubstituteText(exploding, I18NString("{0}{0}{0}{0}{0}{0}{0}{0}"));
        FAIL() << "no exception";
    } catch (const AUT_Exception& error) {
        EXPECT_EQ(error.getErrorCode(), 100);
        const auto& message = dynamic_cast<const BrxMessageComponents&>(error.messageAt(0));
        EXPECT_EQ(message.getMessageNumber(), 0x721A8D37u);
    }
    EXPECT_LE(exploding.length(), 1L << 24);
    EXPECT_GT(exploding.length(), 1L << 20);

    // A chain that settles after a large detour is computed when it stays within the bound.
    I18NString chain("{0}");
    AUT_SubstituteText(chain, I18NString("{1}{1}{1}{1}"), I18NString("{2}{2}{2}{2}"),
                       I18NString("ab"));
    EXPECT_EQ(chain.length(), 32L);
}

TEST(TextHash, KnownValues) {
    struct Case {
        std::u32string text;
        unsigned long expected;
    };
    const Case cases[] = {
        {U"", 0},
        {U"a", 65},
        {U"abc", 17763},
        {U"ABC", 17763},
        {U"abcdefgh", 0x06789EE8},
        {U"Hello, World", 0x0A925814},
        {U"\u00E9", 0x0FFFFF19},
        // Only the low byte counts: U+0161 ('a' + 0x100) hashes like 'a', hence like 'A'.
        {U"\u0161", 65},
        {U"\U0001F641", 65},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(I18NString(c.text));
        EXPECT_EQ(AUT_HashText(I18NString(c.text)), c.expected);
    }
}

TEST(TextHash, StaysBelow28BitsAndIgnoresHighBits) {
    std::mt19937 random(5);
    std::uniform_int_distribution<unsigned> codePoint(0, 0x10FFFF);
    for (int round = 0; round < 500; ++round) {
        std::u32string text(round % 40, U'\0');
        std::u32string lowBytes = text;
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = codePoint(random);
            lowBytes[i] = text[i] & 0xFF;
        }
        const unsigned long hash = AUT_HashText(I18NString(text));
        EXPECT_LT(hash, 0x10000000UL);
        EXPECT_EQ(hash, AUT_HashText(I18NString(lowBytes)));
    }
}
