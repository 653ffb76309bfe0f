// The serial adapter over the serial link library.
#include "Commands.h"

#include "IntegerText.h"
#include "Messages.h"
#include "Wording.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace quillon {

namespace {

const Message kTimeoutRefused{QUILLON_TEXT("Message", "SetTimeout2"), "", MessageIcon::Plain};

// Commands that the amplifier needs longer for. The whole word is compared:
// 0x14800 (command 0x48 with a parameter byte) keeps the current time-out.
std::int32_t reply_timeout_for(std::uint32_t command_word, std::int32_t current)
{
    switch (command_word) {
    case 0x4800:
    case 0x9800: return 6;
    case 0xCE00: return 16;
    default: return current;
    }
}

// 0x1000 gives "1.00": nibbles 0, 1 and 3 are hundredths, tenths and units;
// bits 8-11 are not part of the version. Built from integers, so no locale
// and no rounding come into it.
std::string version_text(int version)
{
    const int x = (version & 0xF) + 10 * ((version >> 4) & 0xF) + 100 * ((version >> 12) & 0xF);
    const int hundredths = x % 100;
    return std::to_string(x / 100) + (hundredths < 10 ? ".0" : ".") + std::to_string(hundredths);
}

}  // namespace

bool copy_response(std::span<const std::uint8_t> reply, std::span<std::uint8_t> response)
{
    if (reply.empty()) {
        return false;
    }
    const std::size_t length = std::size_t{reply[0]} + 4;
    if (length > response.size() || length > reply.size()) {
        return false;
    }
    std::copy_n(reply.begin(), length, response.begin());
    return true;
}

std::int32_t port_number(std::string_view port_name)
{
    const auto m = port_name.find('M');
    return integer_from_text(m == std::string_view::npos ? port_name : port_name.substr(m + 1));
}

TCommAdapter::TCommAdapter(std::string library_path)
    : driver_(library_path.empty() ? SharedLibrary::program_library("libtarnlink.so")
                                   : std::move(library_path))
{
}

TCommAdapter::~TCommAdapter()
{
    if (open_) {
        ClosePort();
    }
    UnloadDriver();
}

bool TCommAdapter::Entries::bind(const SharedLibrary& library)
{
    return library.bind(dfGetDllVersion, "dfGetDllVersion") &&
           library.bind(dfComCommunication, "dfComCommunication") &&
           library.bind(dfComSetClose, "dfComSetClose") &&
           library.bind(dfComSetReady, "dfComSetReady") &&
           library.bind(dfComSetBaudRate, "dfComSetBaudRate") &&
           library.bind(dfComSetTimeout1, "dfComSetTimeout1") &&
           library.bind(dfComSetTimeout2, "dfComSetTimeout2");
}

bool TCommAdapter::LoadDriver()
{
    if (!driver_.load()) {
        return false;
    }
    version_text_ = version_text(driver_->dfGetDllVersion());
    return true;
}

void TCommAdapter::UnloadDriver()
{
    driver_.unload();
}

bool TCommAdapter::OpenPort(const std::string& port_name)
{
    if (open_) {
        ClosePort();
    }
    open_ = false;
    // Stored even when the open then fails; a conversion error throws before
    // anything is stored.
    port_number_ = port_number(port_name);
    // Without a library there is no port to open.
    if (!driver_.loaded() || driver_->dfComSetReady(baud_rate_, port_number_) != 0) {
        return false;
    }
    port_name_ = port_name;
    open_ = true;
    return true;
}

void TCommAdapter::ClosePort()
{
    if (driver_.loaded()) {
        driver_->dfComSetClose();
    }
    open_ = false;
}

bool TCommAdapter::SetBaudRate(std::int32_t baud_rate)
{
    baud_rate_ = baud_rate;
    return driver_.loaded() && driver_->dfComSetBaudRate(baud_rate) == 0;
}

bool TCommAdapter::SetReplyTimeout(std::int32_t seconds)
{
    if (seconds < 1 || seconds > 255) {
        return false;
    }
    reply_timeout_ = seconds;
    if (!driver_.loaded() || driver_->dfComSetTimeout2(seconds) != 0) {
        show_message(kTimeoutRefused);
        return false;
    }
    return true;
}

bool TCommAdapter::SendCommand(std::uint32_t command_word, std::span<const std::uint8_t> payload,
                               std::span<std::uint8_t> response)
{
    // Cleared per command, so that no earlier command's bytes can leak into
    // this one's parameters.
    std::array<std::uint8_t, kWorkAreaSize> parameters{};
    std::array<std::uint8_t, kWorkAreaSize> reply{};

    std::uint8_t n = parameter_count(command_word);
    const std::uint8_t low_nibble = command_byte(command_word) & 0x0F;
    const std::uint8_t high_nibble = command_byte(command_word) >> 4;
    const std::uint8_t lead = leading_byte(command_word);

    std::size_t offset = 0;
    std::size_t from_payload = n;
    if (lead != 0) {
        if ((lead >> 4) == 2) {
            n = static_cast<std::uint8_t>(extra_length_ + 5);
        }
        parameters[0] = lead;
        offset = 1;
        from_payload = n > 0 ? n - 1u : 0u;
    }
    // Never read past the caller's bytes; refused before anything is sent.
    if (payload.size() < from_payload) {
        return false;
    }
    std::copy_n(payload.begin(), from_payload, parameters.begin() + offset);

    if (!SetReplyTimeout(reply_timeout_for(command_word, reply_timeout_))) {
        return false;
    }
    // Bound, as the time-out was just applied through the same library.
    if (driver_->dfComCommunication(owner_window_, &n, &address_, &low_nibble, &high_nibble,
                                    parameters.data(), reply.data(), retry_limit_,
                                    &reserved_result_) != 0) {
        return false;
    }
    return copy_response(reply, response);
}

}  // namespace quillon
