// The USB adapter over the maker's driver library, and the program-wide
// registry of its connections.
#include "Commands.h"

#include "Messages.h"
#include "halvex.h"  // only to hold the bound types to the library's own

#include <algorithm>
#include <list>
#include <new>
#include <type_traits>
#include <utility>

namespace quillon {

namespace {

const Message kNoMemory{"No Memory", "Error", MessageIcon::Error};
const Message kConnectFailed{"Can't connect in USB mode. ", "Error", MessageIcon::Error};
const Message kInvalidId{"Invalid CID", "Error", MessageIcon::Error};

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

}  // namespace

std::int32_t next_connection_id(std::int32_t last_id)
{
    // Counted unsigned, so that passing the largest id wraps without overflow.
    const auto next = static_cast<std::int32_t>(static_cast<std::uint32_t>(last_id) + 1u);
    return next == 0 ? 1 : next;
}

TCommAdapterUSB::TCommAdapterUSB(std::string library_path)
    : library_path_(library_path.empty() ? SharedLibrary::program_library("libhalvex.so")
                                         : std::move(library_path))
{
    registry() = Registry{};
}

TCommAdapterUSB::~TCommAdapterUSB()
{
    UnloadDriver();
}

bool TCommAdapterUSB::LoadDriver()
{
    ClearEntryPoints();
    if (!library_.load_driver(library_path_, [this] { return BindEntryPoints(); })) {
        ClearEntryPoints();
        return false;
    }
    GetVersion_(&driver_version_[0], &driver_version_[1], &driver_version_[2],
                &driver_version_[3]);
    return true;
}

bool TCommAdapterUSB::BindEntryPoints()
{
    static_assert(std::is_same_v<GetVersionFn, decltype(&::_HLVX_GetVersion)>);
    static_assert(std::is_same_v<SndCmdAndRcvRspFn, decltype(&::_HLVX_SndCmdAndRcvRsp)>);
    static_assert(std::is_same_v<ConnectFn, decltype(&::_HLVX_Connect)>);
    static_assert(std::is_same_v<DisconnectFn, decltype(&::_HLVX_Disconnect)>);
    static_assert(std::is_same_v<SndCmdAndRcvRspExFn, decltype(&::_HLVX_SndCmdAndRcvRspEx)>);
    static_assert(std::is_same_v<SetTimeoutFn, decltype(&::_HLVX_SetTimeout)>);
    static_assert(std::is_same_v<GetInfoFn, decltype(&::_HLVX_GetInfo)>);

    // ELF names carry no stdcall decoration: "_HLVX_Connect", not "@8".
    GetVersion_ = library_.entry<GetVersionFn>("_HLVX_GetVersion");
    SndCmdAndRcvRsp_ = library_.entry<SndCmdAndRcvRspFn>("_HLVX_SndCmdAndRcvRsp");
    Connect_ = library_.entry<ConnectFn>("_HLVX_Connect");
    Disconnect_ = library_.entry<DisconnectFn>("_HLVX_Disconnect");
    SndCmdAndRcvRspEx_ = library_.entry<SndCmdAndRcvRspExFn>("_HLVX_SndCmdAndRcvRspEx");
    SetTimeout_ = library_.entry<SetTimeoutFn>("_HLVX_SetTimeout");
    GetInfo_ = library_.entry<GetInfoFn>("_HLVX_GetInfo");
    return GetVersion_ && SndCmdAndRcvRsp_ && Connect_ && Disconnect_ && SndCmdAndRcvRspEx_ &&
           SetTimeout_ && GetInfo_;
}

void TCommAdapterUSB::ClearEntryPoints()
{
    GetVersion_ = nullptr;
    SndCmdAndRcvRsp_ = nullptr;
    Connect_ = nullptr;
    Disconnect_ = nullptr;
    SndCmdAndRcvRspEx_ = nullptr;
    SetTimeout_ = nullptr;
    GetInfo_ = nullptr;
}

void TCommAdapterUSB::UnloadDriver()
{
    ClearEntryPoints();
    library_.unload();
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
    const int result = Connect_ != nullptr ? Connect_(0, &handle) : 1;
    if (result != 0) {
        show_message(kConnectFailed);
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
        if (record.connected != 0 && Disconnect_ != nullptr) {
            Disconnect_(record.driver_handle);  // result ignored: the record goes anyway
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
    if (payload.size() < n || SndCmdAndRcvRsp_ == nullptr) {
        return false;
    }

    std::array<std::uint8_t, kWorkAreaSize> command{};
    std::array<std::uint8_t, kWorkAreaSize> reply{};
    command[0] = n;
    command[1] = address;
    command[2] = command_byte(command_word);
    std::copy_n(payload.begin(), n, command.begin() + 3);

    if (SndCmdAndRcvRsp_(record->driver_handle, n + 3, command.data(),
                         static_cast<int>(reply.size()), reply.data()) != 0) {
        return false;
    }
    const std::size_t length = std::size_t{reply[0]} + 4;
    // A response longer than the caller's buffer is refused whole, not cut.
    if (length > response.size()) {
        return false;
    }
    std::copy_n(reply.begin(), length, response.begin());
    return true;
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
