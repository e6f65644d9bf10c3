#pragma once
// The configuration service: where the installation's files are.
#define BRXCFG_EXPORT __attribute__((visibility("default")))

#include <I18NString.h>

// The installation's directory layout. The binary directory is $ORQ_BIN_DIR when that is
// set and not empty, else the directory that holds the loaded libaut (else this library).
class BRXCFG_EXPORT IBrxConfiguration {
public:
    virtual ~IBrxConfiguration();
    // Makes `path`, relative to the binary directory, absolute: "<bin>/<path>". The argument
    // is changed in place and returned. An absolute `path` is left as it is.
    virtual I18NString& resolveInstallPath(I18NString& path) = 0;
    // The binary directory itself, without a trailing separator.
    virtual I18NString getBinaryDirectory() = 0;

protected:
    IBrxConfiguration() = default;
};

class BRXCFG_EXPORT BrxConfigurationFactory {
public:
    // The process-wide service. ORQ_BIN_DIR is read at every call, so tests may change it.
    static IBrxConfiguration& getInstance();
};
