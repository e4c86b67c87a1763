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

    // Collision detection. Every compressed block is checked for the
    // signature of a SHA-1 collision attack. Until one is found the safe
    // digest equals the SHA-1 digest; from an attacked block on, Safe_Hash
    // carries its own chaining value, in which each attacked block is
    // compressed twice more.
    int Attack_Detected;  // non-zero once a block completed a collision attack
    std::uint32_t Safe_Hash[SHA1HashSize / 4];  // the safe chaining value, once diverged
};

void SHA1Reset(SHA1Context* context);
int SHA1Input(SHA1Context* context, const std::uint8_t* message_array, unsigned int length);
int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize]);

// Like SHA1Result, but writes the message's safe digest: its SHA-1 digest
// unless the message holds a block that completes a collision attack. Two
// different messages with the same SHA-1 digest (a collision made on purpose)
// have different safe digests; copies of one message have the same.
int SHA1SafeResult(SHA1Context* context, std::uint8_t Safe_Digest[SHA1HashSize]);
