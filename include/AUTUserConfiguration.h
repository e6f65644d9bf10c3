#pragma once
// Per-user settings by section and entry, and the default implementation that keeps them in
// the engine configuration store (in memory only: nothing is saved when the library stops).
#include "AUTExport.h"
#include "UTRefPtr.h"

#include <I18NString.h>
#include <vector>

// Every operation, and the three static names, need an initialized library (the engine
// configuration store must exist). Each implementation says what may run at once.
class AUT_EXPORT AUT_I_UserConfiguration {
public:
    // The registry root of the registry implementation; the default implementation ignores it.
    enum ERootKey { kRootKeyLocalMachine = 0, kRootKeyCurrentUser = 1 };

    virtual ~AUT_I_UserConfiguration() = 0;

    // An absent section or entry gives the default.
    virtual unsigned long GetInt(const I18NString& sectionName,
                                 const I18NString& entryName,
                                 unsigned long defaultValue) = 0;
    virtual I18NString GetString(const I18NString& sectionName,
                                 const I18NString& entryName,
                                 const I18NString& defaultValue) = 0;
    virtual void
    SetInt(const I18NString& sectionName, const I18NString& entryName, unsigned long value) = 0;
    virtual void SetString(const I18NString& sectionName,
                           const I18NString& entryName,
                           const I18NString& value) = 0;
    virtual void DeleteSection(const I18NString& sectionName) = 0;
    virtual void DeleteEntry(const I18NString& sectionName, const I18NString& entryName) = 0;

    // What is stored, in an order each implementation documents, each name once. An absent
    // section lists no entries.
    virtual std::vector<I18NString> GetSectionNames() = 0;
    virtual std::vector<I18NString> GetEntryNames(const I18NString& sectionName) = 0;
    // True for any stored entry, whatever its value: what a lookup's default cannot tell.
    virtual bool HasEntry(const I18NString& sectionName, const I18NString& entryName) = 0;

    // A new AUT_UserConfiguration (count 1), whichever root is given: every object reads and
    // writes the same engine configuration store.
    static AUT_RefPtr<AUT_I_UserConfiguration> Create(ERootKey rootKey);

    // The engine configuration store's company name ("Morvex" by default), rendition name
    // (empty by default) and default component name ("Orq").
    static I18NString GetBaseRenditionCompanyName();
    static I18NString GetBaseRenditionName();
    static I18NString GetProductName();

protected:
    AUT_I_UserConfiguration() = default;
};

// The counted pointer's constructor and destructor for this interface live in libaut.
extern template AUT_EXPORT
AUT_RefPtr<AUT_I_UserConfiguration>::AUT_RefPtr(AUT_I_UserConfiguration* object);
extern template AUT_EXPORT AUT_RefPtr<AUT_I_UserConfiguration>::~AUT_RefPtr();

// Forwards every read, write and listing to the engine configuration store under the store's
// default component name, and returns the store's answer unchanged (names in code point
// order). Deletions do nothing. Holds no state of its own, so it is as thread-safe as the
// store: any call from any thread, without a lock of the caller's.
class AUT_EXPORT AUT_UserConfiguration : public AUT_I_UserConfiguration {
public:
    AUT_UserConfiguration() = default;
    ~AUT_UserConfiguration() override;

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
    std::vector<I18NString> GetSectionNames() override;
    std::vector<I18NString> GetEntryNames(const I18NString& sectionName) override;
    bool HasEntry(const I18NString& sectionName, const I18NString& entryName) override;
};
