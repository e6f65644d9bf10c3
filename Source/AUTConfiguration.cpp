#include "AUTConfiguration.h"

void AUT_Configuration::Initialize() {}

void AUT_Configuration::Terminate() {}
