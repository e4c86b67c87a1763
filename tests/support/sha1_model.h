// A plain model of the SHA-1 engine for the tests and the fuzzer: bytes go
// one at a time into a 64-byte block, full blocks through the portable
// transform, and the length is one 64-bit count.
#pragma once

#include <cstdint>
#include <cstring>

#include "sha1/transform.h"

struct Sha1Model {
    std::uint32_t h[5];
    std::uint8_t block[64] = {};
    int used = 0;
    std::uint64_t bits = 0;
    bool overflowed = false;  // the count wrapped past 2^64 bits

    Sha1Model() { std::memcpy(h, sha1_initial_hash, sizeof h); }

    // Appends one message byte; the byte whose count wraps is still kept.
    void add(std::uint8_t byte)
    {
        bits += 8;
        if (bits == 0) overflowed = true;
        add_to_block(byte);
    }

    // Pads the message and writes its digest, H0 first, each word big-endian.
    void digest(std::uint8_t out[20])
    {
        const std::uint64_t length = bits;
        add_to_block(0x80);
        while (used != 56) add_to_block(0);
        for (int i = 7; i >= 0; --i) add_to_block(static_cast<std::uint8_t>(length >> (8 * i)));
        for (int i = 0; i < 20; ++i) {
            out[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
        }
    }

private:
    void add_to_block(std::uint8_t byte)
    {
        block[used++] = byte;
        if (used == 64) {
            sha1_transform_portable(h, block, 1);
            used = 0;
        }
    }
};
