#include "UTLogFile.h"

#include "UTLibraryInternal.h"

// The logging state arrives with the log file writer; until then there is nothing to release.
void AUT_LogFile::Terminate() {}

// Until the log file writer exists, exception records have nowhere to go.
void WriteExceptionRecord(const I18NString&, const I18NString&) {}
