// The table of block transforms, and the choice, once per process, of the
// fastest one the processor runs. A new transform is its file under
// transform/, its line in CMakeLists.txt, and its row here.
#include <atomic>
#include <iterator>

#include "sha1/cpu_features.h"
#include "sha1/target.h"
#include "sha1/transform.h"

// Defined in transform/, each in the file of its name, where the build has it.
using detecting_fn = sha1_blocks_done(std::uint32_t state[5], const std::uint8_t* data,
                                      std::size_t blocks);
using plain_fn = void(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks);
plain_fn sha1_transform_shani;
detecting_fn sha1_detect_shani_avx512;   // the check with AVX-512 and GFNI
detecting_fn sha1_detect_shani_gfni256;  // the check with GFNI on 256-bit registers
detecting_fn sha1_detect_shani_avx2;     // the check with AVX2
detecting_fn sha1_detect_shani_no_avx2;
plain_fn sha1_transform_armv8;
detecting_fn sha1_detect_armv8;
plain_fn sha1_transform_avx2;
detecting_fn sha1_detect_avx2;
detecting_fn sha1_detect_avx2_avx512vl;  // the candidate test in AVX-512 VL
plain_fn sha1_transform_ssse3;
detecting_fn sha1_detect_ssse3;

namespace {

using namespace sha1_cpu;

// Fastest first. Names are shown by the tests and benchmarks.
constexpr sha1_transform_entry table[] = {
#if defined(TORVANIX_SHA1_HAVE_SHANI) && defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
    {"x86-sha-avx512", shani | avx2 | avx512 | gfni, sha1_transform_shani,
     sha1_detect_shani_avx512},
    {"x86-sha-gfni", shani | avx2 | gfni, sha1_transform_shani, sha1_detect_shani_gfni256},
#endif
#if defined(TORVANIX_SHA1_HAVE_SHANI)
    {"x86-sha", shani | avx2, sha1_transform_shani, sha1_detect_shani_avx2},
    {"x86-sha-sse", shani, sha1_transform_shani, sha1_detect_shani_no_avx2},
#endif
#if defined(TORVANIX_SHA1_HAVE_ARMV8)
    {"armv8-sha1", armv8_sha1, sha1_transform_armv8, sha1_detect_armv8},
#endif
#if defined(TORVANIX_SHA1_X86)
    {"x86-avx2-avx512vl", avx2 | avx512vl, sha1_transform_avx2, sha1_detect_avx2_avx512vl},
    {"x86-avx2", avx2, sha1_transform_avx2, sha1_detect_avx2},
    {"x86-ssse3", ssse3, sha1_transform_ssse3, sha1_detect_ssse3},
#endif
    {"portable", 0, sha1_transform_portable, sha1_detect_portable},
};
static_assert(std::size(table) != 0 && std::end(table)[-1].needs == 0,
              "the last transform runs everywhere");

// The fastest usable entry, or null before the first use. Constant-initialised,
// so it is valid whichever code hashes first, even a static initialiser in
// another file; threads that race on the first use store the same pointer.
constinit std::atomic<const sha1_transform_entry*> chosen{nullptr};

}  // namespace

sha1_transform_table sha1_transforms() { return {table, static_cast<int>(std::size(table))}; }

// One load and a predictable branch per call once chosen.
const sha1_transform_entry& sha1_chosen_transform()
{
    const sha1_transform_entry* entry = chosen.load(std::memory_order_acquire);
    if (entry == nullptr) {
        const sha1_cpu_features cpu = sha1_read_cpu_features();
        entry = table;
        while (!sha1_cpu_has(cpu, entry->needs)) ++entry;
        chosen.store(entry, std::memory_order_release);
    }
    return *entry;
}
