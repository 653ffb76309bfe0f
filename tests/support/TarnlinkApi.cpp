#include "TarnlinkApi.h"

#include "TestEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace testsupport {

namespace {

template <typename Function>
void bind(void* library, const char* name, Function& target)
{
    void* symbol = ::dlsym(library, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "libtarnlink.so lacks %s\n", name);
        std::abort();
    }
    target = reinterpret_cast<Function>(symbol);
}

TarnlinkApi load()
{
    void* library = ::dlopen(tarnlink_path().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", tarnlink_path().c_str(), ::dlerror());
        std::abort();
    }
    TarnlinkApi api{};
    bind(library, "dfGetDllVersion", api.dfGetDllVersion);
    bind(library, "dfComSetReady", api.dfComSetReady);
    bind(library, "dfComSetClose", api.dfComSetClose);
    bind(library, "dfComSetBaudRate", api.dfComSetBaudRate);
    bind(library, "dfComSetTimeout1", api.dfComSetTimeout1);
    bind(library, "dfComSetTimeout2", api.dfComSetTimeout2);
    bind(library, "_PortInitial", api.PortInitial);
    bind(library, "_PortClose", api.PortClose);
    bind(library, "_SetBaudRate", api.SetBaudRate);
    bind(library, "_SetTimeouts", api.SetTimeouts);
    bind(library, "dfComMakeData", api.dfComMakeData);
    bind(library, "_CommLoop", api.CommLoop);
    bind(library, "dfComCommunication", api.dfComCommunication);
    return api;
}

}  // namespace

std::string tarnlink_path()
{
    return bin_dir() + "/libtarnlink.so";
}

const TarnlinkApi& tarnlink()
{
    static const TarnlinkApi api = load();
    return api;
}

int TarnlinkApi::communicate(std::uint8_t command, const std::uint8_t* params, std::uint8_t n,
                             std::uint8_t* response, int retry_limit) const
{
    const std::uint8_t address = 0;
    const std::uint8_t low = command & 0x0F;
    const std::uint8_t high = command >> 4;
    int reserved = 0;
    return dfComCommunication(nullptr, &n, &address, &low, &high, params, response, retry_limit,
                              &reserved);
}

}  // namespace testsupport
