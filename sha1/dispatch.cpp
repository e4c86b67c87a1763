// Chooses, once per process, the fastest block transform the processor runs.
#include "platform.h"
#include "transform.h"

sha1_transform_list sha1_usable_transforms()
{
    const sha1_cpu_features cpu = sha1_read_cpu_features();
    sha1_transform_list list{};
    auto add = [&list](const char* name, sha1_transform_fn fn) {
        list.entries[list.count++] = {name, fn};
    };
#if defined(TORVANIX_SHA1_HAVE_SHANI)
    if (cpu.shani) add("x86-sha", sha1_transform_shani);
#endif
#if defined(TORVANIX_SHA1_HAVE_ARMV8)
    if (cpu.armv8_sha1) add("armv8-sha1", sha1_transform_armv8);
#endif
#if defined(TORVANIX_SHA1_HAVE_AVX2)
    if (cpu.avx2) add("x86-avx2", sha1_transform_avx2);
#endif
#if defined(TORVANIX_SHA1_HAVE_SSSE3)
    if (cpu.ssse3) add("x86-ssse3", sha1_transform_ssse3);
#endif
    (void)cpu;
    add("portable", sha1_transform_portable);
    return list;
}

namespace {

// Chosen while the program starts, before main, and never changed: no lock or
// first-use check on the hashing path.
const sha1_transform_entry chosen = sha1_usable_transforms().entries[0];

}  // namespace

const sha1_transform_entry& sha1_chosen_transform() { return chosen; }

void sha1_process_blocks(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    sha1_chosen_transform().fn(state, data, blocks);
}
