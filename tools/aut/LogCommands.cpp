// aut log and aut logs: one record through the library's logging, and the log files.
#include "AUTUserConfiguration.h"
#include "Commands.h"
#include "UTI_LogFile.h"
#include "UTStringSupport.h"

#include <algorithm>
#include <cstdio>

namespace auttool {

const char* const kLogHelp =
    "usage: aut log [--component C] [--level N] [--audit start|end] MESSAGE [PARAM...]\n"
    "\n"
    "Writes one record through a log object of component C (default aut), at level N\n"
    "(0 to 17, lower is more important; default 1), with up to 16 parameters substituted\n"
    "for {0} ... {9}, {A} ... {F}. With --audit, an audit record marked as the start or\n"
    "the end of a function (default level 12).\n"
    "\n"
    "Where the record goes is the installation's choice (section Logging of OrqConfig.xml):\n"
    "with UseIPFLogging 0, a new log file of the family (the library never appends to a\n"
    "log file, so each run makes one); otherwise the logging framework, configured by\n"
    "$ORQ_LOG_CONFIG or showing warnings and above on standard error.\n"
    "A record above the component's level is dropped, and the tool says so.\n";

const char* const kLogsHelp =
    "usage: aut logs [list]\n"
    "       aut logs tail [-n N]\n"
    "       aut logs path\n"
    "\n"
    "The log files of the configured family (<base>_<YYYYMMDD>_<nnnn><ext> beside the\n"
    "configured log file name), oldest first.\n"
    "\n"
    "  list    (the default) their full paths, one a line\n"
    "  tail    the last N lines (default 10) of the newest\n"
    "  path    the configured log file name (the family is named after it)\n";

int runLog(Args& args) {
    std::string component = "aut";
    std::string levelText;
    std::string audit;
    takeOption(args, "--component", component);
    takeOption(args, "--level", levelText);
    const bool isAudit = takeOption(args, "--audit", audit);
    rejectUnknownOptions(args);
    if (isAudit && audit != "start" && audit != "end") {
        throw Misuse("--audit takes start or end, not '" + audit + "'");
    }
    if (args.empty()) {
        throw Misuse("a message is needed");
    }
    if (args.size() > 17) {
        throw Misuse("at most 16 parameters can be substituted");
    }
    if (component.empty()) {
        throw Misuse("the component name must not be empty");
    }
    const auto level = static_cast<AUT_I_LogFile::ELogLevel>(
        levelText.empty() ? (isAudit ? 12 : 1) : parseNumber(levelText, 17, "the level"));

    LibrarySession session;
    const AUT_RefPtr<AUT_I_LogFile> log = AUT_I_LogFile::Create(
        component.c_str(), isAudit ? AUT_I_LogFile::kLogTypeAudit : AUT_I_LogFile::kLogTypeTrace);
    I18NString message = args[0].c_str();
    I18NString parameters[16];
    for (std::size_t i = 1; i < args.size(); ++i) {
        parameters[i - 1] = args[i].c_str();
    }
    if (level > log->GetLogLevel()) {
        std::printf("not written: level %d is above the level %d of component '%s'\n", level,
                    log->GetLogLevel(), component.c_str());
        return 0;
    }
    if (isAudit) {
        // Audit records are written as they are; the parameters go in beforehand.
        if (args.size() > 1) {
            AUT_SimpleSubstituteText(message, parameters[0], parameters[1], parameters[2],
                                     parameters[3], parameters[4], parameters[5], parameters[6],
                                     parameters[7], parameters[8], parameters[9], parameters[10],
                                     parameters[11], parameters[12], parameters[13], parameters[14],
                                     parameters[15]);
        }
        log->AuditLog(level, audit == "start", AUT_GetEmptyString(), AUT_GetEmptyString(), message);
    } else if (args.size() == 1) {
        // Without parameters, braces in the message are written as they are.
        log->Log(level, message);
    } else {
        log->Log(level, message, parameters[0], parameters[1], parameters[2], parameters[3],
                 parameters[4], parameters[5], parameters[6], parameters[7], parameters[8],
                 parameters[9], parameters[10], parameters[11], parameters[12], parameters[13],
                 parameters[14], parameters[15]);
    }
    std::vector<I18NString> files;
    AUT_I_LogFile::GetLogFileNames(files, true);
    if (files.empty()) {
        std::printf("sent to the logging framework\n");
    } else {
        std::printf("written to %s\n", files.back().c_str());
    }
    return 0;
}

int runLogs(Args& args) {
    std::string countText;
    takeOption(args, "-n", countText);
    rejectUnknownOptions(args);
    const std::string action = args.empty() ? "list" : args[0];
    if (args.size() > 1) {
        throw Misuse("too many arguments");
    }
    if (!countText.empty() && action != "tail") {
        throw Misuse("-n goes with tail only");
    }
    if (action != "list" && action != "tail" && action != "path") {
        throw Misuse("unknown action '" + action + "' (list, tail or path)");
    }
    const std::size_t count =
        countText.empty() ? 10 : parseNumber(countText, 0x7FFFFFFF, "the line count");

    LibrarySession session;
    if (action == "path") {
        std::printf("%s\n", AUT_I_LogFile::GetLogFileName().c_str());
        return 0;
    }
    const std::vector<std::string> files = existingLogFiles();
    if (action == "list") {
        for (const std::string& file : files) {
            std::printf("%s\n", file.c_str());
        }
        return 0;
    }
    if (files.empty()) {
        throw Failure("no log files beside '" + narrow(AUT_I_LogFile::GetLogFileName()) + "'");
    }
    const std::vector<std::string> lines = readLogFile(files.back()).lines;
    for (std::size_t i = lines.size() - std::min(count, lines.size()); i < lines.size(); ++i) {
        std::printf("%s\n", lines[i].c_str());
    }
    return 0;
}

} // namespace auttool
