#pragma once
// The engine configuration store, read from "OrqConfig.xml".
#include "AUTExport.h"

class AUT_EXPORT AUT_Configuration {
public:
    // Creates and loads the process-wide store.
    static void Initialize();
    // Deletes it.
    static void Terminate();
};
