// Configuration files from outside: each input is written as an installation's
// "OrqConfig.xml" and loaded into the store, and parsed into a document whose every node is
// visited. Nothing may crash, hang or grow without bound; the store must always answer.
#include "AUTConfiguration.h"

#include <BRXIDOM.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// One installation for the whole run: <tmp>/bin is ORQ_BIN_DIR, the file goes to
// <tmp>/configuration. Removed at exit.
struct Installation {
    std::string root;
    std::string file;

    Installation() {
        char pattern[] = "/tmp/ConfigFileFuzz.XXXXXX";
        root = mkdtemp(pattern);
        mkdir((root + "/bin").c_str(), 0700);
        mkdir((root + "/configuration").c_str(), 0700);
        setenv("ORQ_BIN_DIR", (root + "/bin").c_str(), 1);
        file = root + "/configuration/OrqConfig.xml";
    }
    ~Installation() {
        unlink(file.c_str());
        rmdir((root + "/configuration").c_str());
        rmdir((root + "/bin").c_str());
        rmdir(root.c_str());
    }
};

const std::string& configFile() {
    static const Installation installation;
    return installation.file;
}

// Every node of the document, depth first, with an explicit stack: deep input must not
// exhaust the fuzzer's own stack either.
void visitAll(const BRXIDOM_Document& document) {
    std::vector<BRXIDOM_Node> stack;
    const BRXIDOM_Element root = document.getDocumentElement();
    if (!root.isNull()) {
        stack.push_back(root);
    }
    while (!stack.empty()) {
        const BRXIDOM_Node node = stack.back();
        stack.pop_back();
        const BRXIDOM_Element element(node);
        if (!element.isNull()) {
            element.getAttribute(I18NString("name"));
        }
        node.getNodeName();
        node.getNodeValue();
        for (BRXIDOM_Node child = node.getFirstChild(); child != nullptr;
             child = child.getNextSibling()) {
            stack.push_back(child);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BRXIDOM_Document document;
    BRXIDOM_Parser parser(0);
    if (parser.parseMemory(data, size, document) == 0) {
        visitAll(document);
    } else if (!document.getDocumentElement().isNull() || parser.getErrorMessage().empty()) {
        std::abort(); // a refused document is empty and says why
    }

    // A store that exists belongs to an initialized library in this process: leave it be.
    if (AUT_I_Configuration::GetConfiguration() != nullptr) {
        return 0;
    }
    FILE* file = std::fopen(configFile().c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    AUT_Configuration::Initialize();
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    const I18NString component("Orq");
    const I18NString section("s"), entry("e");
    store->GetCompanyName();
    store->GetRenditionName();
    const unsigned long value = store->GetInt(component, section, entry, 0);
    if (value > 0xFFFFFFFFUL) {
        std::abort(); // integers of the store are 32 bits wide
    }
    store->GetString(component, section, entry, I18NString());
    AUT_Configuration::Terminate();
    return 0;
}
