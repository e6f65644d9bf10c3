#include "BRXIDOM.h"

void BRXIDOM_DOMImplementation::initialize() {}

void BRXIDOM_DOMImplementation::terminate() {}
