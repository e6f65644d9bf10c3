#include "BrxCatalog.h"
#include "BrxFile.h"
#include "BrxMessage.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <iterator>
#include <map>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace brxcatalog {

namespace {

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxLocaleLength = 32;

std::atomic<long> g_readCount{0};

// Built-in copies, registered by the libraries that carry them: (folded name, locale level)
// -> catalog text. Built on first use, so registration from another library's static
// constructors finds it whatever the load order.
struct BuiltIns {
    std::mutex lock; // guards texts
    std::map<std::pair<std::string, std::string>, std::string> texts;
};

BuiltIns& builtIns() {
    static BuiltIns* instance = new BuiltIns(); // never freed: used until the last unload
    return *instance;
}

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// The directory of this library's file, or "" when the loader cannot tell.
std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownDirectory), &info) == 0 || info.dli_fname == nullptr) {
        return std::string();
    }
    const char* slash = std::strrchr(info.dli_fname, '/');
    return slash ? std::string(info.dli_fname, slash) : std::string(".");
}

// Read afresh on every search, so that a test or a tool may change the environment.
std::vector<std::string> searchDirectories() {
    std::vector<std::string> directories;
    const char* listed = std::getenv("ORQ_MESSAGES_DIR");
    if (listed != nullptr) {
        std::string list(listed);
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) {
                end = list.size();
            }
            if (end > start) {
                directories.push_back(list.substr(start, end - start));
            }
            start = end + 1;
        }
    }
    const char* binDirectory = std::getenv("ORQ_BIN_DIR");
    if (binDirectory != nullptr && *binDirectory != '\0') {
        directories.push_back(std::string(binDirectory) + "/../messages");
        return directories;
    }
    const std::string libraryDirectory = ownDirectory();
    if (!libraryDirectory.empty()) {
        directories.push_back(libraryDirectory + "/../messages");
        directories.push_back(libraryDirectory + "/../share/aut/messages");
    }
    return directories;
}

// The entry of `directory` whose name equals `fileName` in any letter case; when several do,
// the byte-wise smallest, so that the choice does not depend on the directory's order.
std::string findEntry(const std::string& directory, const std::string& fileName) {
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return std::string();
    }
    std::string best;
    while (const dirent* entry = readdir(listing)) {
        if (strcasecmp(entry->d_name, fileName.c_str()) == 0 &&
            (best.empty() || std::strcmp(entry->d_name, best.c_str()) < 0)) {
            best = entry->d_name;
        }
    }
    closedir(listing);
    return best;
}

// The built-in copy of one catalog and locale level, parsed; null when none is registered.
std::unique_ptr<Catalog> builtInCopy(const std::string& foldedName,
                                     const std::string& localeLevel) {
    BuiltIns& registry = builtIns();
    std::lock_guard<std::mutex> guard(registry.lock);
    auto found = registry.texts.find(std::make_pair(foldedName, localeLevel));
    if (found == registry.texts.end()) {
        return nullptr;
    }
    auto catalog =
        std::make_unique<Catalog>(parseCatalog(found->second.data(), found->second.size()));
    catalog->source = "built-in";
    return catalog;
}

} // namespace

std::string normalizeLocale(const char* locale) {
    if (locale == nullptr || *locale == '\0') {
        return "en-us";
    }
    std::string result;
    for (const char* at = locale; *at != '\0' && *at != '.' && *at != '@'; ++at) {
        const char c = (*at == '_') ? '-' : foldAscii(*at);
        if (!isNameCharacter(c) || c == '_') {
            return std::string();
        }
        // Empty parts ("fr--ca", "-fr", "fr-") are dropped.
        if (c == '-' && (result.empty() || result.back() == '-')) {
            continue;
        }
        result += c;
        if (result.size() > kMaxLocaleLength) {
            return std::string();
        }
    }
    if (!result.empty() && result.back() == '-') {
        result.pop_back();
    }
    return result;
}

std::vector<std::string> localeChain(const std::string& normalizedLocale) {
    std::vector<std::string> chain;
    std::string level = normalizedLocale;
    while (!level.empty()) {
        chain.push_back(level);
        const std::size_t dash = level.rfind('-');
        level.resize(dash == std::string::npos ? 0 : dash);
    }
    chain.push_back(std::string());
    return chain;
}

std::string foldCatalogName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength) {
        return std::string();
    }
    std::string folded;
    for (char c : name) {
        c = foldAscii(c);
        if (!isNameCharacter(c)) {
            return std::string();
        }
        folded += c;
    }
    return folded;
}

std::shared_ptr<const Catalog> loadCatalog(const std::string& foldedName,
                                           const std::string& localeLevel) {
    if (foldedName.empty()) {
        return nullptr;
    }
    const std::string fileName =
        foldedName + (localeLevel.empty() ? std::string() : "." + localeLevel) + ".msg";
    std::shared_ptr<Catalog> catalog;
    std::string content;
    for (const std::string& directory : searchDirectories()) {
        const std::string entry = findEntry(directory, fileName);
        if (entry.empty()) {
            continue;
        }
        const std::string path = directory + "/" + entry;
        // An entry that is no readable regular file (or too large) is passed over.
        if (!brxReadRegularFile(path.c_str(), kMaxFileBytes, content)) {
            continue;
        }
        catalog = std::make_shared<Catalog>(parseCatalog(content.data(), content.size()));
        catalog->source = path;
        break;
    }
    std::unique_ptr<Catalog> builtIn = builtInCopy(foldedName, localeLevel);
    if (!catalog && !builtIn) {
        return nullptr;
    }
    if (!catalog) {
        catalog = std::make_shared<Catalog>(std::move(*builtIn));
    } else if (builtIn) {
        // A file that lacks numbers (an old, partial or damaged copy) must not take the
        // library's own texts away: the built-in copy fills its gaps. Inserting never replaces,
        // so the file's texts win.
        catalog->messages.insert(std::make_move_iterator(builtIn->messages.begin()),
                                 std::make_move_iterator(builtIn->messages.end()));
    }
    ++g_readCount;
    return catalog;
}

long readCount() {
    return g_readCount.load();
}

} // namespace brxcatalog

void brxRegisterBuiltInCatalog(const char* name,
                               const char* locale,
                               const char* data,
                               std::size_t size) {
    using namespace brxcatalog;
    if (name == nullptr || data == nullptr) {
        return;
    }
    const std::string folded = foldCatalogName(name);
    // An empty locale is the catalog without locale, not the default "en-us".
    const std::string level =
        (locale == nullptr || *locale == '\0') ? std::string() : normalizeLocale(locale);
    if (folded.empty() || (locale != nullptr && *locale != '\0' && level.empty())) {
        return;
    }
    BuiltIns& registry = builtIns();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.texts[std::make_pair(folded, level)] = std::string(data, size);
}
