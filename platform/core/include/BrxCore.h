#pragma once
// The platform core library: start and stop, and every family it offers.
#include "BrxException.h"
#include "BrxExport.h"
#include "BrxMessage.h"
#include "BrxThread.h"
#include "I18NCodePoint.h"
#include "I18NConverter.h"
#include "I18NLocale.h"
#include "I18NString.h"

// Starts the platform for a component ("Orq"); 0 on success. Counted: each successful call
// needs one brxTerminate.
BRX_EXPORT long brxInitialize(const char* componentName);
BRX_EXPORT long brxTerminate(const char* componentName);

// Test hook: the status that the next brxInitialize calls return instead of starting
// (0 restores normal behaviour). Lets tests drive a failing platform start-up.
BRX_EXPORT void brxTestSetInitializeStatus(long status);
