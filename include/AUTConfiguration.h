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
// Thread-safety: none. Even GetInt writes (it caches the integer form of an entry), so callers
// serialize all use. Initialize and Terminate run inside the library's start-up and tear-down.
#include "AUTExport.h"

#include <BRXIDOM.h>
#include <I18NString.h>
#include <map>
#include <memory_resource>

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

    // The process-wide store, or null before the library's first initialization and after its
    // last termination.
    static AUT_I_Configuration* GetConfiguration();

protected:
    AUT_I_Configuration() = default;
};

class AUT_EXPORT AUT_Configuration : public AUT_I_Configuration {
public:
    // One entry of the table; f_intValue counts only while f_intValueValid is set.
    struct ConfigEntry {
        I18NString f_value;
        unsigned long f_intValue = 0xFF7BA013UL; // -8675309 as a signed 32-bit number
        bool f_intValueValid = false;
    };

    // Creates the store, publishes it, then loads the file. Call only while no store exists.
    // Exceptions from the platform (out of memory) propagate and leave the store published
    // with what was loaded so far.
    static void Initialize();
    // Deletes the store, if any; GetConfiguration() gives null afterwards.
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

protected:
    AUT_Configuration();

private:
    // Ordered maps whose nodes come from f_nodeArena: entries are added and never removed, so
    // the nodes need no freeing one by one, and sit together in memory for the lookups.
    using EntryMap = std::pmr::map<I18NString, ConfigEntry>;
    using SectionMap = std::pmr::map<I18NString, EntryMap>;

    // Reads the sections of one parsed document into the table.
    void ReadSections();
    // The entry, or null when the section or the entry is absent.
    ConfigEntry* Find(const I18NString& section, const I18NString& entry);

    BRXIDOM_Document f_document; // kept while the store lives; f_rootElement points into it
    BRXIDOM_Element f_rootElement;
    I18NString f_companyName;
    I18NString f_renditionName;
    I18NString f_defaultComponentName;
    I18NString f_fileName;
    std::pmr::monotonic_buffer_resource f_nodeArena; // before f_sections, which it outlives
    SectionMap f_sections;
};
