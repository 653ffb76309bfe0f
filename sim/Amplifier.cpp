#include "Amplifier.h"

namespace ampsim {

Amplifier::Amplifier(AmplifierModel& model, CommandObserver observer)
    : model_(model), observer_(std::move(observer))
{
}

std::optional<Reply> Amplifier::answer(const char* side, std::span<const std::uint8_t> command)
{
    if (observer_) {
        observer_(side, command);
    }
    int left = silent_.load();
    while (left > 0 && !silent_.compare_exchange_weak(left, left - 1)) {
    }
    if (left > 0) {
        return std::nullopt;
    }
    return model_.execute(command);
}

Responder Amplifier::serial_responder()
{
    return [this](std::span<const std::uint8_t> block) { return answer("serial", block); };
}

UsbCommandHandler Amplifier::usb_handler()
{
    return
        [this](std::span<const std::uint8_t> command) -> std::optional<std::vector<std::uint8_t>> {
            const auto reply = answer("usb", command);
            if (!reply) {
                return std::nullopt;
            }
            return reply->framed();
        };
}

}  // namespace ampsim
