// The USB driver stand-in as a program meets it: the real libhalvex.so,
// loaded with dlopen from beside the test program, its exports bound by name.
#pragma once

#include "halvex.h"

#include <string>

namespace testsupport {

struct HalvexApi {
    decltype(&::_HLVX_GetVersion) GetVersion;
    decltype(&::_HLVX_SndCmdAndRcvRsp) SndCmdAndRcvRsp;
    decltype(&::_HLVX_Connect) Connect;
    decltype(&::_HLVX_Disconnect) Disconnect;
    decltype(&::_HLVX_SndCmdAndRcvRspEx) SndCmdAndRcvRspEx;
    decltype(&::_HLVX_SetTimeout) SetTimeout;
    decltype(&::_HLVX_GetInfo) GetInfo;
};

// Loaded once per process; aborts the test program if the library or one of
// its exports is missing.
const HalvexApi& halvex();

std::string halvex_path();

}  // namespace testsupport
