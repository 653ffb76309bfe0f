// A second process that tries to take a port through the serial link library:
// tarnlink_probe LIBRARY PORT_NUMBER. Exits with dfComSetReady's result (0 =
// it got the port, 1 = refused), 3 when the library cannot be used.
#include "DynamicLibrary.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 3;
    }
    void* library = testsupport::open_library(argv[1]);
    if (library == nullptr) {
        return 3;
    }
    using SetReady = int (*)(int, int);
    void* entry = testsupport::library_entry(library, "dfComSetReady");
    if (entry == nullptr) {
        return 3;
    }
    return reinterpret_cast<SetReady>(entry)(9600, std::atoi(argv[2]));
}
