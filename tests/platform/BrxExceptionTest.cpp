// Platform exceptions: what(), copies and clones, hurling with a back trace, the text form,
// and the assertion behind BRX_ASSERT.
#include <BrxException.h>
#include <BrxMessage.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

BrxMessageString literal(const char* text) {
    return BrxMessageString(I18NString(text));
}

std::string text(const I18NString& value) {
    return value.c_str();
}

TEST(BrxException, WhatJoinsTheMessagesOrNamesTheThrowable) {
    BrxException exception(BrxSeverity(1), 7);
    EXPECT_STREQ(exception.what(), "BrxException");
    exception << literal("first") << literal("second");
    EXPECT_STREQ(exception.what(), "first\nsecond");
    EXPECT_STREQ(BrxThrowable(BrxSeverity(1), 9).what(), "BrxThrowable (error code 9)");
}

TEST(BrxException, CopiesAndClonesOwnTheirDataAndKeepTheType) {
    auto original = std::make_unique<BrxException>(BrxSeverity(2), 11);
    *original << literal("kept");
    original->addBackTrace(BrxFileLocation("a.cpp", 1), "UT", "BRX_THROW");
    BrxException copy(*original);
    BrxException assigned(1);
    assigned = *original;
    original.reset();
    for (const BrxException* e : {&copy, &assigned}) {
        EXPECT_STREQ(e->what(), "kept");
        EXPECT_EQ(e->getErrorCode(), 11);
        EXPECT_EQ(e->getSeverity(), BrxSeverity(2));
        EXPECT_EQ(e->getBackTrace().size(), 1u);
    }

    const BrxAssertError error(0, "BRX_ASSERT(x);");
    std::unique_ptr<BrxThrowable> clone(static_cast<const BrxThrowable&>(error).clone());
    ASSERT_NE(dynamic_cast<BrxAssertError*>(clone.get()), nullptr);
    EXPECT_STREQ(clone->what(), "BRX_ASSERT(x);");
}

TEST(BrxException, HurlThrowsTheMostDerivedTypeAndEachHurlAddsAHop) {
    BrxException exception(BrxSeverity(1), 3);
    exception << literal("boom");
    BrxThrowable& asBase = exception;
    try {
        try {
            asBase.hurl(BrxFileLocation("Source/Unit.cpp", 12), nullptr, "BRX_THROW");
        } catch (BrxException& inner) {
            inner.hurl(BrxFileLocation("b.cpp", 2), "UT", "RETHROW");
        }
    } catch (const BrxException& outer) {
        ASSERT_EQ(outer.getBackTrace().size(), 2u);
        const BrxBackTraceEntry& first = outer.getBackTrace()[0];
        EXPECT_EQ(first.file, "Source/Unit.cpp");
        EXPECT_EQ(first.line, 12);
        EXPECT_EQ(first.component, "");
        EXPECT_EQ(outer.getBackTrace()[1].tag, "RETHROW");
        EXPECT_STREQ(outer.what(), "boom");
        return;
    }
    FAIL() << "nothing was thrown";
}

TEST(BrxException, ToStringShowsNameCodeMessagesAndTrace) {
    BrxException exception(BrxSeverity(1), 702);
    exception << literal("line one\nline two") << literal("three");
    exception.addBackTrace(BrxFileLocation("Source/X.cpp", 5), "UT", "BRX_THROW");
    exception.addBackTrace(BrxFileLocation("Source/Y.cpp", 6), nullptr, "BRX_THROW");
    I18NString result;
    exception.toString(nullptr, "en-us", result, 2);
    EXPECT_EQ(text(result), "  BrxException: error code 702, severity 1\n"
                            "    line one\n"
                            "    line two\n"
                            "    three\n"
                            "    at Source/X.cpp:5 (UT, BRX_THROW)\n"
                            "    at Source/Y.cpp:6 (-, BRX_THROW)");
}

TEST(BrxAssert, ThrowsTheMacroCallAsWrittenFromTheCallingFile) {
    const int value = 3;
    EXPECT_NO_THROW(BRX_ASSERT(value == 3));
    try {
        BRX_ASSERT(value > 5);
        FAIL() << "no assertion";
    } catch (const BrxAssertError& error) {
        EXPECT_EQ(error.getText(), "BRX_ASSERT(value > 5);");
        // Handlers that only know BrxException or std::exception still see the failed check.
        EXPECT_STREQ(static_cast<const std::exception&>(error).what(), "BRX_ASSERT(value > 5);");
        EXPECT_EQ(error.getErrorCode(), 0);
        ASSERT_EQ(error.getBackTrace().size(), 1u);
        EXPECT_EQ(error.getBackTrace()[0].file, "tests/platform/BrxExceptionTest.cpp");
    }
    EXPECT_THROW(BRX_ASSERT_NAMED(false, "Unable to load."), BrxAssertError);
}

} // namespace
