#include "AutTestSupport.h"

#include "ReliabilitySupport.h"
#include "UTI_LogFile.h"

#include <AUTInitialize.h>
#include <BrxMessage.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace auttest {

namespace {

int removeEntry(const char* path, const struct stat*, int, FTW*) {
    // Read-only directories made by fault tests must still go.
    chmod(path, S_IRWXU);
    return remove(path);
}

void makeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/auttest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    f_path = buffer.data();
}

TempDir::~TempDir() {
    nftw(f_path.c_str(), &removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempDir::file(const std::string& relative) const {
    return f_path + "/" + relative;
}

std::string TempDir::makeDirectory(const std::string& relative) const {
    const std::string full = file(relative);
    makeParents(full + "/");
    return full;
}

std::string TempDir::writeFile(const std::string& relative, const std::string& content) const {
    const std::string full = file(relative);
    makeParents(full);
    std::ofstream out(full, std::ios::binary);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + full);
    }
    return full;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

long OpenDescriptors(const std::string& under) {
    long open = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        open += std::filesystem::read_symlink(fd, ignored).string().rfind(under, 0) == 0;
    }
    return open;
}

void InstallationTest::SetUp() {
    f_root = new TempDir();
    f_root->makeDirectory("bin");
    f_root->makeDirectory("configuration");
    f_root->makeDirectory("logs");
    const char* saved = std::getenv("ORQ_BIN_DIR");
    f_hadBinDir = saved != nullptr;
    f_savedBinDir = saved ? saved : "";
    setenv("ORQ_BIN_DIR", binDir().c_str(), 1);
}

void InstallationTest::TearDown() {
    if (f_hadBinDir) {
        setenv("ORQ_BIN_DIR", f_savedBinDir.c_str(), 1);
    } else {
        unsetenv("ORQ_BIN_DIR");
    }
    delete f_root;
    f_root = nullptr;
}

void InitializedTest::SetUp() {
    InstallationTest::SetUp();
    ASSERT_EQ(AUT_Initialize("test"), 0);
}

void InitializedTest::TearDown() {
    EXPECT_EQ(AUT_Terminate("test"), 0);
    InstallationTest::TearDown();
}

void FileModeTest::TearDown() {
    if (f_started) {
        EXPECT_EQ(AUT_Terminate("test"), 0);
    }
    InstallationTest::TearDown();
}

void FileModeTest::Start(const Entries& extra) {
    root().writeFile("configuration/OrqConfig.xml", FileModeConfiguration(logFileName(), extra));
    ASSERT_EQ(AUT_Initialize("test"), 0);
    f_started = true;
}

std::vector<std::string> FileModeTest::files() const {
    std::vector<I18NString> names;
    AUT_I_LogFile::GetLogFileNames(names, true);
    std::vector<std::string> contents;
    for (const I18NString& name : names) {
        contents.push_back(readFile(name.c_str()));
    }
    return contents;
}

std::vector<std::string> FileModeTest::records() const {
    std::vector<I18NString> names;
    AUT_I_LogFile::GetLogFileNames(names, true);
    std::vector<std::string> all;
    for (const I18NString& name : names) {
        const auto content = reliability::ReadLogFile(name.c_str());
        all.insert(all.end(), content.records.begin(), content.records.end());
    }
    return all;
}

std::string FileModeConfiguration(const std::string& logFile,
                                  const std::vector<std::pair<std::string, std::string>>& extra) {
    std::string xml = "<OrqConfig><group><section name=\"Logging\">"
                      "<entry name=\"UseIPFLogging\" value=\"0\"/>"
                      "<entry name=\"LogFileName\" value=\"" +
                      logFile + "\"/>";
    for (const auto& entry : extra) {
        xml += "<entry name=\"" + entry.first + "\" value=\"" + entry.second + "\"/>";
    }
    return xml + "</section></group></OrqConfig>";
}

Thrown Inspect(const AUT_Exception& exception) {
    Thrown thrown;
    thrown.code = exception.getErrorCode();
    thrown.severity = exception.getSeverity().value();
    thrown.text = exception.what();
    if (exception.messageCount() > 0) {
        if (const auto* message =
                dynamic_cast<const BrxMessageComponents*>(&exception.messageAt(0))) {
            thrown.number = message->getMessageNumber();
            for (const I18NString& parameter : message->getParameters()) {
                thrown.parameters.push_back(parameter.c_str());
            }
        }
    }
    if (!exception.getBackTrace().empty()) {
        thrown.file = exception.getBackTrace().front().file;
    }
    return thrown;
}

} // namespace auttest
