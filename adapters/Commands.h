// The program's two ways to the amplifier: TCommAdapter over RS-232 through
// the serial link library, TCommAdapterUSB over USB through the maker's
// driver library. Both take the same command words and fill the caller's
// response buffer with the same layout.
//
// Command word (32 bits): bits 16-23 N, the number of parameter bytes;
// bits 8-15 the command byte; bits 0-7 a leading parameter byte (0 in every
// command the program sends); bits 24-31 unused.
//
// Response buffer: byte 0 M, the number of data bytes; bytes 1 and 2 the
// header; M data bytes from byte 3; then the checksum: M + 4 bytes in all.
// Exactly those are written, and only when they fit in the caller's span.
#pragma once

#include "SharedLibrary.h"
#include "halvex.h"
#include "tarnlink.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

constexpr std::uint8_t parameter_count(std::uint32_t command_word)
{
    return static_cast<std::uint8_t>(command_word >> 16);
}

constexpr std::uint8_t command_byte(std::uint32_t command_word)
{
    return static_cast<std::uint8_t>(command_word >> 8);
}

constexpr std::uint8_t leading_byte(std::uint32_t command_word)
{
    return static_cast<std::uint8_t>(command_word);
}

// Copies a reply block (data length M in byte 0, then M + 3 bytes) into the
// caller's response buffer. A block longer than that buffer, or than the
// reply area itself, is refused whole, not cut.
bool copy_response(std::span<const std::uint8_t> reply, std::span<std::uint8_t> response);

// The number of the port that port_name names, as OpenPort reads it: the
// text after the first "M" (all of it when there is none) by
// integer_from_text. Throws ConversionError naming that text.
std::int32_t port_number(std::string_view port_name);

// The serial adapter: loads libtarnlink.so, opens and closes the port, keeps
// the baud rate and the reply time-out, and carries one command per call.
class TCommAdapter {
public:
    // library_path: empty = the running program's libtarnlink.so.
    explicit TCommAdapter(std::string library_path = {});
    virtual ~TCommAdapter();  // closes an open port, then releases the library
    TCommAdapter(const TCommAdapter&) = delete;
    TCommAdapter& operator=(const TCommAdapter&) = delete;

    // Loads the library and binds its entry points; on failure shows
    // "ERR_LOADCOMDLL" and holds no library.
    bool LoadDriver();
    // Why LoadDriver failed: the library's path and the loader's reason.
    const std::string& LoadFailure() const { return driver_.failure(); }
    void UnloadDriver();

    // Closes an open port first. The port number is port_number(port_name),
    // which may throw ConversionError. A refused open keeps the previous port
    // name.
    bool OpenPort(const std::string& port_name);
    void ClosePort();
    // Kept for the next open in any case; true only when the open port took it.
    bool SetBaudRate(std::int32_t baud_rate);
    // 1..255 seconds, else false with nothing changed; shows "SetTimeout2"
    // when the library refuses it (no open port).
    bool SetReplyTimeout(std::int32_t seconds);

    // Sends command_word with its parameter bytes from payload and, on true,
    // leaves the response block in response. False, with response untouched,
    // when the payload is shorter than the command word asks for (nothing is
    // sent then), the reply time-out cannot be applied, the exchange fails,
    // or the response block does not fit in response.
    bool SendCommand(std::uint32_t command_word, std::span<const std::uint8_t> payload,
                     std::span<std::uint8_t> response);

    const std::string& PortName() const { return port_name_; }
    std::int32_t PortNumber() const { return port_number_; }
    std::int32_t BaudRate() const { return baud_rate_; }
    std::int32_t ReplyTimeout() const { return reply_timeout_; }
    // The library's version as "0.00" text, "1.00" for version 0x1000.
    const std::string& VersionText() const { return version_text_; }
    bool IsOpen() const { return open_; }
    bool IsLoaded() const { return driver_.loaded(); }

    // The window handed to the library as its reserved first argument.
    void SetOwnerWindow(void* window) { owner_window_ = window; }

    // Work areas as large as any block and response of the link protocol.
    static constexpr std::size_t kWorkAreaSize = 1024;

private:
    // libtarnlink.so's entry points that the adapter uses.
    struct Entries {
        decltype(&::dfGetDllVersion) dfGetDllVersion = nullptr;
        decltype(&::dfComCommunication) dfComCommunication = nullptr;
        decltype(&::dfComSetClose) dfComSetClose = nullptr;
        decltype(&::dfComSetReady) dfComSetReady = nullptr;
        decltype(&::dfComSetBaudRate) dfComSetBaudRate = nullptr;
        decltype(&::dfComSetTimeout1) dfComSetTimeout1 = nullptr;  // bound, never called
        decltype(&::dfComSetTimeout2) dfComSetTimeout2 = nullptr;
        bool bind(const SharedLibrary& library);
    };
    DriverLibrary<Entries> driver_;

    std::string port_name_ = "COM1";
    void* owner_window_ = nullptr;
    std::uint8_t address_ = 0;
    std::int32_t baud_rate_ = 9600;
    std::int32_t port_number_ = 1;
    std::int32_t reply_timeout_ = 2;
    std::int32_t retry_limit_ = 1;
    std::string version_text_;
    bool open_ = false;
    // Sets N for leading bytes 0x20-0x2F; the program never changes it.
    std::uint8_t extra_length_ = 0;
    std::int32_t reserved_result_ = 0;
};

// One connection the USB adapter has made and not yet removed.
struct ConnectionRecord {
    std::int32_t id = 0;              // never 0
    std::uint32_t driver_handle = 0;  // from the driver's connect
    std::int32_t connected = 1;       // non-zero: DisconnectAll disconnects it
};

// The id after last_id: 0 is skipped, so it never names a connection.
std::int32_t next_connection_id(std::int32_t last_id);

// The USB adapter: loads libhalvex.so, keeps the program-wide connection
// registry, and carries one command per call on the current connection.
class TCommAdapterUSB {
public:
    // library_path: empty = the running program's libhalvex.so. Empties
    // the connection registry (current id 0, id counter 0).
    explicit TCommAdapterUSB(std::string library_path = {});
    virtual ~TCommAdapterUSB();  // releases the library; connections stay
    TCommAdapterUSB(const TCommAdapterUSB&) = delete;
    TCommAdapterUSB& operator=(const TCommAdapterUSB&) = delete;

    bool LoadDriver();
    // Why LoadDriver failed: the library's path and the loader's reason.
    const std::string& LoadFailure() const { return driver_.failure(); }
    void UnloadDriver();

    // A new connection that becomes current. On failure ("No Memory", "Can't
    // connect in USB mode. ") the current one stays as it was.
    bool Connect();
    // Disconnects and removes every record; the current id is kept but names
    // no record any more.
    void DisconnectAll();

    // As TCommAdapter::SendCommand, on the current connection ("Invalid CID"
    // when there is none); bits 0-7 of the command word are ignored.
    bool SendCommand(std::uint32_t command_word, std::uint8_t address,
                     std::span<const std::uint8_t> payload, std::span<std::uint8_t> response);

    bool IsLoaded() const { return driver_.loaded(); }
    const std::array<std::uint32_t, 4>& DriverVersion() const { return driver_version_; }

    // The registry, read-only: records in order of creation, and the id of
    // the current connection (0 = none yet).
    static std::vector<ConnectionRecord> Connections();
    static std::int32_t CurrentConnectionId();

    // The driver's work areas: the longest command (258 bytes) and response
    // block (259 bytes) fit.
    static constexpr std::size_t kWorkAreaSize = 512;

private:
    // libhalvex.so's entry points. ELF names carry no stdcall decoration:
    // "_HLVX_Connect", not "_HLVX_Connect@8".
    struct Entries {
        decltype(&::_HLVX_GetVersion) GetVersion = nullptr;
        decltype(&::_HLVX_SndCmdAndRcvRsp) SndCmdAndRcvRsp = nullptr;
        decltype(&::_HLVX_Connect) Connect = nullptr;
        decltype(&::_HLVX_Disconnect) Disconnect = nullptr;
        decltype(&::_HLVX_SndCmdAndRcvRspEx) SndCmdAndRcvRspEx = nullptr;  // bound, never called
        decltype(&::_HLVX_SetTimeout) SetTimeout = nullptr;                // bound, never called
        decltype(&::_HLVX_GetInfo) GetInfo = nullptr;                      // bound, never called
        bool bind(const SharedLibrary& library);
    };

    // Unlinks the record; "Invalid CID" and false when there is none.
    static bool RemoveRecord(std::int32_t id);

    DriverLibrary<Entries> driver_;
    std::array<std::uint32_t, 4> driver_version_{};
};

}  // namespace quillon
