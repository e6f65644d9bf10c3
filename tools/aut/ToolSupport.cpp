// What the subcommands of `aut` share.
#include "ToolSupport.h"

#include "AUTInitialize.h"
#include "UTI_LogFile.h"
#include "UTLogFile.h"
#include "uti_filesupport.h"

#include <BrxFile.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

namespace auttool {

namespace {

constexpr const char* kConsumer = "aut";

} // namespace

LibrarySession::LibrarySession() {
    const long status = AUT_Initialize(kConsumer);
    if (status != kInitializeStatusOk) {
        throw Failure("the library did not start (status " + std::to_string(status) + ")");
    }
}

LibrarySession::~LibrarySession() {
    AUT_Terminate(kConsumer);
}

bool wantsHelp(const Args& args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg == "--help" || arg == "-h") {
            return true;
        }
    }
    return false;
}

bool takeOption(Args& args, const std::string& name, std::string& value) {
    for (auto it = args.begin(); it != args.end() && *it != "--"; ++it) {
        if (*it == name) {
            if (it + 1 == args.end()) {
                throw Misuse("option " + name + " needs a value");
            }
            value = *(it + 1);
            args.erase(it, it + 2);
            return true;
        }
        if (it->rfind(name + "=", 0) == 0) {
            value = it->substr(name.size() + 1);
            args.erase(it);
            return true;
        }
    }
    return false;
}

bool takeFlag(Args& args, const std::string& name) {
    for (auto it = args.begin(); it != args.end() && *it != "--"; ++it) {
        if (*it == name) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

void rejectUnknownOptions(Args& args) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == "--") {
            args.erase(it);
            return;
        }
        // A lone "-" and negative numbers are ordinary arguments.
        if (it->size() > 1 && (*it)[0] == '-' &&
            !std::isdigit(static_cast<unsigned char>((*it)[1]))) {
            throw Misuse("unknown option '" + *it + "'");
        }
    }
}

std::uint32_t parseNumber(const std::string& text, std::uint32_t maximum, const char* what) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const bool wellFormed =
        !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
            return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                       : std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
    if (wellFormed) {
        errno = 0;
        const unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
        if (errno == 0 && value <= maximum) {
            return static_cast<std::uint32_t>(value);
        }
    }
    throw Misuse(std::string(what) + " must be a number from 0 to " + std::to_string(maximum) +
                 ", not '" + text + "'");
}

std::string oneLine(const std::string& text) {
    std::string line;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part);) {
        if (part.empty()) {
            continue;
        }
        line += (line.empty() ? "" : "; ") + part;
    }
    return line;
}

std::vector<std::string> existingLogFiles() {
    const AUT_LogFileFamily family(AUT_I_LogFile::GetLogFileName());
    std::vector<std::string> paths;
    for (const I18NString& name : family.List()) {
        paths.push_back(narrow(family.PathOf(name)));
    }
    return paths;
}

LogFileSummary readLogFile(const std::string& path) {
    LogFileSummary summary;
    // A regular file only, never through a symbolic link: a name of the family planted in
    // the logs directory must not make the tool read (or hang on) another file or a FIFO.
    std::string bytes;
    if (!brxReadRegularFile(path.c_str(), UINT64_MAX, bytes, false)) {
        throw Failure("cannot read '" + path +
                      "': " + (errno != 0 ? std::strerror(errno) : "not a regular file"));
    }
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        // The writer stamps each record with strftime's "%c" and a tab; this process reads
        // it back in the same locale.
        std::tm stamp{};
        const char* rest = strptime(line.c_str(), "%c", &stamp);
        if (rest != nullptr && *rest == '\t') {
            ++summary.records;
        }
        summary.lines.push_back(line);
    }
    return summary;
}

std::string readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Failure("cannot read '" + path + "'");
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace auttool
