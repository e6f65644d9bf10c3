// The library's exception: numbered and literal messages, AUT_THROW, the guard against
// logging from inside the exception log, and the component texts.
#include "AutTestSupport.h"
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"

#include <AUTInitialize.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using auttest::Inspect;

TEST(UTAddMessages, NumberedFormStopsAtTheFirstEmptyParameter) {
    AUT_Exception exception(1);
    UTAddMessages(exception, 0x7217A829, "a", "", "c", "", "", "");
    EXPECT_EQ(Inspect(exception).number, 0x7217A829u);
    EXPECT_EQ(Inspect(exception).parameters, std::vector<std::string>{"a"});
    AUT_Exception full(1);
    UTAddMessages(full, 1, "1", "2", "3", "4", "5", "6");
    EXPECT_EQ(Inspect(full).parameters.size(), 6u);
}

// Formats as "probe" and runs a hook meanwhile: shows whether AUT_LogException formatted.
class ProbeMessage : public BrxMessageBase {
public:
    ProbeMessage(int& counter, void (*hook)())
        : f_counter(&counter)
        , f_hook(hook) {}
    BrxMessageBase* clone() const override { return new ProbeMessage(*this); }
    const char* getClassName() const override { return "ProbeMessage"; }
    void format(const char*, const char*, I18NString& result) const override {
        ++*f_counter;
        f_hook();
        result = "probe";
    }

private:
    int* f_counter;
    void (*f_hook)();
};

int g_innerFormatted = 0;

TEST(AUTLogException, NestedCallsAreDroppedAndFailuresSwallowed) {
    // A failing log write logs its own exception from inside the first: that one is dropped.
    int formatted = 0;
    AUT_Exception outer(1);
    outer << ProbeMessage(formatted, [] {
        AUT_Exception inner(2);
        inner << ProbeMessage(g_innerFormatted, [] {});
        AUT_LogException(inner, __FILE__, __LINE__);
    });
    AUT_LogException(outer, __FILE__, __LINE__);
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(g_innerFormatted, 0);

    AUT_Exception failing(1);
    failing << ProbeMessage(formatted, [] { throw std::runtime_error("formatting failed"); });
    EXPECT_NO_THROW(AUT_LogException(failing, __FILE__, __LINE__));
    EXPECT_FALSE(AUTg_ExceptionLogBusy);
    // Not initialized: the entry text cannot be fetched; that failure stays inside as well.
    EXPECT_NO_THROW(AUT_LogException(outer, __FILE__, __LINE__));
    EXPECT_EQ(formatted, 3);
}

using ExceptionInstallationTest = auttest::InitializedTest;

TEST_F(ExceptionInstallationTest, LiteralFormSubstitutesSixInOrderAndRemovesTheRest) {
    AUT_Exception exception(1);
    UTAddMessages(exception, I18NString("{5}{4}{3}{2}{1}{0}<{6}{F}>"), "a", "b", "c", "d", "e",
                  "f");
    EXPECT_STREQ(exception.what(), "fedcba<>");
}

TEST_F(ExceptionInstallationTest, ThrownExceptionCarriesCodeSeverityTextAndWhere) {
    const auttest::Thrown thrown =
        auttest::Catch([] { AUT_THROW(702, 0x7217A829, "5", "1000", "4000000000"); });
    EXPECT_EQ(thrown.code, 702);
    EXPECT_EQ(thrown.severity, 1);
    EXPECT_EQ(thrown.text, "The log file line count limit 5 is out of range; it must lie between "
                           "1000 and 4000000000.");
    EXPECT_EQ(thrown.file, "tests/library/ExceptionTest.cpp");
}

TEST_F(ExceptionInstallationTest, EveryTableMessageHasACatalogText) {
    for (std::uint32_t number :
         {0x721A8D37, 0x72170C23, 0x7218A27A, 0x721B5B3A, 0x7218399B, 0x721AEC9E, 0x7214BCB6,
          0x7217A829, 0x721F9028, 0x7212F1B2, 0x721C44D1, 0x7210C8B0, 0x7214322D}) {
        AUT_Exception exception(1);
        UTAddMessages(exception, number, "p1", "p2", "p3", "", "", "");
        const std::string formatted = exception.what();
        EXPECT_EQ(formatted.find("not found"), std::string::npos) << formatted;
        EXPECT_NE(formatted.find("p1"), std::string::npos) << formatted;
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
