// Windows backend of the serial device: the Win32 communications API on a
// synchronous (non-overlapped) handle. The driver does the waiting; the
// time-out record tells it how long.
#include "SerialDevice.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <utility>

namespace tarnlink {

namespace {

// A write needs some bound even when the caller set no time-out at all: a
// line held off by hardware flow control must not stop the caller for good.
constexpr DWORD kFallbackWriteBound = 2000;

// The time-out record that goes to the driver: the caller's, except that a
// write without any bound gets the read's bound, or the fallback.
COMMTIMEOUTS driver_timeouts(const Timeouts& set)
{
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = set.read_interval;
    ct.ReadTotalTimeoutMultiplier = set.read_total_multiplier;
    ct.ReadTotalTimeoutConstant = set.read_total_constant;
    ct.WriteTotalTimeoutMultiplier = set.write_total_multiplier;
    ct.WriteTotalTimeoutConstant = set.write_total_constant;
    if (ct.WriteTotalTimeoutMultiplier == 0 && ct.WriteTotalTimeoutConstant == 0) {
        ct.WriteTotalTimeoutMultiplier = set.read_total_multiplier;
        ct.WriteTotalTimeoutConstant = set.read_total_constant;
        if (ct.WriteTotalTimeoutMultiplier == 0 && ct.WriteTotalTimeoutConstant == 0) {
            ct.WriteTotalTimeoutConstant = kFallbackWriteBound;
        }
    }
    return ct;
}

}  // namespace

struct SerialDevice::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE claim = nullptr;
    COMMTIMEOUTS applied{};

    ~Impl()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
        if (claim != nullptr) {
            ::CloseHandle(claim);
        }
    }

    // A failed ReadFile or WriteFile: a line error that the driver reports
    // with fAbortOnError (cleared here, so the next try can go on), or a
    // device that is gone.
    bool device_lost() const
    {
        if (::GetLastError() != ERROR_OPERATION_ABORTED) {
            return true;
        }
        DWORD errors = 0;
        return ::ClearCommError(handle, &errors, nullptr) == 0;
    }
};

SerialDevice::SerialDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SerialDevice::~SerialDevice() = default;

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& port_name)
{
    auto impl = std::make_unique<Impl>();
    // Windows' serial driver turns away a second opener by itself. The claim,
    // a named object per port, does the same between Tarnlink's own users
    // where the driver does not (Wine lets a port be opened twice).
    const std::string claim_name = "Local\\Tarnlink." + port_name;
    ::SetLastError(ERROR_SUCCESS);
    impl->claim = ::CreateMutexA(nullptr, FALSE, claim_name.c_str());
    if (impl->claim == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return nullptr;
    }
    // The device-namespace prefix: without it Windows takes only COM1 to COM9
    // as devices, and COM10 to COM16 as file names.
    const std::string path = "\\\\.\\" + port_name;
    impl->handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 0,  // no sharing: the port is ours alone
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (impl->handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Something that opens but has no line settings is no serial port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(impl->handle, &dcb)) {
        return nullptr;
    }
    return std::unique_ptr<SerialDevice>(new SerialDevice(std::move(impl)));
}

bool SerialDevice::read_line_settings(LineSettings& settings) const
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(impl_->handle, &dcb)) {
        return false;
    }
    settings.baud_rate = dcb.BaudRate;
    settings.binary_mode = dcb.fBinary != 0;
    settings.parity_checking = dcb.fParity != 0;
    settings.data_bits = dcb.ByteSize;
    settings.parity = dcb.Parity;
    settings.stop_bits = dcb.StopBits;
    return true;
}

bool SerialDevice::write_line_settings(const LineSettings& settings)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(impl_->handle, &dcb)) {
        return false;
    }
    // Only the six line settings change; hardware flow control, the modem
    // lines and the XON/XOFF, error and end-of-file characters stay as the
    // driver has them.
    dcb.BaudRate = settings.baud_rate;
    dcb.fBinary = settings.binary_mode ? TRUE : FALSE;
    dcb.fParity = settings.parity_checking ? TRUE : FALSE;
    dcb.ByteSize = settings.data_bits;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stop_bits;
    // Every byte value is data in a block: XON and XOFF (0x11, 0x13) must not
    // be taken as flow control, nor may 0x00 be dropped.
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    return ::SetCommState(impl_->handle, &dcb) != 0;
}

bool SerialDevice::set_queue_sizes(std::uint32_t receive, std::uint32_t transmit)
{
    return ::SetupComm(impl_->handle, receive, transmit) != 0;
}

bool SerialDevice::set_timeouts(const Timeouts& timeouts)
{
    COMMTIMEOUTS ct = driver_timeouts(timeouts);
    if (!::SetCommTimeouts(impl_->handle, &ct)) {
        return false;
    }
    impl_->applied = ct;
    return true;
}

void SerialDevice::purge()
{
    ::PurgeComm(impl_->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

Transfer SerialDevice::read(std::span<std::uint8_t> dest)
{
    Transfer done;
    if (dest.empty()) {
        return done;
    }
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(dest.size());
    // A successful read with fewer bytes is the driver's time-out.
    if (!::ReadFile(impl_->handle, dest.data(), wanted, &got, nullptr)) {
        done.link_lost = impl_->device_lost();
    }
    done.count = got;
    return done;
}

Transfer SerialDevice::write(std::span<const std::uint8_t> src)
{
    Transfer done;
    if (src.empty()) {
        return done;
    }
    DWORD put = 0;
    const DWORD count = static_cast<DWORD>(src.size());
    // A successful write with fewer bytes is the driver's write time-out.
    if (!::WriteFile(impl_->handle, src.data(), count, &put, nullptr)) {
        done.link_lost = impl_->device_lost();
    }
    done.count = put;
    return done;
}

bool SerialDevice::drain()
{
    // FlushFileBuffers would wait without bound while flow control holds the
    // line; instead watch the transmit queue empty, within the write bound.
    const DWORD bound = impl_->applied.WriteTotalTimeoutConstant;
    const ULONGLONG deadline = ::GetTickCount64() + (bound != 0 ? bound : kFallbackWriteBound);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const DWORD rate =
        ::GetCommState(impl_->handle, &dcb) && dcb.BaudRate > 0 ? dcb.BaudRate : 9600;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(impl_->handle, &errors, &status)) {
            return false;
        }
        if (status.cbOutQue == 0) {
            return true;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        // The time the queued bytes need on the wire, ten bits each.
        const ULONGLONG wire = 1 + ULONGLONG{status.cbOutQue} * 10 * 1000 / rate;
        ::Sleep(static_cast<DWORD>(std::min(wire, deadline - now)));
    }
}

}  // namespace tarnlink
