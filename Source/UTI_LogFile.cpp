#include "UTI_LogFile.h"

#include "AUTUserConfiguration.h"
#include "UTException.h"
#include "UTExceptionInternal.h"
#include "UTLogFile.h"
#include "UTResourceAccess.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <BrxConfiguration.h>
#include <cstdint>

template AUT_EXPORT AUT_RefPtr<AUT_I_LogFile>::AUT_RefPtr(AUT_I_LogFile* object);
template AUT_EXPORT AUT_RefPtr<AUT_I_LogFile>::~AUT_RefPtr();

namespace {

constexpr unsigned long kLineCountMinimum = 1000;
constexpr unsigned long kLineCountMaximum = 4000000000UL;
constexpr unsigned long kLineCountDefault = 10000;
constexpr unsigned long kFileCountMinimum = 100;
constexpr unsigned long kFileCountMaximum = 10000;

constexpr long kLineCountError = 702;
constexpr long kFileCountError = 703;
constexpr long kFileNameError = 704;
constexpr std::uint32_t kLineCountMessage = 0x7217A829;
constexpr std::uint32_t kFileCountMessage = 0x721F9028;
constexpr std::uint32_t kFileNameMessage = 0x7212F1B2;
constexpr std::uint32_t kLogExtensionMessage = 0xF7CB58DB;

AUT_RefPtr<AUT_I_UserConfiguration> CurrentUser() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

AUT_RefPtr<AUT_I_UserConfiguration> LocalMachine() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyLocalMachine);
}

// A stored 0 means "not set" to the current user's setting, so the local machine's applies.
unsigned long ReadLimit(const I18NString& entry, unsigned long machineDefault) {
    const I18NString section = AUT_I_LogFile::GetConfigurationSectionName();
    const unsigned long value = CurrentUser()->GetInt(section, entry, 0);
    return value != 0 ? value : LocalMachine()->GetInt(section, entry, machineDefault);
}

unsigned long Clamp(unsigned long value, unsigned long minimum, unsigned long maximum) {
    if (value > maximum) {
        return maximum;
    }
    return value <= minimum ? minimum : value;
}

} // namespace

AUT_I_LogFile::AUT_I_LogFile() = default;

AUT_I_LogFile::~AUT_I_LogFile() = default;

// ---- Names ---------------------------------------------------------------------------------

I18NString AUT_I_LogFile::GetConfigurationSectionName() {
    return "Logging";
}

I18NString AUT_I_LogFile::GetConfigurationEntryNameLogFileName() {
    return "LogFileName";
}

I18NString AUT_I_LogFile::GetConfigurationEntryNameLineCountLimit() {
    return "LineCountPerLogFile";
}

I18NString AUT_I_LogFile::GetConfigurationEntryNameFileCountLimit() {
    return "LogFileCount";
}

// ---- Log file name -------------------------------------------------------------------------

bool AUT_I_LogFile::PathIsValid(const I18NString& path) {
    if (path.empty()) {
        return false;
    }
    I18NString drive;
    I18NString directory;
    I18NString fileName;
    I18NString extension;
    AUT_I_FileSupport::SplitPath(path, &drive, &directory, &fileName, &extension);
    I18NString name;
    AUT_I_FileSupport::MakePath(name, nullptr, nullptr, &fileName, &extension);
    if (!AUT_I_FileSupport::FileNameIsValid(name)) {
        return false;
    }
    I18NString folder;
    AUT_I_FileSupport::MakePath(folder, &drive, &directory, nullptr, nullptr);
    if (!AUT_I_FileSupport::EvaluateDirectoryName(folder)) {
        return false;
    }
    if (AUT_I_FileSupport::DirectoryExists(folder)) {
        return true;
    }
    try {
        AUT_I_FileSupport::MakeDirectoryPath(folder);
    } catch (...) {
        // A directory that cannot be made only makes the name unusable.
        return false;
    }
    return true;
}

I18NString AUT_I_LogFile::GetLogFileName() {
    const I18NString section = GetConfigurationSectionName();
    const I18NString entry = GetConfigurationEntryNameLogFileName();
    const I18NString& empty = AUT_GetEmptyString();
    I18NString name = CurrentUser()->GetString(section, entry, empty);
    if (PathIsValid(name)) {
        return name;
    }
    name = LocalMachine()->GetString(section, entry, empty);
    if (PathIsValid(name)) {
        return name;
    }

    I18NString logDirectory("../logs");
    BrxConfigurationFactory::getInstance().resolveInstallPath(logDirectory);
    logDirectory += AUT_GetDirSeparator();
    if (!AUT_I_FileSupport::DirectoryExists(logDirectory)) {
        AUT_I_FileSupport::MakeDirectory(logDirectory);
    }
    I18NString drive;
    I18NString directory;
    AUT_I_FileSupport::SplitPath(logDirectory, &drive, &directory, nullptr, nullptr);
    const I18NString product = AUT_I_UserConfiguration::GetProductName();
    const I18NString extension = AUT_ResourceGetString(kLogExtensionMessage);
    I18NString result;
    AUT_I_FileSupport::MakePath(result, &drive, &directory, &product, &extension);
    return result;
}

I18NString AUT_I_LogFile::GetConfigurationDefaultLogFileName() {
    return GetLogFileName();
}

void AUT_I_LogFile::SetLogFileName(const I18NString& name) {
    if (!PathIsValid(name)) {
        AUT_THROW(kFileNameError, kFileNameMessage, name);
    }
    if (GetLogFileName() != name) {
        CurrentUser()->SetString(GetConfigurationSectionName(),
                                 GetConfigurationEntryNameLogFileName(), name);
        AUT_LogFile::ResetLogFileName();
    }
}

// ---- Limits --------------------------------------------------------------------------------

unsigned long AUT_I_LogFile::GetLogFileLineCountLimit() {
    return Clamp(ReadLimit(GetConfigurationEntryNameLineCountLimit(), kLineCountDefault),
                 kLineCountMinimum, kLineCountMaximum);
}

void AUT_I_LogFile::SetLogFileLineCountLimit(const unsigned long& limit) {
    if (limit < kLineCountMinimum || limit > kLineCountMaximum) {
        AUT_THROW(kLineCountError, kLineCountMessage, AUT_ToString(limit),
                  AUT_ToString(kLineCountMinimum), AUT_ToString(kLineCountMaximum));
    }
    if (GetLogFileLineCountLimit() == limit) {
        return;
    }
    CurrentUser()->SetInt(GetConfigurationSectionName(), GetConfigurationEntryNameLineCountLimit(),
                          limit);
    AUT_LogFile::ResetLineCountLimit();
}

unsigned long AUT_I_LogFile::GetLogFileFileCountLimit() {
    return Clamp(ReadLimit(GetConfigurationEntryNameFileCountLimit(), 0), kFileCountMinimum,
                 kFileCountMaximum);
}

void AUT_I_LogFile::SetLogFileFileCountLimit(const unsigned long& limit) {
    if (limit < kFileCountMinimum || limit > kFileCountMaximum) {
        AUT_THROW(kFileCountError, kFileCountMessage, AUT_ToString(limit),
                  AUT_ToString(kFileCountMinimum), AUT_ToString(kFileCountMaximum));
    }
    if (GetLogFileFileCountLimit() == limit) {
        return;
    }
    CurrentUser()->SetInt(GetConfigurationSectionName(), GetConfigurationEntryNameFileCountLimit(),
                          limit);
    AUT_LogFile::ResetFileCountLimit();
}

void AUT_I_LogFile::Reset() {
    AUT_LogFile::ResetFileCountLimit();
    AUT_LogFile::ResetLineCountLimit();
    AUT_LogFile::ResetLogFileName();
}

void AUT_I_LogFile::GetLogFileNames(std::vector<I18NString>& names, bool clearFirst) {
    AUT_LogFile::GetLogFileNames(names, clearFirst);
}

// ---- Factories -----------------------------------------------------------------------------

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name, ELogType type) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, type));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name,
                                                ELogLevel level,
                                                const I18NString& entry,
                                                const I18NString& exit) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, level, entry, exit));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name,
                                                ELogLevel level,
                                                const I18NString& entry,
                                                const I18NString& exit,
                                                const I18NString& p1) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, level, entry, exit, p1));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name,
                                                ELogLevel level,
                                                const I18NString& entry,
                                                const I18NString& exit,
                                                const I18NString& p1,
                                                const I18NString& p2) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, level, entry, exit, p1, p2));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name,
                                                ELogLevel level,
                                                const I18NString& entry,
                                                const I18NString& exit,
                                                const I18NString& p1,
                                                const I18NString& p2,
                                                const I18NString& p3) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, level, entry, exit, p1, p2, p3));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name,
                                                ELogLevel level,
                                                const I18NString& entry,
                                                const I18NString& exit,
                                                const I18NString& p1,
                                                const I18NString& p2,
                                                const I18NString& p3,
                                                const I18NString& p4) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, level, entry, exit, p1, p2, p3, p4));
}

AUT_RefPtr<AUT_I_LogFile> AUT_I_LogFile::Create(const I18NString& name,
                                                ELogLevel level,
                                                const I18NString& entry,
                                                const I18NString& exit,
                                                const I18NString& p1,
                                                const I18NString& p2,
                                                const I18NString& p3,
                                                const I18NString& p4,
                                                const I18NString& p5,
                                                const I18NString& p6,
                                                const I18NString& p7,
                                                const I18NString& p8,
                                                const I18NString& p9,
                                                const I18NString& p10,
                                                const I18NString& p11,
                                                const I18NString& p12,
                                                const I18NString& p13,
                                                const I18NString& p14,
                                                const I18NString& p15,
                                                const I18NString& p16) {
    return AUT_RefPtr<AUT_I_LogFile>(new AUT_LogFile(name, level, entry, exit, p1, p2, p3, p4, p5,
                                                     p6, p7, p8, p9, p10, p11, p12, p13, p14, p15,
                                                     p16));
}
