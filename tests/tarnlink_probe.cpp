// A second process that tries to take a port through the serial link library:
// tarnlink_probe LIBRARY PORT_NUMBER. Exits with dfComSetReady's result (0 =
// it got the port, 1 = refused), 3 when the library cannot be used.
#include <cstdlib>
#include <dlfcn.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 3;
    }
    void* library = ::dlopen(argv[1], RTLD_NOW);
    if (library == nullptr) {
        return 3;
    }
    using SetReady = int (*)(int, int);
    auto set_ready = reinterpret_cast<SetReady>(::dlsym(library, "dfComSetReady"));
    if (set_ready == nullptr) {
        return 3;
    }
    return set_ready(9600, std::atoi(argv[2]));
}
