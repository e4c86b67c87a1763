// libFuzzer target: feeds the engine a message in pieces whose sizes the
// fuzzer chooses, optionally from a bit count just below 2^64, and compares
// every result code, the final context fields and the digest with a plain
// model that takes one byte at a time through the portable transform. No
// fuzzed message is a collision attack, so its safe digest must equal its
// digest.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sha1/sha1.h"

#include "tests/support/sha1_model.h"

namespace {

void check(bool ok)
{
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Header: mode, room below 2^64 bits (in bytes), eight piece sizes.
    if (size < 10) return 0;
    const bool near_limit = data[0] & 1;
    const unsigned room = data[1];
    const std::uint8_t* sizes = data + 2;
    const std::uint8_t* message = data + 10;
    const std::size_t length = size - 10;

    SHA1Context context;
    SHA1Reset(&context);
    Sha1Model model;
    if (near_limit) {
        model.bits = 0 - 8 * (std::uint64_t{room} + 1);
        context.Length_Low = static_cast<std::uint32_t>(model.bits);
        context.Length_High = static_cast<std::uint32_t>(model.bits >> 32);
    }

    std::size_t done = 0;
    for (std::size_t i = 0; done < length; ++i) {
        std::size_t piece = std::size_t{sizes[i % 8]} * 5 + (data[0] >> 1);
        if (piece == 0 && i % 8 == 7) piece = 1;  // zero-length calls, but progress
        if (piece > length - done) piece = length - done;
        const int code = SHA1Input(&context, message + done, static_cast<unsigned>(piece));
        const int expected_code = (model.overflowed && piece != 0) ? shaNull : shaSuccess;
        check(code == expected_code);
        if (!model.overflowed) {
            for (std::size_t j = 0; j < piece && !model.overflowed; ++j)
                model.add(message[done + j]);
        }
        done += piece;
        check(context.Length_Low == static_cast<std::uint32_t>(model.bits));
        check(context.Length_High == static_cast<std::uint32_t>(model.bits >> 32));
        check(context.Message_Block_Index == model.used);
        check(context.Corrupted == (model.overflowed ? shaNull : 0));
    }

    std::uint8_t digest[SHA1HashSize];
    const int code = SHA1Result(&context, digest);
    if (model.overflowed) {
        check(code == shaNull);
    } else {
        check(code == shaSuccess);
        std::uint8_t expected[20];
        model.digest(expected);
        check(std::memcmp(digest, expected, sizeof expected) == 0);
        // Fuzzed data holds no collision attack: the safe digest is the digest.
        std::uint8_t safe[SHA1HashSize];
        check(SHA1SafeResult(&context, safe) == shaSuccess);
        check(context.Attack_Detected == 0);
        check(std::memcmp(safe, digest, sizeof safe) == 0);
    }
    return 0;
}
