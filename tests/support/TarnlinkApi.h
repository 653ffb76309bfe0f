// The serial link library as a program meets it: the real libtarnlink.so,
// loaded with dlopen from beside the test program, its exports bound by name.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

struct TarnlinkApi {
    int (*dfGetDllVersion)();
    int (*dfComSetReady)(int, int);
    int (*dfComSetClose)();
    int (*dfComSetBaudRate)(int);
    int (*dfComSetTimeout1)(int);
    int (*dfComSetTimeout2)(int);
    bool (*PortInitial)(const char*, int, int, int);
    bool (*PortClose)();
    bool (*SetBaudRate)(int);
    bool (*SetTimeouts)(int, int);
    int (*dfComMakeData)(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t,
                         const std::uint8_t*, std::uint8_t*, int*);
    bool (*CommLoop)(const std::uint8_t*, int, std::uint8_t*, int);
    int (*dfComCommunication)(void*, const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                              const std::uint8_t*, const std::uint8_t*, std::uint8_t*, int, int*);

    // Sends command byte `command` with the given parameters as the serial
    // adapter does (address 0, retry limit 1). Returns the df result.
    int communicate(std::uint8_t command, const std::uint8_t* params, std::uint8_t n,
                    std::uint8_t* response, int retry_limit = 1) const;

    // Whether an exchange on the open port works: the connection test.
    bool exchange_works() const;
};

// Loaded once per process; aborts the test program if the library or one of
// its exports is missing.
const TarnlinkApi& tarnlink();

std::string tarnlink_path();

}  // namespace testsupport
