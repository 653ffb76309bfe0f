// The simulated amplifier's USB side: serves the Unix domain socket that
// libhalvex.so connects to. Each connection carries one command at a time
// (the N + 3 command bytes) and gets back the whole response block (length
// byte M, two header bytes, M data bytes, checksum).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ampsim {

// Given the N + 3 command bytes, the whole response block; nothing = the
// amplifier stays silent (the driver's call then times out).
using UsbCommandHandler =
    std::function<std::optional<std::vector<std::uint8_t>>(std::span<const std::uint8_t> command)>;

class UsbEndpoint {
public:
    // Listens at path (halvex::socket_path() by default) until destroyed;
    // replaces a stale socket file left there. Throws std::system_error.
    explicit UsbEndpoint(UsbCommandHandler handler, std::string path = {});
    ~UsbEndpoint();  // stops serving, closes every connection, removes the socket file
    UsbEndpoint(const UsbEndpoint&) = delete;
    UsbEndpoint& operator=(const UsbEndpoint&) = delete;

    const std::string& path() const;

    // The cable is pulled: every open connection is closed and no new one is
    // accepted until reconnect_allowed(true).
    void drop_connections();
    void reconnect_allowed(bool allowed);

    // Commands received so far (each the N + 3 bytes), in order.
    std::vector<std::vector<std::uint8_t>> commands() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace ampsim
