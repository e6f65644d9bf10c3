// The library's exception: numbered and literal messages, AUT_THROW, the guard against
// logging from inside the exception log, and the component texts.
#include "AutTestSupport.h"
#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"

#include <AUTInitialize.h>

namespace {

int g_formatted = 0;

// Counts its formatting and runs a hook meanwhile: shows whether AUT_LogException formatted.
struct ProbeMessage : BrxMessageBase {
    explicit ProbeMessage(void (*hook)())
        : f_hook(hook) {}
    BrxMessageBase* clone() const override { return new ProbeMessage(*this); }
    const char* getClassName() const override { return "ProbeMessage"; }
    void format(const char*, const char*, I18NString&) const override {
        ++g_formatted;
        f_hook();
    }
    void (*f_hook)();
};

TEST(AUTLogException, NestedCallsAreDroppedAndFailuresStayInside) {
    // A failing log write logs its own exception from inside the first: that one is dropped.
    AUT_Exception outer(1);
    outer << ProbeMessage([] {
        AUT_Exception inner(2);
        inner << ProbeMessage([] {});
        AUT_LogException(inner, __FILE__, __LINE__);
    });
    AUT_LogException(outer, __FILE__, __LINE__);
    EXPECT_EQ(g_formatted, 1);
    // Not initialized: the entry text cannot be fetched; the failure stays inside, and the
    // next call logs again.
    EXPECT_NO_THROW(AUT_LogException(outer, __FILE__, __LINE__));
    EXPECT_EQ(g_formatted, 2);
}

using ExceptionInstallationTest = auttest::InitializedTest;

TEST_F(ExceptionInstallationTest, MessagesTakeSixParametersInOrderUpToTheFirstEmptyOne) {
    AUT_Exception literal(1), assigned(2);
    UTAddMessages(literal, I18NString("{5}{4}{3}{2}{1}{0}<{6}{F}>"), "a", "b", "c", "d", "e", "f");
    assigned = literal;
    EXPECT_STREQ(assigned.what(), "fedcba<>");
    const auttest::Thrown thrown = auttest::Catch([] { AUT_THROW(702, 0x7217A829, "5", "", "9"); });
    EXPECT_EQ(thrown.code, 702);
    EXPECT_EQ(thrown.severity, 1);
    EXPECT_EQ(thrown.text, "The log file line count limit 5 is out of range; it must lie between "
                           "{1} and {2}.");
    EXPECT_EQ(thrown.file, "tests/library/ExceptionTest.cpp");
}

TEST_F(ExceptionInstallationTest, EveryTableMessageHasACatalogText) {
    for (std::uint32_t number :
         {0x721A8D37, 0x72170C23, 0x7218A27A, 0x721B5B3A, 0x7218399B, 0x721AEC9E, 0x7214BCB6,
          0x7217A829, 0x721F9028, 0x7212F1B2, 0x721C44D1, 0x7210C8B0, 0x7214322D}) {
        AUT_Exception exception(1);
        UTAddMessages(exception, number, "p1", "p2", "p3", "", "", "");
        const std::string text = exception.what();
        EXPECT_TRUE(text.find("p1") != text.npos && text.find("not found") == text.npos) << text;
    }
}

using ComponentTexts = auttest::InstallationTest;

TEST_F(ComponentTexts, ComeFromTheCatalogAndAFailedFetchIsRetried) {
    // No resource map yet: the fetch asserts, and the text stays unread.
    EXPECT_THROW(AUT_GetErrorComponent(), BrxAssertError);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_STREQ(AUT_GetErrorComponent().c_str(), "Orq utility library");
    EXPECT_STREQ(AUT_GetSystemErrorComponent().c_str(), "Operating system");
    EXPECT_EQ(AUT_Terminate("test"), 0);
}

} // namespace
