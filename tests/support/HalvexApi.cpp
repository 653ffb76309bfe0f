#include "HalvexApi.h"

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
        std::fprintf(stderr, "libhalvex.so lacks %s\n", name);
        std::abort();
    }
    target = reinterpret_cast<Function>(symbol);
}

HalvexApi load()
{
    void* library = ::dlopen(halvex_path().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", halvex_path().c_str(), ::dlerror());
        std::abort();
    }
    HalvexApi api{};
    bind(library, "_HLVX_GetVersion", api.GetVersion);
    bind(library, "_HLVX_SndCmdAndRcvRsp", api.SndCmdAndRcvRsp);
    bind(library, "_HLVX_Connect", api.Connect);
    bind(library, "_HLVX_Disconnect", api.Disconnect);
    bind(library, "_HLVX_SndCmdAndRcvRspEx", api.SndCmdAndRcvRspEx);
    bind(library, "_HLVX_SetTimeout", api.SetTimeout);
    bind(library, "_HLVX_GetInfo", api.GetInfo);
    return api;
}

}  // namespace

std::string halvex_path()
{
    return bin_dir() + "/libhalvex.so";
}

const HalvexApi& halvex()
{
    static const HalvexApi api = load();
    return api;
}

}  // namespace testsupport
