#include "UTResourceAccess.h"

#include "UTLibraryInternal.h"
#include "UTStringSupport.h"

#include <BrxException.h>
#include <BrxThread.h>
#include <I18NConverter.h>
#include <new>

namespace {

// The map of opened catalogs; null while the library is not initialized.
AUT_ResourceMap* AUTg_ResourceMap = nullptr;

// The entry ("UT", "") once the library's own texts have been fetched: the library fetches
// from it far more than from any other, so it skips the map look-up. Entries are never erased
// while the map lives (an alias only replaces the value), so the position stays valid.
AUT_ResourceMap::iterator g_libraryEntry;
bool g_libraryEntryKnown = false;

// Guards AUTg_ResourceMap, its entries and the catalog objects: a catalog object keeps the
// selected message between setMessage() and format(), and AUT_RefPtr counts without atomics,
// so every use of either happens under this lock. Re-entrant for its holder.
BrxThreadCriticalSection& ResourceLock() {
    static BrxThreadCriticalSection lock(1);
    return lock;
}

const I18NString& LibraryComponent() {
    static const I18NString component("UT");
    return component;
}

// Looks up and aliases; the caller holds the lock.
AUT_ResourceMap::iterator FindLocked(AUT_ResourceMap& map,
                                     const I18NString& component,
                                     const I18NString& fileLocale,
                                     const I18NString& locale) {
    auto found = map.find(std::pair<const I18NString&, const I18NString&>(component, fileLocale));
    if (found == map.end() || fileLocale == locale) {
        return found;
    }
    // Copy the pointer before the assignment may replace it: it shares, never moves, the file.
    const AUT_RefPtr<BrxMessageFile> file = found->second;
    auto alias = map.emplace(std::make_pair(component, locale), file);
    if (!alias.second) {
        alias.first->second = file;
    }
    return alias.first;
}

// The catalog name "<component>msgs", passed through a Latin-1 narrow text so that the name
// the platform searches for is the one a narrow-text caller would have spelt.
I18NString CatalogName(const I18NString& component) {
    const I18NString name = component + "msgs";
    const I18NConverter latin1("iso-8859-1");
    return I18NString(name.c_str(latin1));
}

// Selects and formats on the entry's catalog object; the caller holds the lock.
void FormatLocked(AUT_ResourceMap::iterator position,
                  const I18NString& locale,
                  std::uint32_t messageNumber,
                  I18NString& result) {
    BrxMessageFile& file = *position->second;
    file.setMessage(messageNumber);
    file.format(nullptr, locale.empty() ? "en-us" : locale.c_str(), result);
}

// Fetches a text, opening the catalog on first use; returns the entry used. The caller holds
// the lock.
AUT_ResourceMap::iterator LoadLocked(const I18NString& component,
                                     const I18NString& locale,
                                     std::uint32_t messageNumber,
                                     I18NString& result) {
    BRX_ASSERT(AUTg_ResourceMap != nullptr);
    AUT_ResourceMap& map = *AUTg_ResourceMap;
    auto position = FindLocked(map, component, locale, locale);
    if (position == map.end()) {
        // An object that cannot be made leaves no entry behind: the assertion below reports it.
        BrxMessageFile* file = new (std::nothrow) BrxMessageFile(CatalogName(component));
        if (file != nullptr) {
            map.emplace(std::make_pair(component, locale), AUT_RefPtr<BrxMessageFile>(file));
            position = FindLocked(map, component, locale, locale);
        }
    }
    if (position == map.end()) {
        BRX_ASSERT_NAMED(false, "Unable to load the resource file.");
    }
    FormatLocked(position, locale, messageNumber, result);
    return position;
}

} // namespace

bool CreateResourceMap() {
    BrxThreadGuard guard(ResourceLock());
    if (AUTg_ResourceMap == nullptr) {
        AUTg_ResourceMap = new (std::nothrow) AUT_ResourceMap();
    }
    return AUTg_ResourceMap != nullptr;
}

void DestroyResourceMap() {
    BrxThreadGuard guard(ResourceLock());
    // Deleting the map releases every entry's reference; a catalog goes with its last one.
    g_libraryEntryKnown = false;
    delete AUTg_ResourceMap;
    AUTg_ResourceMap = nullptr;
}

long ResourceMapSize() {
    BrxThreadGuard guard(ResourceLock());
    return AUTg_ResourceMap == nullptr ? -1 : static_cast<long>(AUTg_ResourceMap->size());
}

void FindFileInResourceMap(const I18NString& component,
                           const I18NString& fileLocale,
                           const I18NString& locale,
                           AUT_ResourceMap::iterator& result) {
    BrxThreadGuard guard(ResourceLock());
    BRX_ASSERT(AUTg_ResourceMap != nullptr);
    result = FindLocked(*AUTg_ResourceMap, component, fileLocale, locale);
}

void AUT_ResourceLoadString(const I18NString& component,
                            const I18NString& locale,
                            std::uint32_t messageNumber,
                            I18NString& result) {
    BrxThreadGuard guard(ResourceLock());
    LoadLocked(component, locale, messageNumber, result);
}

void AUT_ResourceLoadString(const I18NString& component,
                            const I18NString& locale,
                            int messageNumber,
                            I18NString& result) {
    AUT_ResourceLoadString(component, locale, static_cast<std::uint32_t>(messageNumber), result);
}

I18NString AUT_ResourceGetString(std::uint32_t messageNumber) {
    I18NString result;
    const I18NString& noLocale = AUT_GetEmptyString();
    BrxThreadGuard guard(ResourceLock());
    if (g_libraryEntryKnown) {
        FormatLocked(g_libraryEntry, noLocale, messageNumber, result);
    } else {
        g_libraryEntry = LoadLocked(LibraryComponent(), noLocale, messageNumber, result);
        g_libraryEntryKnown = true;
    }
    return result;
}

I18NString AUT_ResourceGetString(int messageNumber) {
    return AUT_ResourceGetString(static_cast<std::uint32_t>(messageNumber));
}
