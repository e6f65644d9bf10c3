// The logging settings (see UTLogSettingsInternal.h) and the settings half of AUT_I_LogFile.
#include "AUTUserConfiguration.h"
#include "UTExceptionInternal.h"
#include "UTLogFile.h"
#include "UTLogSettingsInternal.h"
#include "UTResourceAccess.h"
#include "UTStringSupport.h"
#include "uti_filesupport.h"

#include <BrxConfiguration.h>

namespace {

constexpr std::uint32_t kLogExtensionMessage = 0xF7CB58DB;

AUT_RefPtr<AUT_I_UserConfiguration> CurrentUser() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyCurrentUser);
}

AUT_RefPtr<AUT_I_UserConfiguration> LocalMachine() {
    return AUT_I_UserConfiguration::Create(AUT_I_UserConfiguration::kRootKeyLocalMachine);
}

I18NString Section() {
    return AUT_I_LogFile::GetConfigurationSectionName();
}

// A stored 0 means "not set" to the current user's setting, so the local machine's applies.
unsigned long ReadLimit(const I18NString& entry, unsigned long machineDefault) {
    const unsigned long value = CurrentUser()->GetInt(Section(), entry, 0);
    return value != 0 ? value : LocalMachine()->GetInt(Section(), entry, machineDefault);
}

unsigned long Clamp(unsigned long value, unsigned long minimum, unsigned long maximum) {
    if (value > maximum) {
        return maximum;
    }
    return value <= minimum ? minimum : value;
}

} // namespace

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

void ThrowInvalidLogFileName(const I18NString& name) {
    AUT_THROW(704, 0x7212F1B2, name);
}

I18NString AUT_I_LogFile::GetLogFileName() {
    const I18NString entry = GetConfigurationEntryNameLogFileName();
    const I18NString& empty = AUT_GetEmptyString();
    for (const AUT_RefPtr<AUT_I_UserConfiguration>& settings : {CurrentUser(), LocalMachine()}) {
        const I18NString name = settings->GetString(Section(), entry, empty);
        // A configured name whose files would be cut short is refused, not replaced: logs
        // must not go elsewhere than where the user looks without a word.
        if (!name.empty() && !AUT_LogFileFamily::Fits(name)) {
            ThrowInvalidLogFileName(name);
        }
        if (PathIsValid(name)) {
            return name;
        }
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
    // A catalog's extension must be a plain name: a separator, dot or control character in it
    // would put the files elsewhere or break their names.
    I18NString extension = AUT_ResourceGetString(kLogExtensionMessage);
    if (!AUT_I_FileSupport::FileNameIsValid(extension) || extension.find(U'.') != -1) {
        extension = "log";
    }
    I18NString result;
    AUT_I_FileSupport::MakePath(result, &drive, &directory, &product, &extension);
    return result;
}

I18NString AUT_I_LogFile::GetConfigurationDefaultLogFileName() {
    return GetLogFileName();
}

// ---- Limits --------------------------------------------------------------------------------

unsigned long AUT_I_LogFile::GetLogFileLineCountLimit() {
    return Clamp(ReadLimit(GetConfigurationEntryNameLineCountLimit(), kLineCountDefault),
                 kLineCountMinimum, kLineCountMaximum);
}

unsigned long AUT_I_LogFile::GetLogFileFileCountLimit() {
    return Clamp(ReadLimit(GetConfigurationEntryNameFileCountLimit(), 0), kFileCountMinimum,
                 kFileCountMaximum);
}

// ---- What the writer keeps -----------------------------------------------------------------

std::uint32_t CachedLineCountLimit() {
    LogSettingsCache& cache = AUTg_LogSettings;
    if (!cache.f_lineCountLimitRead) {
        cache.f_lineCountLimit =
            static_cast<std::uint32_t>(AUT_I_LogFile::GetLogFileLineCountLimit());
        cache.f_lineCountLimitRead = true;
    }
    return cache.f_lineCountLimit;
}

std::uint32_t CachedFileCountLimit() {
    LogSettingsCache& cache = AUTg_LogSettings;
    if (!cache.f_fileCountLimitRead) {
        cache.f_fileCountLimit =
            static_cast<std::uint32_t>(AUT_I_LogFile::GetLogFileFileCountLimit());
        cache.f_fileCountLimitRead = true;
    }
    return cache.f_fileCountLimit;
}

const I18NString& CachedLogFileName() {
    LogSettingsCache& cache = AUTg_LogSettings;
    if (!cache.f_logFileNameRead) {
        cache.f_logFileName = AUT_I_LogFile::GetLogFileName();
        cache.f_logFileNameRead = true;
    }
    return cache.f_logFileName;
}

// ---- Mode and levels -----------------------------------------------------------------------

bool ConfiguredFrameworkMode() {
    return CurrentUser()->GetInt(Section(), "UseIPFLogging", 1) != 0;
}

I18NString FrameworkKey(const I18NString& componentName) {
    return componentName == "QueryEngine" ? I18NString("Orq") : componentName;
}

AUT_I_LogFile::ELogLevel ConfiguredTraceLevel(const I18NString& componentName) {
    const unsigned long value = CurrentUser()->GetInt(Section(), componentName, 1);
    return static_cast<AUT_I_LogFile::ELogLevel>(static_cast<std::int32_t>(value));
}

AUT_I_LogFile::ELogLevel ConfiguredAuditLevel(const I18NString& componentName) {
    const unsigned long value = CurrentUser()->GetInt(
        Section(), FrameworkKey(componentName) + "AuditLevel", AUT_I_LogFile::kLogLevelAudit0);
    // Stored audit levels count from the first audit level; 12 itself is taken as meant.
    const std::int32_t level = static_cast<std::int32_t>(value);
    return static_cast<AUT_I_LogFile::ELogLevel>(
        level == AUT_I_LogFile::kLogLevelAudit0
            ? level
            : static_cast<std::int32_t>(static_cast<std::uint32_t>(level) +
                                        AUT_I_LogFile::kLogLevelAudit0));
}

void StoreLogSetting(const I18NString& entry, unsigned long value) {
    CurrentUser()->SetInt(Section(), entry, value);
}

void StoreLogSetting(const I18NString& entry, const I18NString& value) {
    CurrentUser()->SetString(Section(), entry, value);
}
