#pragma once
// The process-wide state of the registry user configuration, from load to unload.
#include "AUTExport.h"

#include <I18NString.h>

struct UserConfigurationWin32Statics {
    I18NString renditionFilePath;    // set by SetPath; empty: no file, the defaults apply
    I18NString baseRenditionCompany; // loaded from the rendition file
    I18NString baseRenditionName;
    bool loaded = false;            // the rendition file has been read
    I18NString registryBaseKeyName; // "Software", made by the first opening of a profile key
};

// Defined in UTLibraryStatics.cpp, slot 7.
extern AUT_TESTABLE UserConfigurationWin32Statics AUTg_UserConfigurationWin32;
