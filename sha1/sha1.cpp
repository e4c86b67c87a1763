// The SHA-1 engine's public operations: context handling, input counting,
// padding and digest output. Block compression is behind transform.h.
#include "sha1/sha1.h"

#include <cstring>

#include "sha1/transform.h"

namespace {

// Compresses whole blocks into the SHA-1 chain, and into the safe chain:
// the same chain until a block completes a collision attack, after which
// the safe chain compresses that block twice more and goes its own way.
// One chain at a time is checked: the SHA-1 chain until then, the safe
// chain after, while the SHA-1 chain runs the same blocks plain.
void compress_blocks(SHA1Context* context, const std::uint8_t* data, std::size_t blocks)
{
    const sha1_transform_entry& transform = sha1_chosen_transform();
    while (blocks != 0) {
        const bool diverged = context->Attack_Detected != 0;
        std::uint32_t* checked = diverged ? context->Safe_Hash : context->Intermediate_Hash;
        const sha1_blocks_done done = transform.detecting(checked, data, blocks);
        if (diverged) {
            transform.plain(context->Intermediate_Hash, data, done.blocks);
        }
        data += 64 * done.blocks;
        blocks -= done.blocks;
        if (done.attacked) {
            if (!diverged) {
                context->Attack_Detected = 1;
                std::memcpy(context->Safe_Hash, context->Intermediate_Hash,
                            sizeof context->Safe_Hash);
            }
            transform.plain(context->Safe_Hash, data - 64, 1);
            transform.plain(context->Safe_Hash, data - 64, 1);
        }
    }
}

// Compresses the full block held in the context and empties it.
void SHA1ProcessMessageBlock(SHA1Context* context)
{
    compress_blocks(context, context->Message_Block, 1);
    context->Message_Block_Index = 0;
}

void write_digest(const std::uint32_t hash[5], std::uint8_t digest[SHA1HashSize])
{
    for (int i = 0; i < SHA1HashSize; ++i) {
        digest[i] = static_cast<std::uint8_t>(hash[i / 4] >> (8 * (3 - i % 4)));
    }
}

// Appends the 0x80 marker, zero fill and the 64-bit big-endian bit count, and
// compresses the final block or blocks.
void SHA1PadMessage(SHA1Context* context)
{
    if (context->Message_Block_Index > 55) {
        context->Message_Block[context->Message_Block_Index++] = 0x80;
        while (context->Message_Block_Index < 64) {
            context->Message_Block[context->Message_Block_Index++] = 0;
        }
        SHA1ProcessMessageBlock(context);
        while (context->Message_Block_Index < 56) {
            context->Message_Block[context->Message_Block_Index++] = 0;
        }
    } else {
        context->Message_Block[context->Message_Block_Index++] = 0x80;
        while (context->Message_Block_Index < 56) {
            context->Message_Block[context->Message_Block_Index++] = 0;
        }
    }

    for (int i = 0; i < 4; ++i) {
        context->Message_Block[56 + i] =
            static_cast<std::uint8_t>(context->Length_High >> (24 - 8 * i));
        context->Message_Block[60 + i] =
            static_cast<std::uint8_t>(context->Length_Low >> (24 - 8 * i));
    }
    SHA1ProcessMessageBlock(context);
}

// Pads and finishes the message once; the caller has checked the context.
void finish(SHA1Context* context)
{
    if (context->Computed == 0) {
        SHA1PadMessage(context);
        for (auto& byte : context->Message_Block) {
            byte = 0;  // clear what the message left behind
        }
        context->Length_Low = 0;
        context->Length_High = 0;
        context->Computed = 1;
    }
}

// The checks both results make, then the message finished and one of its
// digests written: the SHA-1 digest, or the safe one.
int finish_and_write(SHA1Context* context, std::uint8_t digest[SHA1HashSize], bool safe)
{
    if (context == nullptr || digest == nullptr) {
        return shaNull;
    }
    if (context->Corrupted != 0) {
        return context->Corrupted;
    }
    finish(context);
    const bool diverged = safe && context->Attack_Detected != 0;
    write_digest(diverged ? context->Safe_Hash : context->Intermediate_Hash, digest);
    return shaSuccess;
}

}  // namespace

void SHA1Reset(SHA1Context* context)
{
    for (int i = 0; i < 5; ++i) {
        context->Intermediate_Hash[i] = sha1_initial_hash[i];
    }
    context->Length_Low = 0;
    context->Length_High = 0;
    context->Message_Block_Index = 0;
    context->Computed = 0;
    context->Corrupted = 0;
    context->Attack_Detected = 0;
}

int SHA1Input(SHA1Context* context, const std::uint8_t* message_array, unsigned int length)
{
    if (length == 0) {
        return shaSuccess;
    }
    if (context == nullptr || message_array == nullptr) {
        return shaNull;
    }
    if (context->Computed != 0) {
        context->Corrupted = shaStateError;
        return shaStateError;
    }
    if (context->Corrupted != 0) {
        return context->Corrupted;
    }

    const std::uint64_t bits = (std::uint64_t{context->Length_High} << 32) | context->Length_Low;
    if (length > ~bits / 8) {
        // This call reaches the 2^64-bit limit: count byte by byte, storing
        // and counting the byte whose count overflows and refusing the rest.
        while (length != 0 && context->Corrupted == 0) {
            context->Message_Block[context->Message_Block_Index++] = *message_array;
            context->Length_Low += 8;
            if (context->Length_Low == 0) {
                context->Length_High++;
                if (context->Length_High == 0) {
                    context->Corrupted = shaNull;
                }
            }
            if (context->Message_Block_Index == 64) {
                SHA1ProcessMessageBlock(context);
            }
            ++message_array;
            --length;
        }
        return shaSuccess;
    }

    // The whole call fits under the limit, so the count is added at once and
    // the bytes move in pieces: fill a partly filled block first, run whole
    // blocks straight from the caller's buffer, then keep the tail.
    const std::uint64_t new_bits = bits + 8 * std::uint64_t{length};
    context->Length_Low = static_cast<std::uint32_t>(new_bits);
    context->Length_High = static_cast<std::uint32_t>(new_bits >> 32);

    if (context->Message_Block_Index != 0) {
        const unsigned int room = 64u - static_cast<unsigned int>(context->Message_Block_Index);
        const unsigned int piece = length < room ? length : room;
        std::memcpy(context->Message_Block + context->Message_Block_Index, message_array, piece);
        context->Message_Block_Index =
            static_cast<std::int16_t>(context->Message_Block_Index + piece);
        message_array += piece;
        length -= piece;
        if (context->Message_Block_Index == 64) {
            SHA1ProcessMessageBlock(context);
        }
    }
    if (length >= 64) {
        const unsigned int blocks = length / 64;
        compress_blocks(context, message_array, blocks);
        message_array += 64 * std::size_t{blocks};
        length -= 64 * blocks;
    }
    if (length != 0) {
        std::memcpy(context->Message_Block, message_array, length);
        context->Message_Block_Index = static_cast<std::int16_t>(length);
    }
    return shaSuccess;
}

int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize])
{
    return finish_and_write(context, Message_Digest, false);
}

int SHA1SafeResult(SHA1Context* context, std::uint8_t Safe_Digest[SHA1HashSize])
{
    return finish_and_write(context, Safe_Digest, true);
}
