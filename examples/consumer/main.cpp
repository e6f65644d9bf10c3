// The smallest consumer: registers with the library, checks the counts, deregisters.
#include <AUTInitialize.h>

#include <cstdio>

int main() {
    if (AUT_Initialize("consumer") != 0) {
        std::fprintf(stderr, "consumer: the library did not start\n");
        return 1;
    }
    const long registrations = AUT_GetInitializeCount();
    if (AUT_Terminate("consumer") != 0 || registrations != 1) {
        std::fprintf(stderr, "consumer: unexpected registration count %ld\n", registrations);
        return 1;
    }
    std::printf("consumer: started and stopped the library\n");
    return 0;
}
