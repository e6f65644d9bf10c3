#include <BrxException.h>
#include <BrxMessage.h>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

// A message whose text is fixed, to tell messages apart without any catalog.
BrxMessageString literal(const char* text) {
    return BrxMessageString(I18NString(text));
}

std::string text(const I18NString& value) {
    return value.c_str();
}

TEST(BrxException, ConstructorsSetCodeSeverityAndMessages) {
    const BrxException fromCode(42);
    EXPECT_EQ(fromCode.getErrorCode(), 42);
    EXPECT_EQ(fromCode.getSeverity(), BrxSeverity(0));
    EXPECT_EQ(fromCode.messageCount(), 0u);

    const BrxException fromText(BrxSeverity(3), "disk full");
    EXPECT_EQ(fromText.getErrorCode(), 0);
    EXPECT_EQ(fromText.getSeverity(), BrxSeverity(3));
    ASSERT_EQ(fromText.messageCount(), 1u);
    EXPECT_EQ(text(fromText.getMessage()), "disk full");
}

TEST(BrxException, MessagesJoinWithNewlinesInOrder) {
    BrxException exception(BrxSeverity(1), 7);
    exception << literal("first") << literal("second");
    exception.addMessage(literal("third"));
    EXPECT_EQ(text(exception.getMessage()), "first\nsecond\nthird");
    EXPECT_STREQ(exception.what(), "first\nsecond\nthird");
}

TEST(BrxException, WhatWithoutMessagesNamesTheThrowable) {
    EXPECT_STREQ(BrxException(5).what(), "BrxException");
    EXPECT_STREQ(BrxThrowable(BrxSeverity(1), 9).what(), "BrxThrowable (error code 9)");
}

TEST(BrxException, CopiesOwnTheirMessages) {
    auto original = std::make_unique<BrxException>(BrxSeverity(2), 11);
    *original << literal("kept");
    BrxException copy(*original);
    BrxException assigned(1);
    assigned = *original;
    original.reset();
    EXPECT_EQ(text(copy.getMessage()), "kept");
    EXPECT_EQ(text(assigned.getMessage()), "kept");
    EXPECT_EQ(assigned.getErrorCode(), 11);
    EXPECT_EQ(assigned.getSeverity(), BrxSeverity(2));
}

TEST(BrxException, CloneKeepsTheMostDerivedType) {
    BrxAssertError error(0, "BRX_ASSERT(x);");
    std::unique_ptr<BrxThrowable> clone(static_cast<const BrxThrowable&>(error).clone());
    EXPECT_STREQ(clone->getThrowableName(), "BrxAssertError");
    ASSERT_NE(dynamic_cast<BrxAssertError*>(clone.get()), nullptr);
    EXPECT_STREQ(clone->what(), "BRX_ASSERT(x);");
}

TEST(BrxException, HurlThrowsTheMostDerivedTypeWithTheBackTrace) {
    BrxException exception(BrxSeverity(1), 3);
    exception << literal("boom");
    BrxThrowable& asBase = exception;
    try {
        asBase.hurl(BrxFileLocation("Source/Unit.cpp", 12), "UT", "BRX_THROW");
        FAIL() << "hurl returned";
    } catch (const BrxException& caught) {
        ASSERT_EQ(caught.getBackTrace().size(), 1u);
        const BrxBackTraceEntry& hop = caught.getBackTrace()[0];
        EXPECT_EQ(hop.file, "Source/Unit.cpp");
        EXPECT_EQ(hop.line, 12);
        EXPECT_EQ(hop.component, "UT");
        EXPECT_EQ(hop.tag, "BRX_THROW");
        EXPECT_EQ(text(caught.getMessage()), "boom");
    }
}

TEST(BrxException, RehurlAddsAHop) {
    try {
        try {
            BrxException(4).hurl(BrxFileLocation("a.cpp", 1), nullptr, "BRX_THROW");
        } catch (BrxException& inner) {
            inner.hurl(BrxFileLocation("b.cpp", 2), "UT", "BRX_THROW");
        }
    } catch (const BrxException& outer) {
        ASSERT_EQ(outer.getBackTrace().size(), 2u);
        EXPECT_EQ(outer.getBackTrace()[0].component, "");
        EXPECT_EQ(outer.getBackTrace()[1].file, "b.cpp");
        return;
    }
    FAIL() << "nothing was thrown";
}

TEST(BrxException, ToStringShowsNameCodeMessagesAndTrace) {
    BrxException exception(BrxSeverity(1), 702);
    exception << literal("line one\nline two");
    exception.addBackTrace(BrxFileLocation("Source/X.cpp", 5), "UT", "BRX_THROW");
    I18NString result;
    exception.toString(nullptr, "en-us", result, 2);
    EXPECT_EQ(text(result), "  BrxException: error code 702, severity 1\n"
                            "    line one\n"
                            "    line two\n"
                            "    at Source/X.cpp:5 (UT, BRX_THROW)");
}

TEST(BrxAssert, TextsAreTheMacroCallsAsWritten) {
    const int value = 3;
    struct Case {
        const char* expected;
        void (*check)(int);
    };
    const Case cases[] = {
        {"BRX_ASSERT(v > 5);", [](int v) { BRX_ASSERT(v > 5); }},
        {"BRX_ASSERT_NAMED(false, \"Unable to load the resource file.\");",
         [](int) { BRX_ASSERT_NAMED(false, "Unable to load the resource file."); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        try {
            c.check(value);
            FAIL() << "no assertion";
        } catch (const BrxAssertError& error) {
            EXPECT_EQ(error.getText(), c.expected);
            EXPECT_STREQ(error.what(), c.expected);
            EXPECT_EQ(error.getErrorCode(), 0);
            ASSERT_EQ(error.getBackTrace().size(), 1u);
            EXPECT_EQ(error.getBackTrace()[0].file, "tests/platform/BrxExceptionTest.cpp");
            EXPECT_EQ(error.getBackTrace()[0].component, "");
            EXPECT_EQ(error.getBackTrace()[0].tag, "BRX_THROW");
            // Handlers that only know BrxException still see the failed check.
            EXPECT_EQ(text(error.getMessage()), c.expected);
        }
    }
    EXPECT_NO_THROW(BRX_ASSERT(value == 3));
}

TEST(BrxAssert, GenericHandlersCatchIt) {
    EXPECT_THROW(BRX_ASSERT(1 + 1 == 3), std::exception);
    EXPECT_THROW(BRX_ASSERT(1 + 1 == 3), BrxThrowable);
    EXPECT_THROW(BRX_ASSERT(1 + 1 == 3), BrxMessageSet);
}

} // namespace
