#include "AUTConfiguration.h"

#include "UTStringSupport.h"

#include <BRXIDOM.h>
#include <BrxConfiguration.h>
#include <algorithm>
#include <crt_io.h>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <tuple>
#include <utility>

namespace {

// The process-wide store. Constant-initialized, so it needs no place in the load order; null
// outside the library's initialized state. Atomic, because any thread may ask for it.
std::atomic<AUT_Configuration*> g_configuration{nullptr};

// Decodes UTF-8 text into `scratch`, whose buffer is reused from one text to the next.
std::u32string_view decode(I18NString& scratch, const char* text) {
    scratch.clear();
    scratch += text;
    return std::as_const(scratch).codePoints();
}

// A name or text of the table as a string of the caller's.
I18NString CodePoints(const std::pmr::u32string& text) {
    return I18NString(std::u32string(text.begin(), text.end()));
}

constexpr std::size_t kArenaBlockBytes = 64 * 1024;

// The arena blocks of the last store, for the next. Never destroyed: a consumer may
// terminate the library from a static destructor that runs after this unit's.
struct SpareBlocks {
    std::mutex lock; // guards blocks
    std::vector<std::unique_ptr<char[]>> blocks;
};

SpareBlocks& spareBlocks() {
    static SpareBlocks* const spare = new SpareBlocks;
    return *spare;
}

using ReadLock = std::shared_lock<std::shared_mutex>;
using WriteLock = std::unique_lock<std::shared_mutex>;

// Integers of the store are 32-bit values, whatever the width of unsigned long.
unsigned long to32Bits(unsigned long value) {
    return static_cast<std::uint32_t>(value);
}

} // namespace

AUT_Configuration::NodeArena::NodeArena() {
    SpareBlocks& spare = spareBlocks();
    const std::lock_guard<std::mutex> guard(spare.lock);
    f_spare.swap(spare.blocks);
}

AUT_Configuration::NodeArena::~NodeArena() {
    SpareBlocks& spare = spareBlocks();
    const std::lock_guard<std::mutex> guard(spare.lock);
    spare.blocks = std::move(f_blocks.empty() ? f_spare : f_blocks); // frees what it held
}

void* AUT_Configuration::NodeArena::do_allocate(std::size_t bytes, std::size_t alignment) {
    const auto at = [&](char* next) {
        const std::size_t misalignment = reinterpret_cast<std::uintptr_t>(next) % alignment;
        return next + (misalignment == 0 ? 0 : alignment - misalignment);
    };
    if (bytes + alignment > kArenaBlockBytes) {
        f_large.push_back(std::unique_ptr<char[]>(new char[bytes + alignment]));
        return at(f_large.back().get());
    }
    // The first call finds no block: null minus null leaves no room.
    char* start = at(f_next);
    if (static_cast<std::size_t>(f_end - start) < bytes) {
        if (f_spare.empty()) {
            f_blocks.push_back(std::unique_ptr<char[]>(new char[kArenaBlockBytes]));
        } else {
            f_blocks.push_back(std::move(f_spare.back()));
            f_spare.pop_back();
        }
        f_next = f_blocks.back().get();
        f_end = f_next + kArenaBlockBytes;
        start = at(f_next);
    }
    f_next = start + bytes;
    return start;
}

AUT_I_Configuration::~AUT_I_Configuration() = default;

AUT_I_Configuration* AUT_I_Configuration::GetConfiguration() {
    return g_configuration.load(std::memory_order_acquire);
}

AUT_Configuration::AUT_Configuration()
    : f_companyName("Morvex")
    , f_defaultComponentName("Orq")
    , f_fileName("OrqConfig.xml")
    , f_sections(&f_nodeArena) {}

AUT_Configuration::~AUT_Configuration() = default;

void AUT_Configuration::Initialize() {
    // Published before loading, so that code reached from the loader finds the store.
    AUT_Configuration* const configuration = new AUT_Configuration();
    g_configuration.store(configuration, std::memory_order_release);
    configuration->Init();
}

void AUT_Configuration::Terminate() {
    delete g_configuration.exchange(nullptr, std::memory_order_acq_rel);
}

void AUT_Configuration::Init() {
    // The lock is not held while the file is found and parsed: code reached from there may
    // look values up (and find the empty table).
    BRXIDOM_Document document = BRXIDOM_DOMImplementation::getInstance().createDocument(
        I18NString(), I18NString("OrqConfig"), BRXIDOM_DocumentType());
    {
        const WriteLock lock(f_lock);
        f_document = document;
    }

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
    parser.parse(path->c_str(), document);

    const WriteLock lock(f_lock);
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
    I18NString scratch;

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
            EntryMap::iterator next; // where the next entry goes if the file keeps the order
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
                    entries = &Make(decode(scratch, section.getAttributeText("name")));
                    next = entries->end();
                }
                // Names and values are decoded once, straight from the tree's text into the
                // node. The hint holds for entries in the table's order (sorted files, "e10"
                // after "e1"); a wrong one costs two comparisons before the usual search.
                const auto slot = entries->emplace_hint(
                    next, std::piecewise_construct,
                    std::forward_as_tuple(decode(scratch, entry.getAttributeText("name"))),
                    std::forward_as_tuple());
                // An entry read again keeps the integer form of its earlier value.
                slot->second.f_value = decode(scratch, entry.getAttributeText("value"));
                next = std::next(slot);
            }
        }
    }
}

I18NString AUT_Configuration::GetCompanyName() {
    const ReadLock lock(f_lock);
    return f_companyName;
}

I18NString AUT_Configuration::GetRenditionName() {
    const ReadLock lock(f_lock);
    return f_renditionName;
}

I18NString AUT_Configuration::GetDefaultComponentName() {
    return f_defaultComponentName; // never changes
}

AUT_Configuration::Slot* AUT_Configuration::Find(const I18NString& section,
                                                 const I18NString& entry) {
    const auto foundSection = f_sections.find(section.codePoints());
    if (foundSection == f_sections.end()) {
        return nullptr;
    }
    const auto foundEntry = foundSection->second.find(entry.codePoints());
    if (foundEntry == foundSection->second.end()) {
        return nullptr;
    }
    return &foundEntry->second;
}

AUT_Configuration::EntryMap& AUT_Configuration::Make(std::u32string_view section) {
    auto found = f_sections.find(section);
    if (found == f_sections.end()) {
        found = f_sections
                    .emplace(std::piecewise_construct, std::forward_as_tuple(section),
                             std::forward_as_tuple())
                    .first;
    }
    return found->second;
}

AUT_Configuration::Slot& AUT_Configuration::Make(const I18NString& section,
                                                 const I18NString& entry) {
    EntryMap& entries = Make(section.codePoints());
    const std::u32string_view name = entry.codePoints();
    auto found = entries.find(name);
    if (found == entries.end()) {
        found = entries
                    .emplace(std::piecewise_construct, std::forward_as_tuple(name),
                             std::forward_as_tuple())
                    .first;
    }
    return found->second;
}

unsigned long AUT_Configuration::GetInt(const I18NString& /*component*/,
                                        const I18NString& section,
                                        const I18NString& entry,
                                        unsigned long defaultValue) {
    const ReadLock lock(f_lock);
    Slot* const found = Find(section, entry);
    if (found == nullptr) {
        return defaultValue;
    }
    unsigned char state = found->f_intState.load(std::memory_order_acquire);
    if (state == kIntCached) {
        return found->f_intValue;
    }
    // Readers that meet here all convert the unchanging text to the same number; the one
    // that claims the slot keeps it, the others just return it.
    const unsigned long value =
        to32Bits(static_cast<unsigned long>(AUT_ToInt(CodePoints(found->f_value))));
    if (state == kIntTextOnly && found->f_intState.compare_exchange_strong(
                                     state, kIntConverting, std::memory_order_relaxed)) {
        found->f_intValue = value;
        found->f_intState.store(kIntCached, std::memory_order_release);
    }
    return value;
}

I18NString AUT_Configuration::GetString(const I18NString& /*component*/,
                                        const I18NString& section,
                                        const I18NString& entry,
                                        const I18NString& defaultValue) {
    const ReadLock lock(f_lock);
    const Slot* const found = Find(section, entry);
    return found == nullptr ? defaultValue : CodePoints(found->f_value);
}

void AUT_Configuration::SetInt(const I18NString& /*component*/,
                               const I18NString& section,
                               const I18NString& entry,
                               unsigned long value) {
    if (section.empty() || entry.empty()) {
        return;
    }
    const WriteLock lock(f_lock);
    Slot& slot = Make(section, entry);
    slot.f_intValue = to32Bits(value);
    slot.f_intState.store(kIntCached, std::memory_order_relaxed);
}

void AUT_Configuration::SetString(const I18NString& /*component*/,
                                  const I18NString& section,
                                  const I18NString& entry,
                                  const I18NString& value) {
    if (section.empty() || entry.empty()) {
        return;
    }
    const WriteLock lock(f_lock);
    Make(section, entry).f_value = std::u32string_view(value.codePoints());
}

std::vector<I18NString> AUT_Configuration::GetSectionNames() {
    const ReadLock lock(f_lock);
    std::vector<I18NString> names;
    names.reserve(f_sections.size());
    for (const auto& section : f_sections) {
        names.push_back(CodePoints(section.first));
    }
    return names;
}

std::vector<I18NString> AUT_Configuration::GetEntryNames(const I18NString& section) {
    const ReadLock lock(f_lock);
    std::vector<I18NString> names;
    const auto found = f_sections.find(section.codePoints());
    if (found != f_sections.end()) {
        names.reserve(found->second.size());
        for (const auto& entry : found->second) {
            names.push_back(CodePoints(entry.first));
        }
    }
    return names;
}

bool AUT_Configuration::HasEntry(const I18NString& section, const I18NString& entry) {
    const ReadLock lock(f_lock);
    return Find(section, entry) != nullptr;
}
