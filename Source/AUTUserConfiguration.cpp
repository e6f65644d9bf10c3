#include "AUTUserConfiguration.h"

#include "AUTConfiguration.h"

template AUT_EXPORT
AUT_RefPtr<AUT_I_UserConfiguration>::AUT_RefPtr(AUT_I_UserConfiguration* object);
template AUT_EXPORT AUT_RefPtr<AUT_I_UserConfiguration>::~AUT_RefPtr();

namespace {

AUT_I_Configuration& store() {
    return *AUT_I_Configuration::GetConfiguration();
}

} // namespace

// Pure, so that the interface stays abstract, and defined, because every derived destructor
// calls it.
AUT_I_UserConfiguration::~AUT_I_UserConfiguration() = default;

AUT_RefPtr<AUT_I_UserConfiguration> AUT_I_UserConfiguration::Create(ERootKey /*rootKey*/) {
    return AUT_RefPtr<AUT_I_UserConfiguration>(new AUT_UserConfiguration());
}

I18NString AUT_I_UserConfiguration::GetBaseRenditionCompanyName() {
    return store().GetCompanyName();
}

I18NString AUT_I_UserConfiguration::GetBaseRenditionName() {
    return store().GetRenditionName();
}

I18NString AUT_I_UserConfiguration::GetProductName() {
    return store().GetDefaultComponentName();
}

AUT_UserConfiguration::~AUT_UserConfiguration() = default;

unsigned long AUT_UserConfiguration::GetInt(const I18NString& sectionName,
                                            const I18NString& entryName,
                                            unsigned long defaultValue) {
    AUT_I_Configuration& configuration = store();
    return configuration.GetInt(configuration.GetDefaultComponentName(), sectionName, entryName,
                                defaultValue);
}

I18NString AUT_UserConfiguration::GetString(const I18NString& sectionName,
                                            const I18NString& entryName,
                                            const I18NString& defaultValue) {
    AUT_I_Configuration& configuration = store();
    return configuration.GetString(configuration.GetDefaultComponentName(), sectionName, entryName,
                                   defaultValue);
}

void AUT_UserConfiguration::SetInt(const I18NString& sectionName,
                                   const I18NString& entryName,
                                   unsigned long value) {
    AUT_I_Configuration& configuration = store();
    configuration.SetInt(configuration.GetDefaultComponentName(), sectionName, entryName, value);
}

void AUT_UserConfiguration::SetString(const I18NString& sectionName,
                                      const I18NString& entryName,
                                      const I18NString& value) {
    AUT_I_Configuration& configuration = store();
    configuration.SetString(configuration.GetDefaultComponentName(), sectionName, entryName, value);
}

void AUT_UserConfiguration::DeleteSection(const I18NString& /*sectionName*/) {}

void AUT_UserConfiguration::DeleteEntry(const I18NString& /*sectionName*/,
                                        const I18NString& /*entryName*/) {}

std::vector<I18NString> AUT_UserConfiguration::GetSectionNames() {
    return store().GetSectionNames();
}

std::vector<I18NString> AUT_UserConfiguration::GetEntryNames(const I18NString& sectionName) {
    return store().GetEntryNames(sectionName);
}

bool AUT_UserConfiguration::HasEntry(const I18NString& sectionName, const I18NString& entryName) {
    return store().HasEntry(sectionName, entryName);
}
