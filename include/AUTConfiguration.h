#pragma once
// The engine configuration store: "OrqConfig.xml", read once when the library starts, answers
// lookups of named values by section and entry.
//
// Where the file is looked for: "<bin>/../configuration/OrqConfig.xml" first, then
// "<bin>/OrqConfig.xml", where <bin> is the installation's binary directory ($ORQ_BIN_DIR, else
// the directory of libaut). The first that exists is the only one read.
//
// What is read:
//   <AnyRoot company="Acme" rendition="Gold">        both optional; empty keeps the default
//     <AnyGroup>                                      every element child of the root
//       <section name="Logging">                      tag exactly "section"
//         <entry name="LogLevel" value="3"/>          tag exactly "entry"
// Sections of all groups merge into one table; the later of two equal entries wins; names are
// case-sensitive; a missing attribute reads as empty text. Everything else (text, comments,
// other tags, a "section" directly under the root, anything below an entry) is skipped.
//
// What a user sees when the file is bad: the library still starts, and the store behaves as if
// there were no file (company "Morvex", empty rendition, every lookup gives its default) when
// the file is not well-formed (truncated, mismatched tags, empty, no or several root elements),
// declares an encoding that is not known or does not fit its bytes (UTF-8 if none is declared;
// a NUL character fits none), is larger than 8 MiB, or is not a regular file.
// No partial content is ever used and nothing is reported: the store is read
// before logging exists. A document type declaration is skipped; its entities are never
// expanded and external entities are never read ("&big;" stays as written, "file:///etc/passwd"
// is never opened). Nesting is not limited: the parser and the walk use no recursion, and only
// the first three levels below the root are looked at.
//
// Integers are 32-bit values, whatever the width of `unsigned long`: text converts modulo 2^32
// ("-1" -> 4294967295, "4294967296" -> 0, "42abc" -> 42, "abc" -> 0) and SetInt keeps the low
// 32 bits of its value.
//
// Thread-safety: every operation below may run on any number of threads at once, with no
// lock of the caller's: a reader-writer lock inside the store lets lookups and listings share
// it and gives SetInt, SetString and the load it alone. GetInt stays a reader: the first GetInt
// of an entry converts its text and whichever reader finishes first keeps the integer (all
// convert the same text, which no writer can change meanwhile). The lock is a leaf of the
// library's lock order: nothing else is taken while it is held, so the store may be read under
// the logging lock. Initialize and Terminate are the library's start-up and tear-down; no other
// call may run during Terminate.
#include "AUTExport.h"

#include <BRXIDOM.h>
#include <I18NString.h>
#include <atomic>
#include <map>
#include <memory>
#include <memory_resource>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

class AUT_EXPORT AUT_I_Configuration {
public:
    virtual ~AUT_I_Configuration();

    // "Morvex" unless the root's "company" attribute says otherwise.
    virtual I18NString GetCompanyName() = 0;
    // Empty unless the root's "rendition" attribute says otherwise.
    virtual I18NString GetRenditionName() = 0;
    // Always "Orq".
    virtual I18NString GetDefaultComponentName() = 0;
    // `component` is accepted and not used: values are found by section and entry alone.
    // An absent pair gives the default; an entry whose text is not a number gives its leading
    // number or 0. The text is converted on the first call only; later calls (and a later
    // SetString) keep that integer.
    virtual unsigned long GetInt(const I18NString& component,
                                 const I18NString& section,
                                 const I18NString& entry,
                                 unsigned long defaultValue) = 0;
    // An absent pair gives the default; an entry with empty text gives empty text.
    virtual I18NString GetString(const I18NString& component,
                                 const I18NString& section,
                                 const I18NString& entry,
                                 const I18NString& defaultValue) = 0;
    // In memory only; never written to the file. An empty section or entry name is ignored.
    // SetInt leaves the entry's text as it is; SetString leaves its integer form as it is.
    virtual void SetInt(const I18NString& component,
                        const I18NString& section,
                        const I18NString& entry,
                        unsigned long value) = 0;
    virtual void SetString(const I18NString& component,
                           const I18NString& section,
                           const I18NString& entry,
                           const I18NString& value) = 0;

    // What the store holds, each call a consistent snapshot. Names come in code point order
    // (I18NString's operator<, so "B" < "a" < "b"), each once; every section listed has at
    // least one entry. An absent section lists no entries.
    virtual std::vector<I18NString> GetSectionNames() = 0;
    virtual std::vector<I18NString> GetEntryNames(const I18NString& section) = 0;
    // True for any entry that exists, also one with empty text or made by SetInt alone: the
    // one thing a lookup's default cannot tell.
    virtual bool HasEntry(const I18NString& section, const I18NString& entry) = 0;

    // The process-wide store, or null before the library's first initialization and after its
    // last termination.
    static AUT_I_Configuration* GetConfiguration();

protected:
    AUT_I_Configuration() = default;
};

class AUT_EXPORT AUT_Configuration : public AUT_I_Configuration {
public:
    // One entry as a value: its text and integer form; f_intValue counts only while
    // f_intValueValid is set. The table keeps the same fields in a leaner form (see Slot).
    struct ConfigEntry {
        I18NString f_value;
        unsigned long f_intValue = 0xFF7BA013UL; // -8675309 as a signed 32-bit number
        bool f_intValueValid = false;
    };

    // Creates the store, publishes it, then loads the file. Call only while no store exists.
    // Exceptions from the platform (out of memory) propagate and leave the store published
    // with what was loaded so far.
    static void Initialize();
    // Deletes the store, if any; GetConfiguration() gives null afterwards. The table's memory
    // blocks are kept for the next Initialize in this process.
    static void Terminate();

    ~AUT_Configuration() override;

    // Finds and reads the file; only Initialize calls it.
    void Init();

    I18NString GetCompanyName() override;
    I18NString GetRenditionName() override;
    I18NString GetDefaultComponentName() override;
    unsigned long GetInt(const I18NString& component,
                         const I18NString& section,
                         const I18NString& entry,
                         unsigned long defaultValue) override;
    I18NString GetString(const I18NString& component,
                         const I18NString& section,
                         const I18NString& entry,
                         const I18NString& defaultValue) override;
    void SetInt(const I18NString& component,
                const I18NString& section,
                const I18NString& entry,
                unsigned long value) override;
    void SetString(const I18NString& component,
                   const I18NString& section,
                   const I18NString& entry,
                   const I18NString& value) override;
    std::vector<I18NString> GetSectionNames() override;
    std::vector<I18NString> GetEntryNames(const I18NString& section) override;
    bool HasEntry(const I18NString& section, const I18NString& entry) override;

protected:
    AUT_Configuration();

private:
    // A ConfigEntry as the table keeps it: the code points alone, in the arena, without the
    // narrow caches of an I18NString (a third of the memory per entry, which a large file pays
    // in cache misses), and f_intState in place of f_intValueValid: readers go by it, and
    // kIntConverting marks the one reader that stores the integer.
    enum EIntState : unsigned char { kIntTextOnly, kIntConverting, kIntCached };
    struct Slot {
        using allocator_type = std::pmr::polymorphic_allocator<char32_t>;
        explicit Slot(const allocator_type& allocator)
            : f_value(allocator) {}
        std::pmr::u32string f_value;
        unsigned long f_intValue = 0xFF7BA013UL;
        std::atomic<unsigned char> f_intState{kIntTextOnly};
    };

    // Bump allocation in blocks of 64 KiB, used only under f_lock held alone; nothing is freed
    // before the store goes. A value that SetString makes longer than its buffer leaves the
    // old buffer behind, but buffers double, so an entry never holds more than about twice its
    // longest value. The blocks of the last store are kept for the next one (a library started
    // again in the same process): freed, malloc would give them back to the system, and a
    // large file would pay half its load time again in page faults.
    class NodeArena : public std::pmr::memory_resource {
    public:
        NodeArena();
        NodeArena(const NodeArena&) = delete;
        NodeArena& operator=(const NodeArena&) = delete;
        ~NodeArena() override;

    private:
        void* do_allocate(std::size_t bytes, std::size_t alignment) override;
        void do_deallocate(void*, std::size_t, std::size_t) override {}
        bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
            return this == &other;
        }

        std::vector<std::unique_ptr<char[]>> f_blocks; // 64 KiB each, in use
        std::vector<std::unique_ptr<char[]>> f_spare;  // 64 KiB each, from the last store
        std::vector<std::unique_ptr<char[]>> f_large;  // one request each
        char* f_next = nullptr;
        char* f_end = nullptr;
    };

    // Code point order (I18NString's operator<), also between a key and a lookup's string.
    struct CodePointOrder {
        using is_transparent = void;
        bool operator()(std::u32string_view a, std::u32string_view b) const { return a < b; }
    };
    // Ordered maps whose nodes and names come from f_nodeArena: sections and entries are
    // added and never removed or renamed, so they need no freeing one by one, and sit together
    // in memory for the lookups. Values change, so they live on the heap.
    using Name = std::pmr::u32string;
    using EntryMap = std::pmr::map<Name, Slot, CodePointOrder>;
    using SectionMap = std::pmr::map<Name, EntryMap, CodePointOrder>;

    // Reads the sections of one parsed document into the table; the caller holds f_lock alone.
    void ReadSections();
    // The entry, or null when the section or the entry is absent; the caller holds f_lock.
    Slot* Find(const I18NString& section, const I18NString& entry);
    // The section, or the slot `entry` of `section`, made when absent; the caller holds
    // f_lock alone.
    EntryMap& Make(std::u32string_view section);
    Slot& Make(const I18NString& section, const I18NString& entry);

    BRXIDOM_Document f_document; // kept while the store lives; f_rootElement points into it
    BRXIDOM_Element f_rootElement;
    I18NString f_companyName;
    I18NString f_renditionName;
    I18NString f_defaultComponentName;
    I18NString f_fileName;
    NodeArena f_nodeArena; // before f_sections, which it outlives
    SectionMap f_sections;
    std::shared_mutex f_lock; // guards the names, the document and f_sections
};
