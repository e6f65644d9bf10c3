#pragma once
// The process-wide state of the registry user configuration, from load to unload.
#include "AUTExport.h"

#include <I18NString.h>

struct UserConfigurationWin32Statics {
    I18NString renditionFilePath;    // set by SetPath; empty: no file, the defaults apply
    I18NString baseRenditionCompany; // loaded from the rendition file
    I18NString baseRenditionName;
    bool loaded = false; // the rendition file has been read
    // Made at load, never changed: threads that open their first profile keys at once only
    // read it.
    I18NString registryBaseKeyName{"Software"};
};

// Defined in UTLibraryStatics.cpp, slot 7.
extern AUT_TESTABLE UserConfigurationWin32Statics AUTg_UserConfigurationWin32;
