#include "AutTestSupport.h"
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLibraryInternal.h"

#include <AUTInitialize.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string text(const I18NString& value) {
    return value.c_str();
}

// Counts its formatting, and may run a hook inside it: lets a test see whether (and how
// deeply) AUT_LogException formatted an exception.
class ProbeMessage : public BrxMessageBase {
public:
    explicit ProbeMessage(int& counter, void (*hook)() = nullptr)
        : f_counter(&counter)
        , f_hook(hook) {}
    BrxMessageBase* clone() const override { return new ProbeMessage(*this); }
    const char* getClassName() const override { return "ProbeMessage"; }
    void format(const char*, const char*, I18NString& result) const override {
        ++*f_counter;
        if (f_hook != nullptr) {
            f_hook();
        }
        result = "probe";
    }

private:
    int* f_counter;
    void (*f_hook)();
};

const BrxMessageComponents& numbered(const AUT_Exception& exception, std::size_t index) {
    const auto* message = dynamic_cast<const BrxMessageComponents*>(&exception.messageAt(index));
    EXPECT_NE(message, nullptr);
    return *message;
}

TEST(UTAddMessages, NumberedFormStopsAtTheFirstEmptyParameter) {
    struct Case {
        std::vector<const char*> parameters; // six
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"a", "", "c", "", "", ""}, {"a"}},
        {{"", "b", "", "", "", ""}, {}},
        {{"1", "2", "3", "4", "5", "6"}, {"1", "2", "3", "4", "5", "6"}},
        {{"1", "2", "3", "4", "5", ""}, {"1", "2", "3", "4", "5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.size());
        AUT_Exception exception(BrxSeverity(1), 702);
        const auto& p = c.parameters;
        UTAddMessages(exception, 0x7217A829, p[0], p[1], p[2], p[3], p[4], p[5]);
        ASSERT_EQ(exception.messageCount(), 1u);
        const BrxMessageComponents& message = numbered(exception, 0);
        EXPECT_EQ(message.getMessageNumber(), 0x7217A829u);
        EXPECT_EQ(text(message.getMsgFile()), "utmsgs");
        std::vector<std::string> got;
        for (const I18NString& parameter : message.getParameters()) {
            got.push_back(text(parameter));
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST(AUTException, CloneAndCopiesAreEqual) {
    AUT_Exception original(BrxSeverity(1), 800);
    original << BrxMessageString(I18NString("first")) << BrxMessageString(I18NString("second"));
    std::unique_ptr<BrxThrowable> clone(original.clone());
    auto* copy = dynamic_cast<AUT_Exception*>(clone.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->getThrowableName(), "AUT_Exception");
    EXPECT_EQ(copy->getErrorCode(), 800);
    EXPECT_EQ(copy->getSeverity(), BrxSeverity(1));
    EXPECT_EQ(text(copy->getMessage()), "first\nsecond");

    AUT_Exception assigned("other");
    assigned = original;
    EXPECT_EQ(text(assigned.getMessage()), "first\nsecond");
    EXPECT_EQ(assigned.getErrorCode(), 800);
    AUT_Exception& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.messageCount(), 2u);
    EXPECT_EQ(text(assigned.getMessage()), "first\nsecond");
}

TEST(AUTException, TextConstructorsGiveCodeZero) {
    const AUT_Exception plain("plain text");
    const AUT_Exception severe(BrxSeverity(4), "severe text");
    EXPECT_EQ(plain.getErrorCode(), 0);
    EXPECT_EQ(severe.getSeverity(), BrxSeverity(4));
    EXPECT_EQ(text(plain.getMessage()), "plain text");
    EXPECT_EQ(text(severe.getMessage()), "severe text");
}

TEST(AUTException, HurlThrowsAnAUTExceptionFromABaseReference) {
    AUT_Exception exception(BrxSeverity(1), 1000);
    BrxThrowable& base = exception;
    try {
        base.hurl(BrxFileLocation("Source/X", 61), "UT", "BRX_THROW");
    } catch (const AUT_Exception& caught) {
        ASSERT_EQ(caught.getBackTrace().size(), 1u);
        EXPECT_EQ(caught.getBackTrace()[0].line, 61);
        EXPECT_EQ(exception.getBackTrace().size(), 1u); // the hurled object keeps its hop
        return;
    }
    FAIL() << "no AUT_Exception was thrown";
}

TEST(AUTLogException, DropsACallWhileBusyAndSwallowsFailures) {
    int formatted = 0;
    AUT_Exception exception(1);
    exception << ProbeMessage(formatted);

    AUTg_ExceptionLogBusy = true;
    AUT_LogException(exception, __FILE__, __LINE__);
    EXPECT_EQ(formatted, 0);
    AUTg_ExceptionLogBusy = false;

    // Not initialized: the entry text cannot be fetched; the failure stays inside.
    EXPECT_NO_THROW(AUT_LogException(exception, __FILE__, __LINE__));
    EXPECT_EQ(formatted, 1);
    EXPECT_FALSE(AUTg_ExceptionLogBusy);
}

int g_innerFormatted = 0;

// Logs another exception from inside the logging of the first, as a failing log write would.
void logNested() {
    AUT_Exception inner(2);
    inner << ProbeMessage(g_innerFormatted);
    AUT_LogException(inner, __FILE__, __LINE__);
}

void throwInside() {
    throw std::runtime_error("formatting failed");
}

TEST(AUTLogException, NestedCallOnTheLoggingThreadWritesNothing) {
    int formatted = 0;
    AUT_Exception outer(1);
    outer << ProbeMessage(formatted, &logNested);
    AUT_LogException(outer, __FILE__, __LINE__);
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(g_innerFormatted, 0);
    EXPECT_FALSE(AUTg_ExceptionLogBusy);

    AUT_Exception failing(1);
    failing << ProbeMessage(formatted, &throwInside);
    EXPECT_NO_THROW(AUT_LogException(failing, __FILE__, __LINE__));
    EXPECT_FALSE(AUTg_ExceptionLogBusy);
}

using ExceptionInstallationTest = auttest::InitializedTest;

// The library's substitution reads its placeholder table, built by the initialization.
TEST_F(ExceptionInstallationTest, LiteralFormSubstitutesSixAndRemovesTheRest) {
    struct Case {
        const char* text;
        std::vector<const char*> parameters; // six
        const char* expected;
    };
    const Case cases[] = {
        {"x{0}y{1}", {"1", "2", "", "", "", ""}, "x1y2"},
        {"x{0}y{1}{6}", {"1", "2", "", "", "", ""}, "x1y2"},
        {"{5}{4}{3}{2}{1}{0}", {"a", "b", "c", "d", "e", "f"}, "fedcba"},
        {"<{6}{7}{8}{9}{A}{B}{C}{D}{E}{F}>", {"a", "b", "c", "d", "e", "f"}, "<>"},
        // No placeholders: lower case, two characters, an open brace at the end.
        {"{a}{10}{G}{", {"a", "", "", "", "", ""}, "{a}{10}{G}{"},
        // Inserted text is not scanned again.
        {"{0}", {"{1}", "z", "", "", "", ""}, "{1}"},
        {"", {"a", "", "", "", "", ""}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        AUT_Exception exception(1);
        const auto& p = c.parameters;
        UTAddMessages(exception, I18NString(c.text), p[0], p[1], p[2], p[3], p[4], p[5]);
        ASSERT_EQ(exception.messageCount(), 1u);
        EXPECT_STREQ(exception.messageAt(0).getClassName(), "BrxMessageString");
        EXPECT_EQ(text(exception.getMessage()), c.expected);
    }
}

TEST_F(ExceptionInstallationTest, ThrownExceptionIsCaughtByEveryBaseWithItsText) {
    const char* expected = "The log file line count limit 5 is out of range; it must lie between "
                           "1000 and 4000000000.";
    int line = 0;
    auto raise = [&line] {
        line = __LINE__ + 1;
        AUT_THROW(702, 0x7217A829, "5", "1000", "4000000000");
    };
    try {
        raise();
    } catch (const BrxException& caught) {
        EXPECT_STREQ(caught.getThrowableName(), "AUT_Exception");
        EXPECT_EQ(caught.getErrorCode(), 702);
        EXPECT_EQ(caught.getSeverity(), BrxSeverity(1));
        EXPECT_EQ(text(caught.getMessage()), expected);
        ASSERT_EQ(caught.getBackTrace().size(), 1u);
        const BrxBackTraceEntry& hop = caught.getBackTrace()[0];
        EXPECT_EQ(hop.file, "tests/library/ExceptionTest.cpp");
        EXPECT_EQ(hop.line, line);
        EXPECT_EQ(hop.component, "UT");
        EXPECT_EQ(hop.tag, "BRX_THROW");
    }
    try {
        raise();
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), expected);
    }
    EXPECT_THROW(raise(), AUT_Exception);
    EXPECT_THROW(raise(), BrxThrowable);
    EXPECT_THROW(raise(), BrxMessageSet);
}

TEST_F(ExceptionInstallationTest, EveryTableMessageHasACatalogText) {
    const std::uint32_t numbers[] = {
        0x721A8D37, 0x72170C23, 0x7218A27A, 0x721B5B3A, 0x7218399B, 0x721AEC9E, 0x7214BCB6,
        0x7217A829, 0x721F9028, 0x7212F1B2, 0x721C44D1, 0x7210C8B0, 0x7214322D,
    };
    for (std::uint32_t number : numbers) {
        SCOPED_TRACE(number);
        AUT_Exception exception(BrxSeverity(1), 1);
        UTAddMessages(exception, number, "p1", "p2", "p3", "", "", "");
        const std::string formatted = text(exception.getMessage());
        EXPECT_EQ(formatted.find("not found"), std::string::npos) << formatted;
        EXPECT_NE(formatted.find("p1"), std::string::npos) << formatted;
    }
}

TEST_F(ExceptionInstallationTest, ComponentTextsComeFromTheCatalog) {
    EXPECT_EQ(text(AUT_GetErrorComponent()), "Orq utility library");
    EXPECT_EQ(text(AUT_GetSystemErrorComponent()), "Operating system");
}

using ComponentTexts = auttest::InstallationTest;

TEST_F(ComponentTexts, AFailedFetchIsRetried) {
    // No resource map yet: the fetch asserts, and the text stays unread.
    EXPECT_THROW(AUT_GetErrorComponent(), BrxAssertError);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(text(AUT_GetErrorComponent()), "Orq utility library");
    EXPECT_EQ(AUT_Terminate("test"), 0);
}

} // namespace
