// A component that logs: a scope tracer around its work, records with parameters, and an
// audit pair around one request. It runs twice: in the mode the installation chose
// (framework mode unless "UseIPFLogging" is 0) and then in file mode, which it switches on
// for the current user and switches back at the end.
#include <AUTInitialize.h>
#include <AUTUserConfiguration.h>
#include <UTI_LogFile.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Log = AUT_I_LogFile;

void planQuery(const I18NString& query) {
    // Entry record now, exit record when `trace` goes; records in between are indented.
    const AUT_RefPtr<Log> trace =
        Log::Create("Planner", Log::kLogLevelTrace1, "planning {0}", "planned {0}", query);
    const AUT_RefPtr<Log> log = Log::Create("Planner");
    log->Log(Log::kLogLevelTrace1, "{0} joins, {1} ms", "3", "12");
    log->Log(Log::kLogLevelTrace0, "plan cache full"); // level 0: always written
    log->Log(Log::kLogLevelTrace9, "details only at trace level 9 and above");
}

void serveRequest(const I18NString& session, const I18NString& request) {
    const AUT_RefPtr<Log> audit = Log::Create("Planner", Log::kLogTypeAudit);
    audit->AuditLog(Log::kLogLevelAudit0, true, session, request, "request " + request);
    planQuery("q7");
    audit->AuditLog(Log::kLogLevelAudit0, false, session, request, "request " + request);
}

} // namespace

int main() {
    if (AUT_Initialize("logging") != 0) {
        std::fprintf(stderr, "logging: the library did not start\n");
        return 1;
    }
    int status = 0;
    const AUT_RefPtr<AUT_I_UserConfiguration> user =
        AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
    const I18NString section = Log::GetConfigurationSectionName();
    const I18NString previous = user->GetString(section, "UseIPFLogging", "");
    try {
        serveRequest("s1", "r1"); // framework mode: see ORQ_LOG_CONFIG, else standard error
        user->SetInt(section, "UseIPFLogging", 0);
        Log::Reset(); // the next log object reads the mode again
        serveRequest("s1", "r2");
        std::vector<I18NString> files;
        Log::GetLogFileNames(files, true);
        for (const I18NString& file : files) {
            std::printf("logging: wrote %s\n", file.c_str());
        }
    } catch (...) {
        // The library logs each of its exceptions where it throws it.
        std::fprintf(stderr, "logging: the library failed; its log has the reason\n");
        status = 1;
    }
    if (previous.empty()) {
        user->DeleteEntry(section, "UseIPFLogging");
    } else {
        user->SetString(section, "UseIPFLogging", previous);
    }
    Log::Reset();
    return AUT_Terminate("logging") == 0 ? status : 1;
}
