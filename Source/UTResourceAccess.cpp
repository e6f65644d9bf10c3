#include "UTLibraryInternal.h"

bool CreateResourceMap() {
    return true;
}

void DestroyResourceMap() {}
