// A 20-byte digest as the 40 upper-case hex digits the program prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string hex(const std::uint8_t digest[20])
{
    char text[41];
    for (int i = 0; i < 20; ++i) {
        std::snprintf(text + 2 * i, 3, "%02X", digest[i]);
    }
    return text;
}
