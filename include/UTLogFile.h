#pragma once
// Log objects: level filtering, records, scope tracers, log files.
#include "AUTExport.h"

class AUT_EXPORT AUT_LogFile {
public:
    // Releases the process-wide logging state; run by the library's last termination.
    static void Terminate();
};
