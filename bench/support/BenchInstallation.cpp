#include "BenchInstallation.h"

#include "AUTInitialize.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

BenchInstallation::BenchInstallation(const std::string& consumer, const std::string& configuration)
    : f_consumer(consumer) {
    std::string pattern = "/tmp/" + consumer + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        std::abort();
    }
    f_root = name.data();
    const std::string commands =
        "mkdir -p " + f_root + "/bin " + f_root + "/configuration " + logs();
    if (std::system(commands.c_str()) != 0) {
        std::abort();
    }
    std::string text = configuration;
    for (std::size_t at = text.find(kLogsMarker); at != std::string::npos;
         at = text.find(kLogsMarker, at)) {
        text.replace(at, sizeof(kLogsMarker) - 1, logs());
    }
    writeFile(f_root + "/configuration/OrqConfig.xml", text);
    setenv("ORQ_BIN_DIR", (f_root + "/bin").c_str(), 1);
    if (AUT_Initialize(f_consumer.c_str()) != 0) {
        std::abort();
    }
}

BenchInstallation::~BenchInstallation() {
    AUT_Terminate(f_consumer.c_str());
    if (std::system(("rm -rf " + f_root).c_str()) != 0) {
        std::fprintf(stderr, "could not remove %s\n", f_root.c_str());
    }
}

void BenchInstallation::writeFile(const std::string& path, const std::string& text) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::abort();
    }
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
}

std::string BenchInstallation::fileModeConfiguration(const std::string& logFileName) {
    return std::string("<OrqConfig><g><section name=\"Logging\">"
                       "<entry name=\"UseIPFLogging\" value=\"0\"/>"
                       "<entry name=\"LineCountPerLogFile\" value=\"4000000000\"/>"
                       "<entry name=\"LogFileCount\" value=\"10000\"/>"
                       "<entry name=\"LogFileName\" value=\"") +
           kLogsMarker + "/" + logFileName + "\"/></section></g></OrqConfig>";
}
