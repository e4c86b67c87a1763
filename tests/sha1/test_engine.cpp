#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sha1/sha1.h"
#include "sha1/transform.h"
#include "tests/support/digest_text.h"
#include "tests/support/random_bytes.h"
#include "tests/support/sha1_model.h"

namespace {

const std::uint8_t* bytes(const std::string& s)
{
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Digest of `message` fed in pieces whose sizes `next_piece` chooses.
template <typename NextPiece>
std::string digest_in_pieces(const std::string& message, NextPiece next_piece)
{
    SHA1Context context;
    SHA1Reset(&context);
    std::size_t done = 0;
    while (done < message.size()) {
        std::size_t piece = std::min<std::size_t>(next_piece(), message.size() - done);
        EXPECT_EQ(SHA1Input(&context, bytes(message) + done, static_cast<unsigned>(piece)),
                  shaSuccess);
        done += piece;
    }
    std::uint8_t digest[SHA1HashSize];
    EXPECT_EQ(SHA1Result(&context, digest), shaSuccess);
    return hex(digest);
}

std::string digest_of(const std::string& message)
{
    return digest_in_pieces(message, [&] { return message.size(); });
}

std::string repeat(const std::string& unit, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i) {
        s += unit;
    }
    return s;
}

struct Vector {
    std::string message;
    const char* digest;
};

// Published test vectors, plus lengths around the padding boundaries
// (55 fits the length in the last block, 56 needs one more block).
std::vector<Vector> known_vectors()
{
    return {
        {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
        {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
        {std::string(1000000, 'a'), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
        {repeat("01234567", 80), "DEA356A2CDDD90C7A7ECEDC5EBB563934F460452"},
        {std::string(55, 'a'), "C1C8BBDC22796E28C0E15163D20899B65621D65A"},
        {std::string(56, 'a'), "C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
        {std::string(63, 'a'), "03F09F5B158A7A8CDAD920BDDC29B81C18A551F5"},
        {std::string(64, 'a'), "0098BA824B5C16427BD7A1122A5A442A25EC644D"},
        {std::string(65, 'a'), "11655326C708D70319BE2610E8A57D9A5B959D3B"},
        {std::string(119, 'a'), "EE971065AAA017E0632A8CA6C77BB3BF8B1DFC56"},
        {std::string(127, 'a'), "89D95FA32ED44A7C610B7EE38517DDF57E0BB975"},
        {std::string(128, 'a'), "AD5B3FDBCB526778C2839D2F151EA753995E26A0"},
    };
}

TEST(Sha1Engine, KnownDigestsWhateverThePieces)
{
    std::mt19937 random(12345);
    for (const Vector& v : known_vectors()) {
        SCOPED_TRACE("message length " + std::to_string(v.message.size()));
        EXPECT_EQ(digest_of(v.message), v.digest);
        if (v.message.size() <= 1000) {
            EXPECT_EQ(digest_in_pieces(v.message, [] { return 1; }), v.digest);
        }
        for (std::size_t max_piece : {3, 70, 200, 20000}) {
            std::uniform_int_distribution<std::size_t> size(1, max_piece);
            EXPECT_EQ(digest_in_pieces(v.message, [&] { return size(random); }), v.digest);
        }
    }
}

TEST(Sha1Engine, InputFieldsAfterEachCall)
{
    SHA1Context context;
    SHA1Reset(&context);
    std::string data(130, 'x');
    ASSERT_EQ(SHA1Input(&context, bytes(data), 63), shaSuccess);
    EXPECT_EQ(context.Message_Block_Index, 63);
    EXPECT_EQ(context.Length_Low, 63u * 8);
    ASSERT_EQ(SHA1Input(&context, bytes(data), 1), shaSuccess);
    EXPECT_EQ(context.Message_Block_Index, 0);  // a full block is compressed at once
    ASSERT_EQ(SHA1Input(&context, bytes(data), 66), shaSuccess);
    EXPECT_EQ(context.Message_Block_Index, 2);
    EXPECT_EQ(context.Length_Low, 130u * 8);
    EXPECT_EQ(context.Length_High, 0u);
    EXPECT_EQ(context.Computed, 0);
    EXPECT_EQ(context.Corrupted, 0);
}

TEST(Sha1Engine, ResultStates)
{
    SHA1Context context;
    SHA1Reset(&context);
    ASSERT_EQ(SHA1Input(&context, bytes("abc"), 3), shaSuccess);

    std::uint8_t first[SHA1HashSize];
    std::uint8_t second[SHA1HashSize];
    ASSERT_EQ(SHA1Result(&context, first), shaSuccess);
    EXPECT_EQ(context.Computed, 1);
    EXPECT_EQ(context.Length_Low, 0u);
    for (std::uint8_t byte : context.Message_Block) {
        EXPECT_EQ(byte, 0);
    }
    ASSERT_EQ(SHA1Result(&context, second), shaSuccess);
    EXPECT_EQ(hex(first), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(hex(second), hex(first));

    // Zero-length input changes nothing, even after the result.
    EXPECT_EQ(SHA1Input(&context, bytes("d"), 0), shaSuccess);
    EXPECT_EQ(context.Corrupted, 0);

    // Input after the result spoils the context for good.
    EXPECT_EQ(SHA1Input(&context, bytes("d"), 1), shaStateError);
    EXPECT_EQ(context.Corrupted, shaStateError);
    EXPECT_EQ(SHA1Input(&context, bytes("d"), 1), shaStateError);
    std::uint8_t untouched[SHA1HashSize];
    std::memset(untouched, 0x5A, sizeof untouched);
    EXPECT_EQ(SHA1Result(&context, untouched), shaStateError);
    for (std::uint8_t byte : untouched) {
        EXPECT_EQ(byte, 0x5A);
    }

    // Only a reset brings it back.
    SHA1Reset(&context);
    EXPECT_EQ(SHA1Result(&context, first), shaSuccess);
    EXPECT_EQ(hex(first), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(Sha1Engine, NullPointers)
{
    SHA1Context context;
    SHA1Reset(&context);
    std::uint8_t digest[SHA1HashSize];
    EXPECT_EQ(SHA1Input(nullptr, nullptr, 0), shaSuccess);
    EXPECT_EQ(SHA1Input(&context, nullptr, 0), shaSuccess);
    EXPECT_EQ(SHA1Input(&context, nullptr, 1), shaNull);
    EXPECT_EQ(SHA1Input(nullptr, bytes("a"), 1), shaNull);
    EXPECT_EQ(SHA1Result(nullptr, digest), shaNull);
    EXPECT_EQ(SHA1Result(&context, nullptr), shaNull);
    // None of these touched the context: it still yields the empty digest.
    EXPECT_EQ(context.Corrupted, 0);
    EXPECT_EQ(SHA1Result(&context, digest), shaSuccess);
    EXPECT_EQ(hex(digest), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

// The digest of an empty message whose bit count says `high`:`low`, from
// the byte-at-a-time model.
std::string empty_message_with_count(std::uint32_t high, std::uint32_t low)
{
    Sha1Model model;
    model.bits = std::uint64_t{high} << 32 | low;
    std::uint8_t digest[SHA1HashSize];
    model.digest(digest);
    return hex(digest);
}

TEST(Sha1Engine, BitCountCarriesIntoHighWord)
{
    SHA1Context context;
    SHA1Reset(&context);
    context.Length_Low = 0xFFFFFFF0;  // as if 2^29 - 2 bytes had been counted
    context.Length_High = 6;
    ASSERT_EQ(SHA1Input(&context, bytes("ab"), 2), shaSuccess);
    EXPECT_EQ(context.Length_Low, 0u);
    EXPECT_EQ(context.Length_High, 7u);
    EXPECT_EQ(context.Corrupted, 0);

    // Both words reach the final block's length field.
    SHA1Reset(&context);
    context.Length_High = 0x01020304;
    context.Length_Low = 0x05060708;
    std::uint8_t digest[SHA1HashSize];
    ASSERT_EQ(SHA1Result(&context, digest), shaSuccess);
    EXPECT_EQ(hex(digest), empty_message_with_count(0x01020304, 0x05060708));
    EXPECT_NE(hex(digest), empty_message_with_count(0, 0x05060708));
}

TEST(Sha1Engine, BitCountOverflowStopsAfterTheByteThatWraps)
{
    SHA1Context context;
    SHA1Reset(&context);
    context.Length_Low = 0xFFFFFFF0;  // room for two more bytes below 2^64 bits
    context.Length_High = 0xFFFFFFFF;
    ASSERT_EQ(SHA1Input(&context, bytes("abcd"), 4), shaSuccess);
    EXPECT_EQ(context.Corrupted, shaNull);
    EXPECT_EQ(context.Message_Block_Index, 2);  // "a" and the wrapping "b"; "c" never stored
    EXPECT_EQ(context.Message_Block[1], 'b');
    EXPECT_EQ(context.Length_Low, 0u);
    EXPECT_EQ(context.Length_High, 0u);

    std::uint8_t digest[SHA1HashSize];
    EXPECT_EQ(SHA1Input(&context, bytes("e"), 1), shaNull);
    EXPECT_EQ(SHA1Result(&context, digest), shaNull);
}

TEST(Sha1Engine, OverflowingByteStillCompletesItsBlock)
{
    SHA1Context context;
    SHA1Reset(&context);
    std::string data(70, 'q');
    ASSERT_EQ(SHA1Input(&context, bytes(data), 63), shaSuccess);
    context.Length_Low = 0xFFFFFFF8;
    context.Length_High = 0xFFFFFFFF;
    std::uint32_t before[5];
    std::memcpy(before, context.Intermediate_Hash, sizeof before);
    ASSERT_EQ(SHA1Input(&context, bytes(data), 7), shaSuccess);
    EXPECT_EQ(context.Corrupted, shaNull);
    EXPECT_EQ(context.Message_Block_Index, 0);
    EXPECT_NE(std::memcmp(before, context.Intermediate_Hash, sizeof before), 0);
}

// A context fed in one call (whole blocks straight from the buffer) must end
// in the same state, field by field, as one fed a byte per call.
void expect_same_context(const SHA1Context& a, const SHA1Context& b)
{
    EXPECT_EQ(std::memcmp(a.Intermediate_Hash, b.Intermediate_Hash, sizeof a.Intermediate_Hash), 0);
    EXPECT_EQ(a.Length_Low, b.Length_Low);
    EXPECT_EQ(a.Length_High, b.Length_High);
    EXPECT_EQ(a.Message_Block_Index, b.Message_Block_Index);
    EXPECT_EQ(std::memcmp(a.Message_Block, b.Message_Block, a.Message_Block_Index), 0);
    EXPECT_EQ(a.Computed, b.Computed);
    EXPECT_EQ(a.Corrupted, b.Corrupted);
}

TEST(Sha1BulkInput, RandomSplitsMatchSingleBytes)
{
    std::mt19937 random(77);
    const std::vector<std::uint8_t> data = random_bytes(random, 5000);
    for (int round = 0; round < 30; ++round) {
        SHA1Context split;
        SHA1Context single;
        SHA1Reset(&split);
        SHA1Reset(&single);
        std::size_t done = 0;
        std::uniform_int_distribution<std::size_t> size(0, round < 15 ? 70 : 1500);
        while (done < data.size()) {
            const std::size_t piece = std::min(size(random), data.size() - done);
            ASSERT_EQ(SHA1Input(&split, data.data() + done, static_cast<unsigned>(piece)),
                      shaSuccess);
            for (std::size_t i = 0; i < piece; ++i) {
                ASSERT_EQ(SHA1Input(&single, data.data() + done + i, 1), shaSuccess);
            }
            done += piece;
            expect_same_context(split, single);
        }
    }
}

// Near 2^64 bits the call that would wrap the count takes the byte loop. With
// `room` bytes left before the wrap, a call of `length` bytes from a block
// holding `held` bytes must match byte-per-call input exactly: below the
// wrap nothing changes, at it the wrapping byte is stored and the rest refused.
TEST(Sha1BulkInput, OverflowFallbackMatchesSingleBytes)
{
    std::mt19937 random(5);
    const std::vector<std::uint8_t> data = random_bytes(random, 300);
    for (unsigned held : {0u, 1u, 40u, 63u}) {
        for (unsigned room : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 200u}) {
            for (unsigned length : {1u, 63u, 64u, 65u, 128u, 129u, 200u, 201u, 260u}) {
                SCOPED_TRACE(std::to_string(held) + " held, " + std::to_string(room) + " room, " +
                             std::to_string(length) + " bytes");
                SHA1Context bulk;
                SHA1Reset(&bulk);
                ASSERT_EQ(SHA1Input(&bulk, data.data(), held), shaSuccess);
                // The count of bits that leaves `room` more bytes (the last
                // of them the wrapping one).
                const std::uint64_t bits = 0 - 8 * (std::uint64_t{room} + 1);
                bulk.Length_Low = static_cast<std::uint32_t>(bits);
                bulk.Length_High = static_cast<std::uint32_t>(bits >> 32);
                SHA1Context single = bulk;

                ASSERT_EQ(SHA1Input(&bulk, data.data() + 20, length), shaSuccess);
                for (unsigned i = 0; i < length && single.Corrupted == 0; ++i) {
                    ASSERT_EQ(SHA1Input(&single, data.data() + 20 + i, 1), shaSuccess);
                }
                expect_same_context(bulk, single);
                EXPECT_EQ(bulk.Corrupted, length > room ? shaNull : 0);
            }
        }
    }
}

}  // namespace
