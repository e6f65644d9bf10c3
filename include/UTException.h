#pragma once
// The library's exception type, its messages, and the logging of exceptions.
#include "AUTExport.h"

#include <BrxException.h>
#include <I18NString.h>

// The texts naming the library's error component and the system's.
AUT_EXPORT I18NString AUT_GetErrorComponent();
AUT_EXPORT I18NString AUT_GetSystemErrorComponent();
