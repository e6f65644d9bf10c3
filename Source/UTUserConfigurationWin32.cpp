#include "UTUserConfigurationWin32.h"

#include "UTExceptionInternal.h"
#include "UTStringSupport.h"
#include "UTUserConfigurationWin32Internal.h"

#include <BrxConfiguration.h>
#include <BrxException.h>
#include <I18NConverter.h>
#include <WinProfile.h>
#include <WinRegistry.h>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr REGSAM kReadAccess = KEY_READ;              // 0x20019
constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE; // 0x2001F
constexpr std::uint32_t kProfileBufferSize = 2048;

UserConfigurationWin32Statics& state() {
    return AUTg_UserConfigurationWin32;
}

I18NString readRenditionValue(const char* key, const char* defaultValue) {
    char buffer[kProfileBufferSize];
    GetPrivateProfileStringA("Rendition", key, defaultValue, buffer, sizeof(buffer),
                             state().renditionFilePath.c_str());
    return I18NString(buffer);
}

// Opens `name` below `parent`, creating it only when `access` may create keys: a read never
// makes a key (nor the database). Null on failure.
HKEY createKey(HKEY parent, const I18NString& name, REGSAM access) {
    HKEY result = nullptr;
    DWORD disposition = 0;
    const LONG error = (access & KEY_CREATE_SUB_KEY) != 0
                           ? RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, access, nullptr,
                                             &result, &disposition)
                           : RegOpenKeyExA(parent, name.c_str(), 0, access, &result);
    return error == ERROR_SUCCESS ? result : nullptr;
}

// Entry names and texts are stored as ISO-8859-1 and read back as such; one that holds a NUL
// or a code point beyond U+00FF has no exact form there.
bool fitsLatin1(const I18NString& text) {
    const std::u32string& codePoints = text.codePoints();
    return std::all_of(codePoints.begin(), codePoints.end(),
                       [](char32_t c) { return c != 0 && c <= 0xFF; });
}

} // namespace

// ---- AUT_UserConfigurationCommon ---------------------------------------------------------

AUT_UserConfigurationCommon::~AUT_UserConfigurationCommon() = default;

I18NString AUT_UserConfigurationCommon::GetProductName() {
    return I18NString("Schemist");
}

I18NString AUT_UserConfigurationCommon::GetBaseRenditionCompanyName() {
    Init();
    return state().baseRenditionCompany;
}

I18NString AUT_UserConfigurationCommon::GetBaseRenditionName() {
    Init();
    return state().baseRenditionName;
}

void AUT_UserConfigurationCommon::Init() {
    AUT_UserConfigurationWin32::Initialize();
}

// ---- AUT_UserConfigurationWin32 ----------------------------------------------------------

AUT_UserConfigurationWin32::AUT_HKEYWrapper::~AUT_HKEYWrapper() {
    if (f_key != nullptr) {
        RegCloseKey(f_key);
    }
}

AUT_UserConfigurationWin32::AUT_UserConfigurationWin32(ERootKey rootKey)
    : f_rootKey(rootKey) {
    Initialize();
}

AUT_UserConfigurationWin32::~AUT_UserConfigurationWin32() = default;

void AUT_UserConfigurationWin32::SetPath(HINSTANCE /*module*/) {
    I18NString path("Rendition.cfg");
    state().renditionFilePath = BrxConfigurationFactory::getInstance().resolveInstallPath(path);
}

void AUT_UserConfigurationWin32::Initialize() {
    UserConfigurationWin32Statics& statics = state();
    if (statics.loaded) {
        return;
    }
    statics.baseRenditionCompany = readRenditionValue("Base Rendition Company", "Morvex");
    statics.baseRenditionName =
        readRenditionValue("Base Rendition Name", "SchemistDefaultRendition");
    statics.loaded = true;
}

HKEY AUT_UserConfigurationWin32::GetProfileKey(unsigned long access) {
    // A caller may have cast any number into the selector; read it as the number it holds,
    // since ERootKey has no fixed underlying type and values beyond 0 and 1 are not its own.
    int selector = 0;
    static_assert(sizeof(selector) == sizeof(f_rootKey), "the selector is stored as an int");
    std::memcpy(&selector, &f_rootKey, sizeof(selector));
    HKEY root = nullptr;
    switch (selector) {
    case kRootKeyLocalMachine:
        root = HKEY_LOCAL_MACHINE;
        break;
    case kRootKeyCurrentUser:
        root = HKEY_CURRENT_USER;
        break;
    default:
        BRX_ASSERT(false);
    }
    UserConfigurationWin32Statics& statics = state();
    struct Step {
        HKEY key;
        I18NString name;
    };
    // Each step opens the next key below the one before and closes its own: only the last
    // slot's key is left open, for the caller.
    Step steps[] = {{root, statics.registryBaseKeyName},
                    {nullptr, statics.baseRenditionCompany},
                    {nullptr, statics.baseRenditionName},
                    {nullptr, GetProductName()},
                    {nullptr, I18NString()}};
    const std::size_t last = sizeof(steps) / sizeof(steps[0]) - 1;
    for (std::size_t i = 0; i < last; ++i) {
        steps[i + 1].key = createKey(steps[i].key, steps[i].name, static_cast<REGSAM>(access));
        RegCloseKey(steps[i].key);
        if (steps[i + 1].key == nullptr) {
            break;
        }
    }
    return steps[last].key;
}

HKEY AUT_UserConfigurationWin32::GetSectionKey(const I18NString& sectionName,
                                               unsigned long access) {
    BRX_ASSERT(!sectionName.empty());
    AUT_HKEYWrapper profileKey(GetProfileKey(access));
    if (*profileKey == nullptr) {
        return nullptr;
    }
    return createKey(*profileKey, sectionName, static_cast<REGSAM>(access));
}

unsigned long AUT_UserConfigurationWin32::GetInt(const I18NString& sectionName,
                                                 const I18NString& entryName,
                                                 unsigned long defaultValue) {
    BRX_ASSERT(!sectionName.empty());
    BRX_ASSERT(!entryName.empty());
    // Nothing can be stored under a name without an ISO-8859-1 form.
    AUT_HKEYWrapper sectionKey(fitsLatin1(entryName) ? GetSectionKey(sectionName, kReadAccess)
                                                     : nullptr);
    if (*sectionKey == nullptr) {
        return defaultValue;
    }
    DWORD theValue = 0;
    DWORD theType = REG_NONE;
    DWORD theSize = sizeof(theValue);
    const I18NConverter latin1("iso-8859-1");
    // A value longer than 4 bytes does not fit and counts as missing.
    if (RegQueryValueExA(*sectionKey, entryName.c_str(latin1), nullptr, &theType,
                         reinterpret_cast<BYTE*>(&theValue), &theSize) != ERROR_SUCCESS) {
        return defaultValue;
    }
    BRX_ASSERT(theType == REG_DWORD);
    BRX_ASSERT(theSize == sizeof(theValue));
    return theValue;
}

I18NString AUT_UserConfigurationWin32::GetString(const I18NString& sectionName,
                                                 const I18NString& entryName,
                                                 const I18NString& defaultValue) {
    BRX_ASSERT(!sectionName.empty());
    BRX_ASSERT(!entryName.empty());
    AUT_HKEYWrapper sectionKey(fitsLatin1(entryName) ? GetSectionKey(sectionName, kReadAccess)
                                                     : nullptr);
    if (*sectionKey == nullptr) {
        return defaultValue;
    }
    const I18NConverter latin1("iso-8859-1");
    const char* const name = entryName.c_str(latin1);
    DWORD theType = REG_NONE;
    DWORD theSize = 0;
    if (RegQueryValueExA(*sectionKey, name, nullptr, &theType, nullptr, &theSize) !=
        ERROR_SUCCESS) {
        return defaultValue;
    }
    // One byte more than reported, zeroed: a value stored without its NUL still ends.
    std::vector<char> buffer(static_cast<std::size_t>(theSize) + 1, '\0');
    I18NString result;
    if (RegQueryValueExA(*sectionKey, name, nullptr, &theType,
                         reinterpret_cast<BYTE*>(buffer.data()), &theSize) == ERROR_SUCCESS) {
        BRX_ASSERT(theType == REG_SZ);
        result = I18NString(buffer.data(), latin1);
    }
    return result;
}

void AUT_UserConfigurationWin32::SetInt(const I18NString& sectionName,
                                        const I18NString& entryName,
                                        unsigned long value) {
    BRX_ASSERT(!sectionName.empty());
    BRX_ASSERT(!entryName.empty());
    // The registry keeps 32 bits, and the message tells what was written.
    const DWORD theValue = static_cast<DWORD>(value);
    AUT_HKEYWrapper sectionKey(fitsLatin1(entryName) ? GetSectionKey(sectionName, kWriteAccess)
                                                     : nullptr);
    const I18NConverter latin1("iso-8859-1");
    if (*sectionKey == nullptr || RegSetValueExA(*sectionKey, entryName.c_str(latin1), 0, REG_DWORD,
                                                 reinterpret_cast<const BYTE*>(&theValue),
                                                 sizeof(theValue)) != ERROR_SUCCESS) {
        AUT_THROW(500, 0x72170C23, sectionName, entryName,
                  AUT_ToString(static_cast<unsigned long>(theValue)));
    }
}

void AUT_UserConfigurationWin32::SetString(const I18NString& sectionName,
                                           const I18NString& entryName,
                                           const I18NString& value) {
    BRX_ASSERT(!sectionName.empty());
    BRX_ASSERT(!entryName.empty());
    // Refused, not stored with substitutes, when either has no ISO-8859-1 form.
    AUT_HKEYWrapper sectionKey(fitsLatin1(entryName) && fitsLatin1(value)
                                   ? GetSectionKey(sectionName, kWriteAccess)
                                   : nullptr);
    const I18NConverter latin1("iso-8859-1");
    // One byte per code point in ISO-8859-1, and the NUL.
    const DWORD size = static_cast<DWORD>(value.length() + 1);
    if (*sectionKey == nullptr ||
        RegSetValueExA(*sectionKey, entryName.c_str(latin1), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str(latin1)), size) != ERROR_SUCCESS) {
        AUT_THROW(500, 0x72170C23, sectionName, entryName, value);
    }
}

void AUT_UserConfigurationWin32::DeleteSection(const I18NString& sectionName) {
    BRX_ASSERT(!sectionName.empty());
    AUT_HKEYWrapper profileKey(GetProfileKey(kWriteAccess));
    if (*profileKey == nullptr) {
        const UserConfigurationWin32Statics& statics = state();
        AUT_THROW(503, 0x7218399B, statics.baseRenditionCompany, statics.baseRenditionName);
    }
    const LONG result = RegDeleteKeyA(*profileKey, sectionName.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        AUT_THROW(501, 0x7218A27A, sectionName);
    }
}

void AUT_UserConfigurationWin32::DeleteEntry(const I18NString& sectionName,
                                             const I18NString& entryName) {
    BRX_ASSERT(!sectionName.empty());
    BRX_ASSERT(!entryName.empty());
    if (!fitsLatin1(entryName)) {
        return; // nothing can be stored under it
    }
    AUT_HKEYWrapper sectionKey(GetSectionKey(sectionName, kWriteAccess));
    if (*sectionKey == nullptr) {
        AUT_THROW(504, 0x721AEC9E, sectionName);
    }
    const I18NConverter latin1("iso-8859-1");
    const LONG result = RegDeleteValueA(*sectionKey, entryName.c_str(latin1));
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        AUT_THROW(502, 0x721B5B3A, sectionName, entryName);
    }
}

// ---- Listing -----------------------------------------------------------------------------

namespace {

// The names RegEnumKeyExA or RegEnumValueA give for `key`, in their order, read as UTF-8 or
// through `converter`; stops at the first failure, which leaves the names found so far.
template <typename Enumerate>
std::vector<I18NString>
ListNames(HKEY key, Enumerate enumerate, const I18NConverter* converter = nullptr) {
    std::vector<I18NString> names;
    std::vector<char> buffer(256);
    for (DWORD index = 0; key != nullptr;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        const LONG result = enumerate(key, index, buffer.data(), &size);
        if (result == ERROR_MORE_DATA) {
            buffer.resize(size);
            continue;
        }
        if (result != ERROR_SUCCESS) {
            break;
        }
        names.push_back(converter != nullptr ? I18NString(buffer.data(), *converter)
                                             : I18NString(buffer.data()));
        ++index;
    }
    return names;
}

} // namespace

std::vector<I18NString> AUT_UserConfigurationWin32::GetSectionNames() {
    AUT_HKEYWrapper profileKey(GetProfileKey(kReadAccess));
    return ListNames(*profileKey, [](HKEY key, DWORD index, char* name, DWORD* size) {
        return RegEnumKeyExA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<I18NString> AUT_UserConfigurationWin32::GetEntryNames(const I18NString& sectionName) {
    AUT_HKEYWrapper sectionKey(GetSectionKey(sectionName, kReadAccess));
    const I18NConverter latin1("iso-8859-1");
    return ListNames(
        *sectionKey,
        [](HKEY key, DWORD index, char* name, DWORD* size) {
            return RegEnumValueA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
        },
        &latin1);
}

bool AUT_UserConfigurationWin32::HasEntry(const I18NString& sectionName,
                                          const I18NString& entryName) {
    BRX_ASSERT(!sectionName.empty());
    BRX_ASSERT(!entryName.empty());
    if (!fitsLatin1(entryName)) {
        return false; // nothing can be stored under such a name
    }
    AUT_HKEYWrapper sectionKey(GetSectionKey(sectionName, kReadAccess));
    const I18NConverter latin1("iso-8859-1");
    return *sectionKey != nullptr && RegQueryValueExA(*sectionKey, entryName.c_str(latin1), nullptr,
                                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}
