// Platform exceptions: what(), copies and clones, hurling with a back trace, the text form,
// and the assertion behind BRX_ASSERT.
#include <BrxException.h>
#include <BrxMessage.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

BrxMessageString literal(const char* text) {
    return BrxMessageString(I18NString(text));
}

TEST(BrxException, CopiesAndClonesOwnTheirDataAndKeepTheType) {
    auto original = std::make_unique<BrxException>(BrxSeverity(2), 11);
    EXPECT_STREQ(original->what(), "BrxException");
    *original << literal("first") << literal("second");
    original->addBackTrace(BrxFileLocation("a.cpp", 1), "UT", "BRX_THROW");
    BrxException assigned(1);
    assigned = *original;
    original.reset();
    EXPECT_STREQ(assigned.toString().c_str(), "BrxException: error code 11, severity 2\n  first\n"
                                              "  second\n  at a.cpp:1 (UT, BRX_THROW)");
    EXPECT_STREQ(BrxThrowable(BrxSeverity(1), 9).what(), "BrxThrowable (error code 9)");
    const BrxAssertError error(0, "BRX_ASSERT(x);");
    std::unique_ptr<BrxThrowable> clone(static_cast<const BrxThrowable&>(error).clone());
    EXPECT_STREQ(dynamic_cast<BrxAssertError&>(*clone).what(), "BRX_ASSERT(x);");
}

// Each hurl adds a hop and throws the most derived type, also through a base reference.
TEST(BrxException, ToStringShowsNameCodeMessagesAndTrace) {
    BrxException exception(BrxSeverity(1), 702);
    exception << literal("line one\nline two");
    I18NString text;
    try {
        try {
            static_cast<BrxThrowable&>(exception).hurl(BrxFileLocation("X.cpp", 5), nullptr, "T");
        } catch (BrxException& inner) {
            inner.hurl(BrxFileLocation("Y.cpp", 6), "UT", "RETHROW");
        }
    } catch (const BrxException& outer) {
        outer.toString(nullptr, "en-us", text, 2);
    }
    EXPECT_STREQ(text.c_str(), "  BrxException: error code 702, severity 1\n    line one\n"
                               "    line two\n    at X.cpp:5 (-, T)\n    at Y.cpp:6 (UT, RETHROW)");
}

TEST(BrxAssert, ThrowsTheMacroCallAsWrittenFromTheCallingFile) {
    const int value = 3;
    try {
        BRX_ASSERT(value > 5);
        FAIL() << "no assertion";
    } catch (const BrxAssertError& error) {
        // Handlers that only know std::exception still see the failed check.
        EXPECT_STREQ(static_cast<const std::exception&>(error).what(), "BRX_ASSERT(value > 5);");
        EXPECT_EQ(error.getBackTrace().at(0).file, "tests/platform/BrxExceptionTest.cpp");
    }
}

} // namespace
