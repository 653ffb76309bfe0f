#include "TarnlinkApi.h"

#include "LoadedLibrary.h"
#include "TestEnvironment.h"

#include <array>

namespace testsupport {

namespace {

TarnlinkApi load()
{
    const LoadedLibrary library(tarnlink_path());
    TarnlinkApi api{};
    library.bind("dfGetDllVersion", api.dfGetDllVersion);
    library.bind("dfComSetReady", api.dfComSetReady);
    library.bind("dfComSetClose", api.dfComSetClose);
    library.bind("dfComSetBaudRate", api.dfComSetBaudRate);
    library.bind("dfComSetTimeout1", api.dfComSetTimeout1);
    library.bind("dfComSetTimeout2", api.dfComSetTimeout2);
    library.bind("_PortInitial", api.PortInitial);
    library.bind("_PortClose", api.PortClose);
    library.bind("_SetBaudRate", api.SetBaudRate);
    library.bind("_SetTimeouts", api.SetTimeouts);
    library.bind("dfComMakeData", api.dfComMakeData);
    library.bind("_CommLoop", api.CommLoop);
    library.bind("dfComCommunication", api.dfComCommunication);
    return api;
}

}  // namespace

std::string tarnlink_path()
{
    return built_library("tarnlink");
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

bool TarnlinkApi::exchange_works() const
{
    constexpr std::uint8_t kConnectionTest = 0x00;
    std::array<std::uint8_t, 1024> response{};
    return communicate(kConnectionTest, nullptr, 0, response.data()) == 0;
}

}  // namespace testsupport
