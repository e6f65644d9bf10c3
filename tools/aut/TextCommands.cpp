// aut message, locale, hash and diff: the library's catalogs, locale names, text hashing and
// file comparison.
#include "Commands.h"
#include "UTLocaleString.h"
#include "UTResourceAccess.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <cstdio>

namespace auttool {

const char* const kMessageHelp =
    "usage: aut message [--component C] [--locale L] NUMBER [PARAM...]\n"
    "\n"
    "Prints the text of message NUMBER (decimal or 0x hexadecimal) of the catalog of\n"
    "component C (default UT, the library's own) for locale L (default en-us), with the\n"
    "parameters substituted for {0}, {1}, ... {9}, {A} ... {F}. Without parameters the\n"
    "placeholders are shown as they stand; with some, the unfilled ones are removed.\n"
    "Exit status 1 when the catalog or the message does not exist.\n";

const char* const kLocaleHelp =
    "usage: aut locale NAME\n"
    "\n"
    "Parses a locale name (\"en\", \"en-us\", \"en_US.UTF-8\") and prints its type, language,\n"
    "region and variant, and the value left after stripping the variant, the region and\n"
    "the language in turn. Exit status 1 when NAME is not a locale name.\n";

const char* const kHashHelp = "usage: aut hash TEXT\n"
                              "\n"
                              "Prints the library's 28-bit hash of TEXT, in decimal. Letter "
                              "case does not count:\n"
                              "'aut hash abc' and 'aut hash ABC' both print 17763.\n";

const char* const kDiffHelp =
    "usage: aut diff FILE1 FILE2 REPORT\n"
    "\n"
    "Compares two files byte for byte, writes the library's report to REPORT (created or\n"
    "emptied) and prints it. Exit status 0 when the files are the same, 1 when they differ\n"
    "or one cannot be read (with a line on standard error) or the report cannot be written.\n";

namespace {

const char* TypeName(AUT_LocaleString::ELocaleType type) {
    switch (type) {
    case AUT_LocaleString::kLocaleTypeLanguage:
        return "language";
    case AUT_LocaleString::kLocaleTypeLanguageRegion:
        return "language, region";
    case AUT_LocaleString::kLocaleTypeLanguageRegionVariant:
        return "language, region, variant";
    case AUT_LocaleString::kLocaleTypeNone:
        break;
    }
    return "none";
}

// What follows `prefix` and one separator in `value`, or "" when `value` is only the prefix.
std::string After(const std::string& value, const std::string& prefix) {
    return value.size() > prefix.size() ? value.substr(prefix.size() + 1) : std::string();
}

} // namespace

int runMessage(Args& args) {
    std::string component = "UT";
    std::string locale;
    takeOption(args, "--component", component);
    takeOption(args, "--locale", locale);
    rejectUnknownOptions(args);
    if (args.empty()) {
        throw Misuse("a message number is needed");
    }
    if (args.size() > 17) {
        throw Misuse("at most 16 parameters can be substituted");
    }
    const std::uint32_t number = parseNumber(args[0], 0xFFFFFFFFu, "the message number");
    LibrarySession session;
    I18NString text;
    AUT_ResourceLoadString(component.c_str(), locale.c_str(), number, text);
    // The catalog answers a missing text with a text of its own, which it documents.
    const std::string result = narrow(text);
    if (result.rfind("Message 0x", 0) == 0 &&
        (result.find(" not found in catalog \"") != std::string::npos ||
         result.find(": catalog \"") != std::string::npos)) {
        throw Failure(result);
    }
    if (args.size() > 1) {
        I18NString parameters[16];
        for (std::size_t i = 1; i < args.size(); ++i) {
            parameters[i - 1] = args[i].c_str();
        }
        AUT_SimpleSubstituteText(text, parameters[0], parameters[1], parameters[2], parameters[3],
                                 parameters[4], parameters[5], parameters[6], parameters[7],
                                 parameters[8], parameters[9], parameters[10], parameters[11],
                                 parameters[12], parameters[13], parameters[14], parameters[15]);
    }
    std::printf("%s\n", text.c_str());
    return 0;
}

int runLocale(Args& args) {
    rejectUnknownOptions(args);
    if (args.size() != 1) {
        throw Misuse(args.empty() ? "a locale name is needed" : "only one locale name is taken");
    }
    LibrarySession session;
    AUT_LocaleString locale(args[0].c_str());
    const AUT_LocaleString::ELocaleType type = locale.GetLocaleType();
    if (type == AUT_LocaleString::kLocaleTypeNone) {
        throw Failure("'" + args[0] + "' is not a locale name");
    }
    const std::string full = narrow(locale.GetCurrentValue());
    std::printf("name: %s\n", args[0].c_str());
    std::printf("type: %s (%d)\n", TypeName(type), static_cast<int>(type));
    std::printf("value: %s\n", full.c_str());
    // The parts themselves are not exposed: each strip reveals where the next part begins.
    locale.StripVariant();
    const std::string withoutVariant = narrow(locale.GetCurrentValue());
    locale.StripRegion();
    const std::string language = narrow(locale.GetCurrentValue());
    locale.StripLanguage();
    const std::string none = narrow(locale.GetCurrentValue());
    std::printf("language: %s\n", language.c_str());
    std::printf("region: %s\n", After(withoutVariant, language).c_str());
    std::printf("variant: %s\n", After(full, withoutVariant).c_str());
    std::printf("without variant: %s\n", withoutVariant.c_str());
    std::printf("without region: %s\n", language.c_str());
    std::printf("without language: %s\n", none.c_str());
    return 0;
}

int runHash(Args& args) {
    rejectUnknownOptions(args);
    if (args.size() != 1) {
        throw Misuse(args.empty() ? "a text is needed" : "only one text is taken (quote it)");
    }
    LibrarySession session;
    std::printf("%lu\n", AUT_HashText(args[0].c_str()));
    return 0;
}

int runDiff(Args& args) {
    rejectUnknownOptions(args);
    if (args.size() != 3) {
        throw Misuse("two files and a report file are needed");
    }
    LibrarySession session;
    const bool different =
        AUT_I_FileSupport::diffFiles(args[0].c_str(), args[1].c_str(), args[2].c_str());
    // The library drops a report it cannot write; the tool must not stay silent about it.
    std::string report;
    try {
        report = readTextFile(args[2]);
    } catch (const Failure&) {
    }
    if (report.empty()) {
        throw Failure("cannot write the report '" + args[2] + "'");
    }
    std::fputs(report.c_str(), stdout);
    const std::string unreadable = "Could not open ";
    if (report.rfind(unreadable, 0) == 0) {
        throw Failure("cannot open '" +
                      report.substr(unreadable.size(), report.find('\n') - unreadable.size()) +
                      "'");
    }
    return different ? 1 : 0;
}

} // namespace auttool
