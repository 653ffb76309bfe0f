// A host that sends random commands of random lengths and gets random
// answers: traffic in which every capture differs from every other.
#pragma once

#include "SyntheticHost.h"

#include <random>

namespace ampsim {

class RandomHost : public SyntheticHost {
public:
    explicit RandomHost(std::uint64_t seed);
    HostExchange next_exchange() override;

private:
    std::size_t draw(std::size_t below);
    std::vector<std::uint8_t> random_bytes(std::size_t count);

    std::mt19937_64 random_;
};

}  // namespace ampsim
