#include "UTInitializeTerminateComponent.h"

#include "UTExceptionInternal.h"
#include "UTStringSupport.h"

#include <exception>

namespace {

// Status of a component whose library or entries cannot be found.
constexpr long kStatusNotFound = 7;

// The failure is reported from one fixed place of this unit, whatever line it is on now.
const char* const kThrowFile = "Source/UTInitializeTerminateComponent";
constexpr int kThrowLine = 61;

} // namespace

AUT_DLL::AUT_DLL(const I18NString& /*libraryLocation*/, const I18NString& libraryName)
    : f_instance(LoadLibraryA((libraryName + ".so").c_str()))
    , f_loaded(f_instance != nullptr) {}

AUT_DLL::AUT_DLL(const AUT_DLL& other)
    : f_instance(other.f_instance)
    , f_loaded(false) {}

AUT_DLL::~AUT_DLL() {
    if (f_loaded) {
        FreeLibrary(f_instance);
    }
}

bool AUT_DLL::IsLoaded() const {
    return f_instance != nullptr;
}

AUT_InitializeTerminateComponent::AUT_InitializeTerminateComponent(
    const char* consumerName,
    const I18NString& componentName,
    const char* initializeFunctionName,
    const char* terminateFunctionName,
    const char* libraryLocation,
    const char* libraryName,
    const I18NString& componentDetails)
    : f_consumerName(consumerName)
    , f_componentName(componentName)
    , f_componentDetails(componentDetails)
    , f_initializeFunction(libraryLocation, libraryName, initializeFunctionName)
    , f_terminateFunction(libraryLocation, libraryName, terminateFunctionName) {
    const I18NString status = initialize();
    if (status != "0") {
        // The members made so far are destroyed as the exception leaves, which gives both
        // loads back; the component was not initialized, so its terminate entry is not called.
        ThrowLibraryException(1000, 0x7214322D, kThrowFile, kThrowLine, status, f_componentName,
                              f_componentDetails);
    }
}

I18NString AUT_InitializeTerminateComponent::initialize() const {
    if (!f_initializeFunction.IsLoaded() || !f_terminateFunction.IsLoaded()) {
        return AUT_ToString(kStatusNotFound);
    }
    // An exception's class, its what() and its destructor may live in the component library:
    // it is caught and read here, while the library is still loaded, and never passed on.
    try {
        return AUT_ToString(f_initializeFunction.GetFunction()(f_consumerName.c_str()));
    } catch (const std::exception& error) {
        return I18NString("exception: ") + error.what();
    } catch (...) {
        return I18NString("exception");
    }
}

AUT_InitializeTerminateComponent::~AUT_InitializeTerminateComponent() {
    // The status of the terminate entry has nowhere to go: a destructor reports nothing.
    f_terminateFunction.GetFunction()(f_consumerName.c_str());
}
