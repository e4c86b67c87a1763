// Runs one transform's plain or detecting form over BLOCKS random blocks, in
// calls of 256 blocks (16 KiB, as the engine reads files), and prints the
// chaining value. Made for counting instructions per block where no
// hardware counter or valgrind runs the code, e.g. the ARMv8 transform
// under qemu, which with -singlestep runs one instruction per translation
// block and logs each it executes:
//
//   q="qemu-aarch64-static -cpu max -L /usr/aarch64-linux-gnu -singlestep -d nochain,exec"
//   $q build/aarch64/count_blocks detect 4096 armv8-sha1 2>&1 >/dev/null | grep -c '^Trace'
//
// and the same for 8192 blocks: (count(8192) - count(4096)) / 4096 is the
// form's instructions per block, without the start-up's.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sha1/transform.h"

int main(int argc, char** argv)
{
    const bool detect = argc > 1 && std::strcmp(argv[1], "detect") == 0;
    if (argc < 3 || argc > 4 || (!detect && std::strcmp(argv[1], "plain") != 0)) {
        std::fprintf(stderr, "usage: count_blocks plain|detect BLOCKS [TRANSFORM]\n");
        return 2;
    }
    const std::size_t blocks = std::strtoul(argv[2], nullptr, 10);
    const sha1_transform_table table = sha1_transforms();
    const sha1_transform_entry* form = &sha1_chosen_transform();
    if (argc == 4) {
        form = nullptr;
        for (int i = 0; i < table.count; ++i) {
            if (std::strcmp(table.entries[i].name, argv[3]) == 0) form = &table.entries[i];
        }
        if (form == nullptr) {
            std::fprintf(stderr, "count_blocks: no transform named %s in this build\n", argv[3]);
            return 2;
        }
    }

    // 512 KiB of reproducible random bytes (a xorshift generator), read
    // again from the start after 8192 blocks.
    constexpr std::size_t buffer_blocks = 8192;
    static std::uint8_t data[64 * buffer_blocks];
    std::uint64_t x = 0x9E3779B97F4A7C15u;
    for (std::uint8_t& byte : data) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        byte = static_cast<std::uint8_t>(x >> 32);
    }

    std::uint32_t state[5];
    std::memcpy(state, sha1_initial_hash, sizeof state);
    for (std::size_t done = 0; done < blocks;) {
        const std::size_t at = done % buffer_blocks;
        std::size_t n = blocks - done < 256 ? blocks - done : 256;
        if (n > buffer_blocks - at) n = buffer_blocks - at;
        if (detect) {
            n = form->detecting(state, data + 64 * at, n).blocks;
        } else {
            form->plain(state, data + 64 * at, n);
        }
        done += n;
    }
    std::printf("%s %s %zu blocks: %08x%08x%08x%08x%08x\n", form->name, argv[1], blocks, state[0],
                state[1], state[2], state[3], state[4]);
    return 0;
}
