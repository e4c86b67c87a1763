// A plain model of SHA-1 for the tests and the fuzzer, written from the
// definition apart from the engine's transforms: bytes go one at a time
// into a 64-byte block, and the length is one 64-bit count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sha1/transform.h"

namespace sha1_model {

// Compresses `blocks` 64-byte blocks from `data` into the chaining value h,
// step by step as the standard defines it.
inline void compress(std::uint32_t h[5], const std::uint8_t* data, std::size_t blocks = 1)
{
    const auto rotl = [](std::uint32_t x, int n) { return x << n | x >> (32 - n); };
    const std::uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
    for (; blocks != 0; --blocks, data += 64) {
        std::uint32_t W[80];
        for (int t = 0; t < 80; ++t) {
            W[t] = t < 16
                       ? std::uint32_t{data[4 * t]} << 24 | std::uint32_t{data[4 * t + 1]} << 16 |
                             std::uint32_t{data[4 * t + 2]} << 8 | data[4 * t + 3]
                       : rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);
        }
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; ++t) {
            const std::uint32_t f = t < 20              ? (b & c) | (~b & d)
                                    : t >= 40 && t < 60 ? (b & c) | (b & d) | (c & d)
                                                        : b ^ c ^ d;
            const std::uint32_t temp = rotl(a, 5) + f + e + W[t] + K[t / 20];
            e = d, d = c, c = rotl(b, 30), b = a, a = temp;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
}

}  // namespace sha1_model

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
            sha1_model::compress(h, block);
            used = 0;
        }
    }
};
