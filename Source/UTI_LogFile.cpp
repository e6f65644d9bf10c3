#include "UTI_LogFile.h"

#include "UTExceptionInternal.h"
#include "UTLogFile.h"
#include "UTLogSettingsInternal.h"
#include "UTStringSupport.h"

#include <cstdint>

template AUT_EXPORT AUT_RefPtr<AUT_I_LogFile>::AUT_RefPtr(AUT_I_LogFile* object);
template AUT_EXPORT AUT_RefPtr<AUT_I_LogFile>::~AUT_RefPtr();

namespace {

constexpr long kLineCountError = 702;
constexpr long kFileCountError = 703;
constexpr std::uint32_t kLineCountMessage = 0x7217A829;
constexpr std::uint32_t kFileCountMessage = 0x721F9028;

} // namespace

AUT_I_LogFile::AUT_I_LogFile() = default;

AUT_I_LogFile::~AUT_I_LogFile() = default;

// ---- Setters: store, then let the writer read the setting again ------------------------------

void AUT_I_LogFile::SetLogFileName(const I18NString& name) {
    // Checked for fit first: a refused name must not leave directories behind.
    if (!AUT_LogFileFamily::Fits(name) || !PathIsValid(name)) {
        ThrowInvalidLogFileName(name);
    }
    if (GetLogFileName() != name) {
        StoreLogSetting(GetConfigurationEntryNameLogFileName(), name);
        AUT_LogFile::ResetLogFileName();
    }
}

void AUT_I_LogFile::SetLogFileLineCountLimit(const unsigned long& limit) {
    if (limit < kLineCountMinimum || limit > kLineCountMaximum) {
        AUT_THROW(kLineCountError, kLineCountMessage, AUT_ToString(limit),
                  AUT_ToString(kLineCountMinimum), AUT_ToString(kLineCountMaximum));
    }
    if (GetLogFileLineCountLimit() == limit) {
        return;
    }
    StoreLogSetting(GetConfigurationEntryNameLineCountLimit(), limit);
    AUT_LogFile::ResetLineCountLimit();
}

void AUT_I_LogFile::SetLogFileFileCountLimit(const unsigned long& limit) {
    if (limit < kFileCountMinimum || limit > kFileCountMaximum) {
        AUT_THROW(kFileCountError, kFileCountMessage, AUT_ToString(limit),
                  AUT_ToString(kFileCountMinimum), AUT_ToString(kFileCountMaximum));
    }
    if (GetLogFileFileCountLimit() == limit) {
        return;
    }
    StoreLogSetting(GetConfigurationEntryNameFileCountLimit(), limit);
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
