#pragma once
// Loading a component library and keeping it initialized for as long as a consumer needs it.
#include "AUTExport.h"

#include <I18NString.h>
#include <WinLoader.h>

// Owns one load of a dynamic library. The file is `libraryName` followed by ".so", loaded with
// LoadLibraryA: a name with a "/" is that path, a bare name is found by the dynamic loader's
// search (LD_LIBRARY_PATH, the program's RUNPATH, the system's library directories).
// `libraryLocation` is accepted and not used. A library that cannot be loaded is no error:
// IsLoaded() is then false. Loads are counted by the loader, so two owners of one library
// each hold a load of their own. Not thread-safe per object.
class AUT_EXPORT AUT_DLL {
public:
    AUT_DLL(const I18NString& libraryLocation, const I18NString& libraryName);
    // Shares the handle without a load of its own: the copy never frees the library, and its
    // handle is good only while another owner keeps the library loaded.
    AUT_DLL(const AUT_DLL& other);
    AUT_DLL& operator=(const AUT_DLL&) = delete;
    // Frees the load when this object made it.
    virtual ~AUT_DLL();

    // The library was loaded (a copy: its original had loaded it).
    virtual bool IsLoaded() const;

protected:
    HINSTANCE GetInstance() const { return f_instance; }

private:
    HINSTANCE f_instance;
    bool f_loaded;
};

// An AUT_DLL with one entry of the library, looked up by its exact, case-sensitive exported
// name. IsLoaded() means the entry was found: a library that loads but lacks the entry is not
// "loaded" here, although its load is held (and freed) all the same.
template <class FunctionType> class AUT_DLLFunction : public AUT_DLL {
public:
    AUT_DLLFunction(const I18NString& libraryLocation,
                    const I18NString& libraryName,
                    const I18NString& functionName)
        : AUT_DLL(libraryLocation, libraryName)
        , f_function(nullptr) {
        if (AUT_DLL::IsLoaded()) {
            f_function =
                reinterpret_cast<FunctionType>(GetProcAddress(GetInstance(), functionName.c_str()));
        }
    }

    bool IsLoaded() const override { return f_function != nullptr; }
    // The entry, or null when the library or the entry is missing.
    FunctionType GetFunction() const { return f_function; }

private:
    FunctionType f_function;
};

// Keeps a component library loaded and initialized for one consumer. Construction loads the
// library twice (once per entry), finds both entries and calls the initialize entry with the
// consumer's name; destruction calls the terminate entry once with that name, then gives both
// loads back. Names of the entries are exported C names taking a NUL-terminated text and
// returning a status, 0 for success: extern "C" long Initialize(const char* consumer).
//
// Throws AUT_Exception, code 1000, message 0x7214322D with (status, componentName,
// componentDetails), when the library or either entry is missing (status "7"; nothing is
// called) or the initialize entry returns a status N other than 0 (status N; the terminate
// entry is not called), or the initialize entry throws (status "exception: " and the
// exception's what(), or "exception" for a class not derived from std::exception; the
// terminate entry is not called). The library is unloaded again before the exception leaves.
// The destructor reports nothing. Not thread-safe per object.
class AUT_EXPORT AUT_InitializeTerminateComponent {
public:
    typedef long (*EntryType)(const char*);

    AUT_InitializeTerminateComponent(const char* consumerName,
                                     const I18NString& componentName,
                                     const char* initializeFunctionName,
                                     const char* terminateFunctionName,
                                     const char* libraryLocation,
                                     const char* libraryName,
                                     const I18NString& componentDetails);
    AUT_InitializeTerminateComponent(const AUT_InitializeTerminateComponent&) = delete;
    AUT_InitializeTerminateComponent& operator=(const AUT_InitializeTerminateComponent&) = delete;
    virtual ~AUT_InitializeTerminateComponent();

private:
    // The initialize entry's status as the message shows it; "7" when an entry is missing.
    I18NString initialize() const;

    I18NString f_consumerName;
    I18NString f_componentName;
    I18NString f_componentDetails;
    AUT_DLLFunction<EntryType> f_initializeFunction;
    AUT_DLLFunction<EntryType> f_terminateFunction;
};
