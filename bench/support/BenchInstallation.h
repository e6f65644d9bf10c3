#pragma once
// A temporary installation for benchmarks: <root>/bin (ORQ_BIN_DIR), <root>/configuration and
// <root>/logs, started as a consumer of the library and removed again at exit.
#include <string>

class BenchInstallation {
public:
    // `consumer` names the library registration and the directory; `configuration` is written
    // as configuration/OrqConfig.xml, with kLogsMarker replaced by logs(), before the library
    // starts. Aborts on any failure: a
    // benchmark without its installation measures nothing.
    BenchInstallation(const std::string& consumer, const std::string& configuration);
    ~BenchInstallation();
    BenchInstallation(const BenchInstallation&) = delete;
    BenchInstallation& operator=(const BenchInstallation&) = delete;

    const std::string& root() const { return f_root; }
    std::string logs() const { return f_root + "/logs"; }

    // Writes `text` to `path` (absolute), aborting on failure.
    static void writeFile(const std::string& path, const std::string& text);
    // Stands for the logs directory in a configuration text.
    static constexpr char kLogsMarker[] = "@LOGS@";
    // An "OrqConfig.xml" in file mode with the largest limits, logging to `logFileName` in the
    // logs directory.
    static std::string fileModeConfiguration(const std::string& logFileName);

private:
    std::string f_consumer;
    std::string f_root;
};
