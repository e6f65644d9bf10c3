#include "AUTConfiguration.h"

#include "UTStringSupport.h"

#include <BRXIDOM.h>
#include <BrxConfiguration.h>
#include <crt_io.h>
#include <cstdint>
#include <utility>

namespace {

// The process-wide store. A plain pointer: constant-initialized, so it needs no place in the
// load order, and it is null outside the library's initialized state.
AUT_Configuration* g_configuration = nullptr;

// Integers of the store are 32-bit values, whatever the width of unsigned long.
unsigned long to32Bits(unsigned long value) {
    return static_cast<std::uint32_t>(value);
}

} // namespace

AUT_I_Configuration::~AUT_I_Configuration() = default;

AUT_I_Configuration* AUT_I_Configuration::GetConfiguration() {
    return g_configuration;
}

AUT_Configuration::AUT_Configuration()
    : f_companyName("Morvex")
    , f_defaultComponentName("Orq")
    , f_fileName("OrqConfig.xml")
    , f_sections(&f_nodeArena) {}

AUT_Configuration::~AUT_Configuration() = default;

void AUT_Configuration::Initialize() {
    // Published before loading, so that code reached from the loader finds the store.
    g_configuration = new AUT_Configuration();
    g_configuration->Init();
}

void AUT_Configuration::Terminate() {
    AUT_Configuration* const configuration = g_configuration;
    g_configuration = nullptr;
    delete configuration;
}

void AUT_Configuration::Init() {
    f_document = BRXIDOM_DOMImplementation::getInstance().createDocument(
        I18NString(), I18NString("OrqConfig"), BRXIDOM_DocumentType());

    I18NString resolvedPath(f_fileName);
    BrxConfigurationFactory::getInstance().resolveInstallPath(resolvedPath);

    // The installation keeps its configuration beside bin/, in configuration/; a copy beside
    // the binaries is the fallback.
    I18NString candidate(resolvedPath);
    const long nameAt = candidate.rfind(f_fileName);
    candidate.insert(nameAt < 0 ? candidate.length() : nameAt, I18NString("../configuration/"));
    const I18NString* path = nullptr;
    if (_access(candidate.c_str(), _A_EXISTS) == 0) {
        path = &candidate;
    } else if (_access(resolvedPath.c_str(), _A_EXISTS) == 0) {
        path = &resolvedPath;
    } else {
        return;
    }

    // A file that cannot be read whole leaves the document empty; the parser's result adds
    // nothing the empty document does not already say.
    BRXIDOM_Parser parser(0);
    parser.parse(path->c_str(), f_document);

    f_rootElement = f_document.getDocumentElement();
    if (f_rootElement.isNull()) {
        return;
    }
    const I18NString company = f_rootElement.getAttribute(I18NString("company"));
    if (!company.empty()) {
        f_companyName = company;
    }
    const I18NString rendition = f_rootElement.getAttribute(I18NString("rendition"));
    if (!rendition.empty()) {
        f_renditionName = rendition;
    }
    if (!f_rootElement.hasChildNodes()) {
        return;
    }
    ReadSections();
}

void AUT_Configuration::ReadSections() {
    const I18NString sectionTag("section");
    const I18NString entryTag("entry");
    const I18NString nameAttribute("name");
    const I18NString valueAttribute("value");

    // Three fixed levels, each a sibling loop: no recursion, whatever the file's depth.
    for (BRXIDOM_Node group = f_rootElement.getFirstChild(); group != nullptr;
         group = group.getNextSibling()) {
        if (group.getNodeType() != BRXIDOM_Node::ELEMENT_NODE) {
            continue;
        }
        for (BRXIDOM_Node node = group.getFirstChild(); node != nullptr;
             node = node.getNextSibling()) {
            if (node.getNodeType() != BRXIDOM_Node::ELEMENT_NODE) {
                continue;
            }
            const BRXIDOM_Element section(node);
            if (!section.hasTagName(sectionTag)) {
                continue;
            }
            // The section is made with its first entry: an empty section element adds nothing.
            EntryMap* entries = nullptr;
            for (BRXIDOM_Node child = section.getFirstChild(); child != nullptr;
                 child = child.getNextSibling()) {
                if (child.getNodeType() != BRXIDOM_Node::ELEMENT_NODE) {
                    continue;
                }
                const BRXIDOM_Element entry(child);
                if (!entry.hasTagName(entryTag)) {
                    continue;
                }
                if (entries == nullptr) {
                    entries = &f_sections[section.getAttribute(nameAttribute)];
                }
                // An entry read again keeps the integer form of its earlier value.
                auto slot = entries->try_emplace(entry.getAttribute(nameAttribute)).first;
                slot->second.f_value = entry.getAttribute(valueAttribute);
            }
        }
    }
}

I18NString AUT_Configuration::GetCompanyName() {
    return f_companyName;
}

I18NString AUT_Configuration::GetRenditionName() {
    return f_renditionName;
}

I18NString AUT_Configuration::GetDefaultComponentName() {
    return f_defaultComponentName;
}

AUT_Configuration::ConfigEntry* AUT_Configuration::Find(const I18NString& section,
                                                        const I18NString& entry) {
    const auto foundSection = f_sections.find(section);
    if (foundSection == f_sections.end()) {
        return nullptr;
    }
    const auto foundEntry = foundSection->second.find(entry);
    if (foundEntry == foundSection->second.end()) {
        return nullptr;
    }
    return &foundEntry->second;
}

unsigned long AUT_Configuration::GetInt(const I18NString& /*component*/,
                                        const I18NString& section,
                                        const I18NString& entry,
                                        unsigned long defaultValue) {
    ConfigEntry* const found = Find(section, entry);
    if (found == nullptr) {
        return defaultValue;
    }
    if (!found->f_intValueValid) {
        found->f_intValue = to32Bits(static_cast<unsigned long>(AUT_ToInt(found->f_value)));
        found->f_intValueValid = true;
    }
    return found->f_intValue;
}

I18NString AUT_Configuration::GetString(const I18NString& /*component*/,
                                        const I18NString& section,
                                        const I18NString& entry,
                                        const I18NString& defaultValue) {
    const ConfigEntry* const found = Find(section, entry);
    return found == nullptr ? defaultValue : found->f_value;
}

void AUT_Configuration::SetInt(const I18NString& /*component*/,
                               const I18NString& section,
                               const I18NString& entry,
                               unsigned long value) {
    if (section.empty() || entry.empty()) {
        return;
    }
    ConfigEntry& slot = f_sections[section][entry];
    slot.f_intValue = to32Bits(value);
    slot.f_intValueValid = true;
}

void AUT_Configuration::SetString(const I18NString& /*component*/,
                                  const I18NString& section,
                                  const I18NString& entry,
                                  const I18NString& value) {
    if (section.empty() || entry.empty()) {
        return;
    }
    f_sections[section][entry].f_value = value;
}
