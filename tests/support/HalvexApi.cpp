#include "HalvexApi.h"

#include "LoadedLibrary.h"
#include "TestEnvironment.h"

namespace testsupport {

namespace {

HalvexApi load()
{
    const LoadedLibrary library(halvex_path());
    HalvexApi api{};
    library.bind("_HLVX_GetVersion", api.GetVersion);
    library.bind("_HLVX_SndCmdAndRcvRsp", api.SndCmdAndRcvRsp);
    library.bind("_HLVX_Connect", api.Connect);
    library.bind("_HLVX_Disconnect", api.Disconnect);
    library.bind("_HLVX_SndCmdAndRcvRspEx", api.SndCmdAndRcvRspEx);
    library.bind("_HLVX_SetTimeout", api.SetTimeout);
    library.bind("_HLVX_GetInfo", api.GetInfo);
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
