#include "BrxConfiguration.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>

namespace {

// Directory of a loaded object whose file name starts with "libaut.so", or "" if none.
int findLibraryDirectory(dl_phdr_info* info, size_t, void* data) {
    const char* path = info->dlpi_name;
    if (path == nullptr || *path == '\0') {
        return 0;
    }
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    if (std::strncmp(name, "libaut.so", 9) != 0) {
        return 0;
    }
    *static_cast<std::string*>(data) = slash ? std::string(path, slash) : std::string(".");
    return 1;
}

std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findLibraryDirectory), &info) != 0 &&
        info.dli_fname != nullptr) {
        const char* slash = std::strrchr(info.dli_fname, '/');
        if (slash != nullptr) {
            return std::string(info.dli_fname, slash);
        }
    }
    return ".";
}

class Configuration final : public IBrxConfiguration {
public:
    I18NString& resolveInstallPath(I18NString& path) override {
        if (!path.empty() && path[0] == U'/') {
            return path;
        }
        I18NString resolved(getBinaryDirectory());
        resolved += U'/';
        resolved += path;
        path = resolved;
        return path;
    }

    I18NString getBinaryDirectory() override {
        const char* fromEnvironment = std::getenv("ORQ_BIN_DIR");
        if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
            std::string directory(fromEnvironment);
            while (directory.size() > 1 && directory.back() == '/') {
                directory.pop_back();
            }
            return I18NString(directory.c_str());
        }
        std::string directory;
        dl_iterate_phdr(&findLibraryDirectory, &directory);
        if (directory.empty()) {
            directory = ownDirectory();
        }
        return I18NString(directory.c_str());
    }
};

} // namespace

IBrxConfiguration::~IBrxConfiguration() = default;

IBrxConfiguration& BrxConfigurationFactory::getInstance() {
    static Configuration instance;
    return instance;
}
