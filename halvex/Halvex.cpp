// The handle table and the library's seven exports.
#include "halvex.h"

#include "Connection.h"
#include "HalvexSocket.h"
#include "HalvexWire.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace halvex {

namespace {

constexpr std::uint32_t kVersion[4] = {1, 0, 0, 0};

// Connections are shared out of the table, so that a call under way keeps
// its connection alive while another thread disconnects the handle.
class HandleTable {
public:
    std::uint32_t add(std::shared_ptr<Connection> connection)
    {
        std::lock_guard lock(mutex_);
        // Handles are not reused while in use, and 0 is never one.
        do {
            ++last_;
        } while (last_ == 0 || connections_.contains(last_));
        connections_.emplace(last_, std::move(connection));
        return last_;
    }

    std::shared_ptr<Connection> find(std::uint32_t handle) const
    {
        std::lock_guard lock(mutex_);
        const auto found = connections_.find(handle);
        return found == connections_.end() ? nullptr : found->second;
    }

    std::shared_ptr<Connection> remove(std::uint32_t handle)
    {
        std::lock_guard lock(mutex_);
        const auto found = connections_.find(handle);
        if (found == connections_.end()) {
            return nullptr;
        }
        auto connection = std::move(found->second);
        connections_.erase(found);
        return connection;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::uint32_t, std::shared_ptr<Connection>> connections_;
    std::uint32_t last_ = 0;
};

HandleTable& handles()
{
    static HandleTable table;
    return table;
}

// timeout_ms nothing = the handle's own time-out.
int send_command(std::uint32_t handle, int command_length, const std::uint8_t* command,
                 int response_capacity, std::uint8_t* response, std::optional<int> timeout_ms)
{
    // Checked before anything is sent; no block is shorter than 4 bytes.
    if (command == nullptr || response == nullptr || (timeout_ms && *timeout_ms <= 0) ||
        command_length < 3 || command_length > static_cast<int>(wire::kMaxCommand) ||
        response_capacity < 4) {
        return HLVX_ERR_ARGUMENT;
    }
    const std::span<const std::uint8_t> bytes(command, static_cast<std::size_t>(command_length));
    if (!wire::command_well_formed(bytes)) {
        return HLVX_ERR_ARGUMENT;
    }
    const auto connection = handles().find(handle);
    if (!connection) {
        return HLVX_ERR_HANDLE;
    }
    const auto timeout =
        timeout_ms ? std::chrono::milliseconds(*timeout_ms) : connection->timeout();
    wire::Bytes block;
    if (const int result = connection->exchange(bytes, timeout, block); result != HLVX_OK) {
        return result;
    }
    if (!wire::block_well_formed(block)) {
        return HLVX_ERR_BAD_RESPONSE;
    }
    // Refused whole: a caller must never see part of a block as if it were one.
    if (block.size() > static_cast<std::size_t>(response_capacity)) {
        return HLVX_ERR_BUFFER_SMALL;
    }
    std::copy(block.begin(), block.end(), response);
    return HLVX_OK;
}

}  // namespace

}  // namespace halvex

using halvex::handles;

extern "C" {

int _HLVX_GetVersion(uint32_t* v1, uint32_t* v2, uint32_t* v3, uint32_t* v4)
{
    if (v1 == nullptr || v2 == nullptr || v3 == nullptr || v4 == nullptr) {
        return HLVX_ERR_ARGUMENT;
    }
    *v1 = halvex::kVersion[0];
    *v2 = halvex::kVersion[1];
    *v3 = halvex::kVersion[2];
    *v4 = halvex::kVersion[3];
    return HLVX_OK;
}

int _HLVX_Connect(int device_index, uint32_t* handle)
{
    if (device_index != 0 || handle == nullptr) {
        return HLVX_ERR_ARGUMENT;
    }
    int result = HLVX_OK;
    auto connection = halvex::Connection::open(
        halvex::socket_path(), std::chrono::milliseconds(HLVX_CONNECT_WAIT_MS), result);
    if (!connection) {
        return result;
    }
    *handle = handles().add(std::move(connection));
    return HLVX_OK;
}

int _HLVX_Disconnect(uint32_t handle)
{
    const auto connection = handles().remove(handle);
    if (!connection) {
        return HLVX_ERR_HANDLE;
    }
    connection->shut_down();
    return HLVX_OK;
}

int _HLVX_SetTimeout(uint32_t handle, int timeout_ms)
{
    if (timeout_ms <= 0) {
        return HLVX_ERR_ARGUMENT;
    }
    const auto connection = handles().find(handle);
    if (!connection) {
        return HLVX_ERR_HANDLE;
    }
    connection->set_timeout(std::chrono::milliseconds(timeout_ms));
    return HLVX_OK;
}

int _HLVX_SndCmdAndRcvRsp(uint32_t handle, int command_length, const uint8_t* command,
                          int response_capacity, uint8_t* response)
{
    return halvex::send_command(handle, command_length, command, response_capacity, response,
                                std::nullopt);
}

int _HLVX_SndCmdAndRcvRspEx(uint32_t handle, int command_length, const uint8_t* command,
                            int response_capacity, uint8_t* response, int timeout_ms)
{
    return halvex::send_command(handle, command_length, command, response_capacity, response,
                                timeout_ms);
}

int _HLVX_GetInfo(uint32_t handle, int item, void* buffer, int capacity, int* length,
                  int /*reserved*/)
{
    if (item != HLVX_INFO_SOCKET_PATH || length == nullptr || capacity < 0 ||
        (buffer == nullptr && capacity > 0)) {
        return HLVX_ERR_ARGUMENT;
    }
    const auto connection = handles().find(handle);
    if (!connection) {
        return HLVX_ERR_HANDLE;
    }
    const std::string& text = connection->path();
    const auto needed = static_cast<int>(text.size() + 1);
    *length = needed;
    if (capacity < needed) {
        return HLVX_ERR_BUFFER_SMALL;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return HLVX_OK;
}

}  // extern "C"
