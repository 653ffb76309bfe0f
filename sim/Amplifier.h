// One amplifier model behind both endpoints: turns the model's replies into
// what the serial peer and the USB socket send, and lets the amplifier stay
// silent on demand.
#pragma once

#include "AmplifierModel.h"
#include "BlockPeer.h"
#include "UsbEndpoint.h"

#include <atomic>
#include <functional>

namespace ampsim {

// Told of every command as it arrives ("serial" or "usb", the command bytes).
using CommandObserver = std::function<void(const char* side, std::span<const std::uint8_t>)>;

class Amplifier {
public:
    explicit Amplifier(AmplifierModel& model, CommandObserver observer = {});

    Responder serial_responder();
    UsbCommandHandler usb_handler();

    // The next count commands, on either side, get no answer at all.
    void stay_silent(int count) { silent_ = count; }

private:
    std::optional<Reply> answer(const char* side, std::span<const std::uint8_t> command);

    AmplifierModel& model_;
    CommandObserver observer_;
    std::atomic<int> silent_{0};
};

}  // namespace ampsim
