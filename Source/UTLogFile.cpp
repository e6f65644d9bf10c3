#include "UTLogFile.h"

// The logging state arrives with the log file writer; until then there is nothing to release.
void AUT_LogFile::Terminate() {}
