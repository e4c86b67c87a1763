// Reproducible random test data.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

inline std::vector<std::uint8_t> random_bytes(std::mt19937& random, std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (auto& byte : v) {
        byte = static_cast<std::uint8_t>(random());
    }
    return v;
}
