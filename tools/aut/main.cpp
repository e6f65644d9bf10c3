// aut: looks at and drives the library's files from the command line.
#include "AUTInitialize.h"

#include <BrxConfiguration.h>
#include <BrxException.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include <sys/stat.h>

namespace {

constexpr const char* kConsumer = "aut";

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: aut <command> [options]\n"
                 "\n"
                 "commands:\n"
                 "  demo    start the library on a demonstration installation and report\n"
                 "\n"
                 "Run 'aut <command> --help' for a command's options.\n");
}

// The demonstration installation: $ORQ_BIN_DIR when set, else one in the build tree.
std::string prepareDemoInstallation() {
    const char* configured = std::getenv("ORQ_BIN_DIR");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    const std::string root = AUT_DEMO_ROOT;
    for (const std::string& dir : {root, root + "/bin", root + "/configuration", root + "/logs"}) {
        mkdir(dir.c_str(), 0755);
    }
    setenv("ORQ_BIN_DIR", (root + "/bin").c_str(), 1);
    return root + "/bin";
}

int runDemo(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: aut demo\n\nStarts the library as a consumer on a demonstration "
                        "installation, reports what it did, and stops it again.\n");
            return 0;
        }
        std::fprintf(stderr, "aut demo: unknown option '%s'\n", argv[i]);
        return 2;
    }
    const std::string binDir = prepareDemoInstallation();
    std::printf("installation binary directory: %s\n", binDir.c_str());

    const long started = AUT_Initialize(kConsumer);
    if (started != 0) {
        std::fprintf(stderr, "aut demo: the library did not start (status %ld)\n", started);
        return 1;
    }
    std::printf("started the library as consumer '%s' (registrations: %ld)\n", kConsumer,
                AUT_GetInitializeCount());

    I18NString configPath("OrqConfig.xml");
    BrxConfigurationFactory::getInstance().resolveInstallPath(configPath);
    std::printf("engine configuration file: %s\n", configPath.c_str());

    const long again = AUT_Initialize("aut-second");
    std::printf("a second consumer registered (status %ld, registrations: %ld)\n", again,
                AUT_GetInitializeCount());
    AUT_Terminate("aut-second");

    const long stopped = AUT_Terminate(kConsumer);
    std::printf("stopped the library (status %ld, registrations: %ld)\n", stopped,
                AUT_GetInitializeCount());
    const long extra = AUT_Terminate(kConsumer);
    std::printf("one termination too many answers status %ld (not initialized)\n", extra);
    return stopped == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    try {
        const std::string command = argv[1];
        if (command == "demo") {
            return runDemo(argc - 2, argv + 2);
        }
        std::fprintf(stderr, "aut: unknown command '%s'\n", argv[1]);
        usage(stderr);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "aut: %s\n", error.what());
        return 1;
    }
}
