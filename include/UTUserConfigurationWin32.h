#pragma once
// Per-user settings kept in the registry, where they outlive the process, under
// root\Software\<company>\<rendition>\<product>\<section>, the company and rendition coming
// from the installation's "Rendition.cfg".
#include "AUTExport.h"
#include "AUTUserConfiguration.h"

#include <I18NString.h>
#include <WinLoader.h>

struct HKEY__;
using HKEY = HKEY__*;

// The names that the registry implementation builds its key path from. The product name is
// fixed; company and rendition are read once per process from "Rendition.cfg" (section
// "Rendition", keys "Base Rendition Company" and "Base Rendition Name"), defaulting to
// "Morvex" and "SchemistDefaultRendition" when the file or a key is missing. These are not
// AUT_I_UserConfiguration's like-named statics, which come from the engine configuration.
class AUT_EXPORT AUT_UserConfigurationCommon : public AUT_I_UserConfiguration {
public:
    AUT_UserConfigurationCommon() = default;
    ~AUT_UserConfigurationCommon() override;

    // "Schemist".
    static I18NString GetProductName();
    // Load "Rendition.cfg" on the first call (see AUT_UserConfigurationWin32::SetPath).
    static I18NString GetBaseRenditionCompanyName();
    static I18NString GetBaseRenditionName();

private:
    static void Init();
};

// The user configuration in the registry (see WinRegistry.h for where the registry lives).
// Changes create section keys along their path as needed; reads create no key and no database.
// Entries are named values under them: integers REG_DWORD (4 bytes, wrapped to 32 bits), texts
// REG_SZ (ISO-8859-1 bytes and a NUL). Key names (company, rendition, product, section) are
// UTF-8; entry names and texts are ISO-8859-1, written and read alike, so what is stored reads
// back exactly. An entry name or text that holds a NUL or a character beyond U+00FF has no such
// form: SetInt and SetString refuse it (500, nothing written), reads give the default, and
// DeleteEntry finds nothing to delete.
//
// Failures:
//   - an empty section or entry name: BrxAssertError "BRX_ASSERT(!sectionName.empty());" or
//     "BRX_ASSERT(!entryName.empty());", before the registry is touched;
//   - reads never throw for registry trouble (missing key or value, unreadable database): they
//     give the default. A value of the wrong kind does: GetInt on a text of at most 4 bytes
//     "BRX_ASSERT(theType == REG_DWORD);" (a longer one gives the default), GetString on an
//     integer "BRX_ASSERT(theType == REG_SZ);";
//   - writes and deletions throw AUT_Exception: 500 (SetInt, SetString: section, entry,
//     value), 501 (DeleteSection: section), 502 (DeleteEntry: section, entry), 503 (no
//     profile key for DeleteSection: company, rendition), 504 (no section key for
//     DeleteEntry: section). Deleting what does not exist succeeds.
// Holds no open key between calls. No locks: the first construction (which loads
// "Rendition.cfg") and SetPath must not race with each other or another first use.
class AUT_EXPORT AUT_UserConfigurationWin32 : public AUT_UserConfigurationCommon {
public:
    // Selectors other than the two roots fail "BRX_ASSERT(false);" at the first operation.
    explicit AUT_UserConfigurationWin32(ERootKey rootKey);
    ~AUT_UserConfigurationWin32() override;

    // Takes "Rendition.cfg" in the installation's binary directory (ORQ_BIN_DIR, else the
    // directory of libaut) as the rendition file. Call it before the first construction; once
    // the file is loaded, a new path changes nothing. The module handle is not used.
    static void SetPath(HINSTANCE module);
    // Loads the rendition file, once per process.
    static void Initialize();

    unsigned long GetInt(const I18NString& sectionName,
                         const I18NString& entryName,
                         unsigned long defaultValue) override;
    I18NString GetString(const I18NString& sectionName,
                         const I18NString& entryName,
                         const I18NString& defaultValue) override;
    void SetInt(const I18NString& sectionName,
                const I18NString& entryName,
                unsigned long value) override;
    void SetString(const I18NString& sectionName,
                   const I18NString& entryName,
                   const I18NString& value) override;
    void DeleteSection(const I18NString& sectionName) override;
    void DeleteEntry(const I18NString& sectionName, const I18NString& entryName) override;
    // Sections are the subkeys of the profile key, entries the values of a section key, listed
    // in the order of their narrow names compared without regard to ASCII letter case (the
    // registry's own comparison) and read back as UTF-8. Registry trouble lists nothing and
    // HasEntry gives false; empty names fail the assertions above.
    std::vector<I18NString> GetSectionNames() override;
    std::vector<I18NString> GetEntryNames(const I18NString& sectionName) override;
    bool HasEntry(const I18NString& sectionName, const I18NString& entryName) override;

private:
    // Closes its key on every path out of a scope.
    class AUT_HKEYWrapper {
    public:
        explicit AUT_HKEYWrapper(HKEY key)
            : f_key(key) {}
        ~AUT_HKEYWrapper();
        AUT_HKEYWrapper(const AUT_HKEYWrapper&) = delete;
        AUT_HKEYWrapper& operator=(const AUT_HKEYWrapper&) = delete;
        HKEY& operator*() { return f_key; }

    private:
        HKEY f_key;
    };

    // root\Software\company\rendition\product, opened (created when missing) with `access`;
    // null on failure. The caller closes it.
    HKEY GetProfileKey(unsigned long access);
    // Its subkey `sectionName`, likewise.
    HKEY GetSectionKey(const I18NString& sectionName, unsigned long access);

    ERootKey f_rootKey;
};
