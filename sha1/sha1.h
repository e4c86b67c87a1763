// SHA-1 message digest engine (FIPS 180-1), shaped after the RFC 3174
// reference interface: a caller-owned context, reset, input in pieces of any
// size, and a result call that pads the message and yields the 20-byte digest.
//
// This header is the engine's only public interface.
#pragma once

#include <cstdint>

// Result codes returned by the engine's operations.
enum {
    shaSuccess = 0,
    shaNull = 1,       // a required pointer is null; also the bit count overflowed
    shaStateError = 3  // input after the result was computed
};

inline constexpr int SHA1HashSize = 20;

struct SHA1Context {
    std::uint32_t Intermediate_Hash[SHA1HashSize / 4];  // chaining value H0..H4
    std::uint32_t Length_Low;                           // message length in bits
    std::uint32_t Length_High;
    std::int16_t Message_Block_Index;  // bytes held in Message_Block
    std::uint8_t Message_Block[64];    // the 512-bit block being filled
    int Computed;                      // non-zero once the message is padded
    int Corrupted;                     // 0, or the code that put the context out of use
};

void SHA1Reset(SHA1Context* context);
int SHA1Input(SHA1Context* context, const std::uint8_t* message_array, unsigned int length);
int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize]);
