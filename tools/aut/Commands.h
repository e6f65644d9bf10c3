#pragma once
// The subcommands of `aut`. Each takes the arguments after its name, writes its result to
// standard output and returns the exit status; it throws Failure (status 1) or Misuse
// (status 2) with a one-line reason, which main prints.
#include "ToolSupport.h"

namespace auttool {

struct Command {
    const char* name;
    const char* summary; // one line for the command list
    const char* help;    // the full text of "aut <name> --help"
    int (*run)(Args& args);
};

int runDemo(Args& args);
int runConfig(Args& args);
int runSettings(Args& args);
int runLog(Args& args);
int runLogs(Args& args);
int runMessage(Args& args);
int runLocale(Args& args);
int runHash(Args& args);
int runDiff(Args& args);

extern const char* const kDemoHelp;
extern const char* const kConfigHelp;
extern const char* const kSettingsHelp;
extern const char* const kLogHelp;
extern const char* const kLogsHelp;
extern const char* const kMessageHelp;
extern const char* const kLocaleHelp;
extern const char* const kHashHelp;
extern const char* const kDiffHelp;

} // namespace auttool
