// aut config and aut settings: the engine configuration store and the registry user
// configuration.
#include "AUTConfiguration.h"
#include "Commands.h"
#include "UTUserConfigurationWin32.h"

#include <BRXIDOM.h>
#include <BrxConfiguration.h>
#include <BrxException.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sys/stat.h>

namespace auttool {

const char* const kConfigHelp =
    "usage: aut config [dump]\n"
    "       aut config get [--int] SECTION ENTRY\n"
    "\n"
    "Shows what the engine configuration store holds, as the library read it from\n"
    "OrqConfig.xml (../configuration/ beside $ORQ_BIN_DIR, then $ORQ_BIN_DIR itself).\n"
    "\n"
    "  dump    (the default) the file read, the company, rendition and component names,\n"
    "          then every section and entry, as [Section] and Entry = value lines\n"
    "  get     the text of one entry (with --int: its value as the library's integer);\n"
    "          exit status 1 when the store has no such entry\n";

const char* const kSettingsHelp =
    "usage: aut settings get SECTION ENTRY [--machine]\n"
    "       aut settings set SECTION ENTRY VALUE [--text] [--machine]\n"
    "       aut settings delete SECTION [ENTRY] [--machine]\n"
    "\n"
    "Reads and changes the registry user configuration of the current user (with --machine:\n"
    "of the local machine), under Software\\<company>\\<rendition>\\Schemist\\SECTION, the\n"
    "company and rendition coming from the installation's Rendition.cfg.\n"
    "\n"
    "  get     prints the value; exit status 1 when it is not set\n"
    "  set     stores VALUE: a decimal number up to 4294967295 as an integer, anything else\n"
    "          (or anything with --text) as text\n"
    "  delete  deletes the entry, or without ENTRY the whole section; deleting what does\n"
    "          not exist succeeds\n"
    "\n"
    "The databases: $ORQ_REGISTRY_USER (else $XDG_CONFIG_HOME/orq/registry.db) and\n"
    "$ORQ_REGISTRY_MACHINE (else /var/lib/orq/registry.db).\n";

namespace {

using Sections = std::map<std::string, std::set<std::string>>;

// Two defaults that no setting holds, to tell an absent value from a present one.
const char* const kAbsent1 = "\x01(absent)\x01";
const char* const kAbsent2 = "\x02(absent)\x02";

// The file the store reads: the first of the two places that holds one.
std::string ConfigurationFile() {
    IBrxConfiguration& service = BrxConfigurationFactory::getInstance();
    for (const char* relative : {"../configuration/OrqConfig.xml", "OrqConfig.xml"}) {
        I18NString path(relative);
        service.resolveInstallPath(path);
        struct stat status {};
        if (stat(path.c_str(), &status) == 0) {
            return narrow(path);
        }
    }
    return std::string();
}

BRXIDOM_Element FirstElement(const BRXIDOM_Node& parent) {
    for (BRXIDOM_Node node = parent.getFirstChild(); !node.isNull(); node = node.getNextSibling()) {
        if (node.getNodeType() == BRXIDOM_Node::ELEMENT_NODE) {
            return BRXIDOM_Element(node);
        }
    }
    return BRXIDOM_Element();
}

BRXIDOM_Element NextElement(const BRXIDOM_Node& node) {
    for (BRXIDOM_Node next = node.getNextSibling(); !next.isNull(); next = next.getNextSibling()) {
        if (next.getNodeType() == BRXIDOM_Node::ELEMENT_NODE) {
            return BRXIDOM_Element(next);
        }
    }
    return BRXIDOM_Element();
}

// The names of the sections and entries in the file, walked as the store walks it: the
// root's element children, their "section" children, and those's "entry" children. The
// store cannot list its names, so the file names them and the store gives the values.
Sections SectionNames(const std::string& file) {
    Sections sections;
    BRXIDOM_Document document;
    BRXIDOM_Parser parser;
    if (file.empty() || parser.parse(file.c_str(), document) != 0) {
        return sections;
    }
    const BRXIDOM_Element root = document.getDocumentElement();
    for (BRXIDOM_Element group = FirstElement(root); !group.isNull(); group = NextElement(group)) {
        for (BRXIDOM_Element section = FirstElement(group); !section.isNull();
             section = NextElement(section)) {
            if (!section.hasTagName("section")) {
                continue;
            }
            std::set<std::string>& entries = sections[narrow(section.getAttribute("name"))];
            for (BRXIDOM_Element entry = FirstElement(section); !entry.isNull();
                 entry = NextElement(entry)) {
                if (entry.hasTagName("entry")) {
                    entries.insert(narrow(entry.getAttribute("name")));
                }
            }
        }
    }
    return sections;
}

AUT_I_Configuration& Store() {
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    if (store == nullptr) {
        throw Failure("the engine configuration store does not exist");
    }
    return *store;
}

// An entry's text, or false when the store has none: an absent entry answers with the
// default, so two different defaults tell an absent entry from one holding either.
bool Lookup(AUT_I_Configuration& store,
            const std::string& section,
            const std::string& entry,
            std::string& value) {
    const I18NString component = store.GetDefaultComponentName();
    const I18NString first = store.GetString(component, section.c_str(), entry.c_str(), kAbsent1);
    if (first == kAbsent1) {
        const I18NString second =
            store.GetString(component, section.c_str(), entry.c_str(), kAbsent2);
        if (second == kAbsent2) {
            return false;
        }
    }
    value = narrow(first);
    return true;
}

int Dump(AUT_I_Configuration& store) {
    const std::string file = ConfigurationFile();
    std::printf("# file: %s\n", file.empty() ? "(none: every value is a default)" : file.c_str());
    std::printf("# company: %s\n", store.GetCompanyName().c_str());
    std::printf("# rendition: %s\n", store.GetRenditionName().c_str());
    std::printf("# component: %s\n", store.GetDefaultComponentName().c_str());
    for (const auto& section : SectionNames(file)) {
        std::printf("[%s]\n", section.first.c_str());
        for (const std::string& entry : section.second) {
            std::string value;
            if (Lookup(store, section.first, entry, value)) {
                std::printf("%s = %s\n", entry.c_str(), value.c_str());
            }
        }
    }
    return 0;
}

// A decimal number that reads back as the same text: "007" and "" stay texts.
bool IsInteger(const std::string& text) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return std::stoull(text) <= 0xFFFFFFFFull;
}

void NeedName(const std::string& name, const char* what) {
    if (name.empty()) {
        throw Misuse(std::string("the ") + what + " name must not be empty");
    }
}

// Refuses what the settings would not read back exactly: bytes that are not UTF-8 (they would
// become U+FFFD), and in entry names and texts, which are stored as ISO-8859-1, a character
// beyond U+00FF.
void NeedStorable(const std::string& text, const char* what, bool latin1) {
    const I18NString decoded(text.c_str());
    const std::u32string& codePoints = decoded.codePoints();
    const char* reason = narrow(decoded) != text ? "it is not valid UTF-8" : nullptr;
    if (reason == nullptr && latin1 &&
        std::any_of(codePoints.begin(), codePoints.end(), [](char32_t c) { return c > 0xFF; })) {
        reason = "entry names and texts hold characters up to U+00FF only";
    }
    if (reason != nullptr) {
        throw Misuse(std::string("the ") + what + " cannot be stored exactly: " + reason);
    }
}

} // namespace

int runConfig(Args& args) {
    const bool asInteger = takeFlag(args, "--int");
    rejectUnknownOptions(args);
    const std::string action = args.empty() ? "dump" : args[0];
    if (action == "dump") {
        if (args.size() > 1 || asInteger) {
            throw Misuse("dump takes no arguments");
        }
        LibrarySession session;
        return Dump(Store());
    }
    if (action != "get") {
        throw Misuse("unknown action '" + action + "' (get or dump)");
    }
    if (args.size() != 3) {
        throw Misuse("get needs a section and an entry");
    }
    LibrarySession session;
    AUT_I_Configuration& store = Store();
    std::string value;
    if (!Lookup(store, args[1], args[2], value)) {
        throw Failure("no entry '" + args[2] + "' in section '" + args[1] + "'");
    }
    if (asInteger) {
        std::printf("%lu\n", store.GetInt(store.GetDefaultComponentName(), args[1].c_str(),
                                          args[2].c_str(), 0));
    } else {
        std::printf("%s\n", value.c_str());
    }
    return 0;
}

int runSettings(Args& args) {
    const bool machine = takeFlag(args, "--machine");
    const bool asText = takeFlag(args, "--text");
    rejectUnknownOptions(args);
    if (args.empty()) {
        throw Misuse("an action is needed (get, set or delete)");
    }
    const std::string action = args[0];
    const std::size_t wanted = action == "get" ? 3 : action == "set" ? 4 : 0;
    if (action == "delete") {
        if (args.size() != 2 && args.size() != 3) {
            throw Misuse("delete needs a section and at most one entry");
        }
    } else if (wanted == 0) {
        throw Misuse("unknown action '" + action + "' (get, set or delete)");
    } else if (args.size() != wanted) {
        throw Misuse(action == "get" ? "get needs a section and an entry; the registry "
                                       "interface cannot list a section's entries"
                                     : "set needs a section, an entry and a value");
    }
    if (asText && action != "set") {
        throw Misuse("--text goes with set only");
    }
    NeedName(args[1], "section");
    NeedStorable(args[1], "section name", false);
    if (args.size() > 2) {
        NeedName(args[2], "entry");
        NeedStorable(args[2], "entry name", true);
    }
    if (action == "set" && (asText || !IsInteger(args[3]))) {
        NeedStorable(args[3], "value", true);
    }
    const I18NString section = args[1].c_str();
    const I18NString entry = args.size() > 2 ? args[2].c_str() : "";

    LibrarySession session;
    AUT_UserConfigurationWin32::SetPath(nullptr);
    AUT_UserConfigurationWin32 settings(machine ? AUT_I_UserConfiguration::kRootKeyLocalMachine
                                                : AUT_I_UserConfiguration::kRootKeyCurrentUser);
    if (action == "set") {
        if (!asText && IsInteger(args[3])) {
            settings.SetInt(section, entry, std::stoul(args[3]));
        } else {
            settings.SetString(section, entry, args[3].c_str());
        }
    } else if (action == "delete") {
        if (args.size() == 3) {
            settings.DeleteEntry(section, entry);
        } else {
            settings.DeleteSection(section);
        }
    } else {
        // A value's kind is not exposed: reading it as the other kind fails an assertion.
        try {
            const I18NString first = settings.GetString(section, entry, kAbsent1);
            if (first == kAbsent1 && settings.GetString(section, entry, kAbsent2) == kAbsent2) {
                throw Failure("'" + args[2] + "' is not set in section '" + args[1] + "'");
            }
            std::printf("%s\n", first.c_str());
        } catch (const BrxAssertError&) {
            std::printf("%lu\n", settings.GetInt(section, entry, 0));
        }
    }
    return 0;
}

} // namespace auttool
