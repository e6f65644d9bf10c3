// aut: looks at and drives the library's files from the command line.
#include "Commands.h"

#include <BrxException.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

using namespace auttool;

const Command kCommands[] = {
    {"demo", "start the library on a demonstration installation and report", kDemoHelp, &runDemo},
    {"config", "show the engine configuration (OrqConfig.xml)", kConfigHelp, &runConfig},
    {"settings", "read and change the registry user configuration", kSettingsHelp, &runSettings},
    {"log", "write one record through the library's logging", kLogHelp, &runLog},
    {"logs", "list, locate and read the library's log files", kLogsHelp, &runLogs},
    {"message", "show a numbered message of a catalog", kMessageHelp, &runMessage},
    {"locale", "parse a locale name into its parts", kLocaleHelp, &runLocale},
    {"hash", "hash a text as the library does", kHashHelp, &runHash},
    {"diff", "compare two files and write a report", kDiffHelp, &runDiff},
};

void usage(FILE* out) {
    std::fprintf(out, "usage: aut <command> [options] [arguments]\n\ncommands:\n");
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
    }
    std::fprintf(out, "\nRun 'aut <command> --help' for a command's options and arguments.\n"
                      "The installation is $ORQ_BIN_DIR, else the directory of libaut.\n");
}

int run(const Command& command, Args& args) {
    const std::string prefix = std::string("aut ") + command.name + ": ";
    try {
        if (wantsHelp(args)) {
            std::fputs(command.help, stdout);
            return 0;
        }
        return command.run(args);
    } catch (const Misuse& misuse) {
        std::fprintf(stderr, "%s%s (see 'aut %s --help')\n", prefix.c_str(), misuse.what(),
                     command.name);
        return 2;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), failure.what());
    } catch (const BrxException& error) {
        // The library's messages, with the code that names the area that failed.
        std::fprintf(stderr, "%s%s (error %ld)\n", prefix.c_str(), oneLine(error.what()).c_str(),
                     error.getErrorCode());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), oneLine(error.what()).c_str());
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        usage(stdout);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name == command.name) {
            Args args(argv + 2, argv + argc);
            const int status = run(command, args);
            // Output that could not be written is a failure like any other (a closed or
            // full standard output): one line says so.
            if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
                std::fprintf(stderr, "aut %s: cannot write the output: %s\n", command.name,
                             std::strerror(errno));
                return 1;
            }
            return status;
        }
    }
    std::fprintf(stderr, "aut: unknown command '%s' (see 'aut --help')\n", name.c_str());
    return 2;
}
