// A plain model of SHA-1 for the tests and the fuzzer, written from the
// definition and sharing no code with the engine: the compression step by
// step, and the engine's byte-at-a-time input with a 64-bit length.
#pragma once

#include <cstdint>
#include <cstring>

namespace sha1_model {

inline constexpr std::uint32_t initial_hash[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                                  0xC3D2E1F0};

inline std::uint32_t rotl(std::uint32_t x, int n) { return n == 0 ? x : x << n | x >> (32 - n); }

inline std::uint32_t f(int t, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    if (t < 20) return (b & c) | (~b & d);
    if (t >= 40 && t < 60) return (b & c) | (b & d) | (c & d);
    return b ^ c ^ d;
}

inline std::uint32_t k(int t)
{
    const std::uint32_t K[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
    return K[t / 20];
}

inline void expand(const std::uint32_t* first16, std::uint32_t (&W)[80])
{
    for (int t = 0; t < 80; ++t) {
        W[t] = t < 16 ? first16[t] : rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);
    }
}

// The state (A..E) after step t, from the state `s` before it.
inline void step(const std::uint32_t (&s)[5], int t, std::uint32_t w, std::uint32_t (&next)[5])
{
    const std::uint32_t a = rotl(s[0], 5) + f(t, s[1], s[2], s[3]) + s[4] + w + k(t);
    const std::uint32_t after[5] = {a, s[0], rotl(s[1], 30), s[2], s[3]};
    std::memcpy(next, after, sizeof after);
}

// Compresses the 64-byte block into the chaining value h.
inline void compress(std::uint32_t h[5], const std::uint8_t* block)
{
    std::uint32_t M[16];
    for (int i = 0; i < 16; ++i) {
        M[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
    }
    std::uint32_t W[80];
    expand(M, W);
    std::uint32_t s[5];
    std::memcpy(s, h, sizeof s);
    for (int t = 0; t < 80; ++t) step(s, t, W[t], s);
    for (int i = 0; i < 5; ++i) h[i] += s[i];
}

}  // namespace sha1_model

struct Sha1Model {
    std::uint32_t h[5];
    std::uint8_t block[64] = {};
    int used = 0;
    std::uint64_t bits = 0;
    bool overflowed = false;  // the count wrapped past 2^64 bits

    Sha1Model() { std::memcpy(h, sha1_model::initial_hash, sizeof h); }

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
