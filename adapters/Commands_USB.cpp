// The USB adapter over the maker's driver library, and the program-wide
// registry of its connections.
#include "Commands.h"

#include "HalvexSocket.h"
#include "Messages.h"
#include "Wording.h"

#include <sys/stat.h>
#include <algorithm>
#include <list>
#include <new>
#include <utility>

namespace quillon {

namespace {

const Message kNoMemory{QUILLON_TEXT("Message", "No Memory"), QUILLON_TEXT("Message", "Error"),
                        MessageIcon::Error};
const Message kConnectFailed{QUILLON_TEXT("Message", "Can't connect in USB mode. "),
                             QUILLON_TEXT("Message", "Error"), MessageIcon::Error};
const Message kInvalidId{QUILLON_TEXT("Message", "Invalid CID"), QUILLON_TEXT("Message", "Error"),
                         MessageIcon::Error};

// One registry for the whole program, shared by every adapter instance.
struct Registry {
    std::list<ConnectionRecord> records;  // in order of creation
    std::int32_t current_id = 0;          // 0 = none
    std::int32_t id_counter = 0;          // the last id given out
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::list<ConnectionRecord>::iterator find_record(std::int32_t id)
{
    auto& records = registry().records;
    return std::find_if(records.begin(), records.end(),
                        [id](const ConnectionRecord& record) { return record.id == id; });
}

// Why the driver's connect failed, naming where it looked.
std::string connect_failure(int result)
{
    const std::string socket = halvex::socket_path();
    switch (result) {
    case HLVX_ERR_NO_DEVICE: {
        struct stat info {};
        return ::stat(socket.c_str(), &info) != 0
                   ? socket + ": no amplifier there (is ampsim or the driver running?)"
                   : socket + ": the connection was refused";
    }
    case HLVX_ERR_TIMEOUT: return socket + ": no amplifier answered";
    case HLVX_ERR_LINK_LOST: return socket + ": the amplifier closed the connection";
    case HLVX_ERR_BAD_RESPONSE: return socket + ": the amplifier refused the connection";
    default: return socket + ": driver error " + std::to_string(result);
    }
}

}  // namespace

std::int32_t next_connection_id(std::int32_t last_id)
{
    // Counted unsigned, so that passing the largest id wraps without overflow.
    const auto next = static_cast<std::int32_t>(static_cast<std::uint32_t>(last_id) + 1u);
    return next == 0 ? 1 : next;
}

TCommAdapterUSB::TCommAdapterUSB(std::string library_path)
    : driver_(library_path.empty() ? SharedLibrary::program_library("libhalvex.so")
                                   : std::move(library_path))
{
    registry() = Registry{};
}

TCommAdapterUSB::~TCommAdapterUSB()
{
    UnloadDriver();
}

bool TCommAdapterUSB::Entries::bind(const SharedLibrary& library)
{
    return library.bind(GetVersion, "_HLVX_GetVersion") &&
           library.bind(SndCmdAndRcvRsp, "_HLVX_SndCmdAndRcvRsp") &&
           library.bind(Connect, "_HLVX_Connect") && library.bind(Disconnect, "_HLVX_Disconnect") &&
           library.bind(SndCmdAndRcvRspEx, "_HLVX_SndCmdAndRcvRspEx") &&
           library.bind(SetTimeout, "_HLVX_SetTimeout") && library.bind(GetInfo, "_HLVX_GetInfo");
}

bool TCommAdapterUSB::LoadDriver()
{
    if (!driver_.load()) {
        return false;
    }
    driver_->GetVersion(&driver_version_[0], &driver_version_[1], &driver_version_[2],
                        &driver_version_[3]);
    return true;
}

void TCommAdapterUSB::UnloadDriver()
{
    driver_.unload();
}

bool TCommAdapterUSB::Connect()
{
    Registry& reg = registry();
    try {
        reg.records.push_back(ConnectionRecord{next_connection_id(reg.id_counter), 0, 1});
    } catch (const std::bad_alloc&) {
        show_message(kNoMemory);
        return false;
    }
    ConnectionRecord& record = reg.records.back();  // list elements stay put
    reg.id_counter = record.id;

    std::uint32_t handle = 0;
    // Without a library nothing can answer: as a refused connection.
    const int result = driver_.loaded() ? driver_->Connect(0, &handle) : 1;
    if (result != 0) {
        Message failed = kConnectFailed;
        failed.details = driver_.loaded() ? connect_failure(result) : driver_.failure();
        show_message(failed);
        RemoveRecord(record.id);
        return false;
    }
    record.driver_handle = handle;
    reg.current_id = record.id;
    return true;
}

void TCommAdapterUSB::DisconnectAll()
{
    Registry& reg = registry();
    for (const ConnectionRecord& record : reg.records) {
        if (record.connected != 0 && driver_.loaded()) {
            driver_->Disconnect(record.driver_handle);  // result ignored: the record goes anyway
        }
    }
    reg.records.clear();
}

bool TCommAdapterUSB::RemoveRecord(std::int32_t id)
{
    const auto record = find_record(id);
    if (record == registry().records.end()) {
        show_message(kInvalidId);
        return false;
    }
    registry().records.erase(record);
    return true;
}

bool TCommAdapterUSB::SendCommand(std::uint32_t command_word, std::uint8_t address,
                                  std::span<const std::uint8_t> payload,
                                  std::span<std::uint8_t> response)
{
    const auto record = find_record(registry().current_id);
    if (record == registry().records.end()) {
        show_message(kInvalidId);
        return false;
    }
    const std::uint8_t n = parameter_count(command_word);
    // Never read past the caller's bytes; refused before anything is sent.
    if (payload.size() < n || !driver_.loaded()) {
        return false;
    }

    std::array<std::uint8_t, kWorkAreaSize> command{};
    std::array<std::uint8_t, kWorkAreaSize> reply{};
    command[0] = n;
    command[1] = address;
    command[2] = command_byte(command_word);
    std::copy_n(payload.begin(), n, command.begin() + 3);

    if (driver_->SndCmdAndRcvRsp(record->driver_handle, n + 3, command.data(),
                                 static_cast<int>(reply.size()), reply.data()) != 0) {
        return false;
    }
    return copy_response(reply, response);
}

std::vector<ConnectionRecord> TCommAdapterUSB::Connections()
{
    const auto& records = registry().records;
    return {records.begin(), records.end()};
}

std::int32_t TCommAdapterUSB::CurrentConnectionId()
{
    return registry().current_id;
}

}  // namespace quillon
