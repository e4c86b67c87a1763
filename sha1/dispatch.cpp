// Chooses, once per process, the fastest block transform the processor runs.
#include <atomic>

#include "sha1/cpu_features.h"
#include "sha1/target.h"
#include "sha1/transform.h"

namespace {

#if defined(TORVANIX_SHA1_HAVE_SHANI)
#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
constexpr sha1_transform_entry shani_avx512 = {"x86-sha-avx512", sha1_transform_shani,
                                               sha1_detect_shani_avx512};
#endif
constexpr sha1_transform_entry shani = {"x86-sha", sha1_transform_shani, sha1_detect_shani};
constexpr sha1_transform_entry shani_sse = {"x86-sha-sse", sha1_transform_shani,
                                            sha1_detect_shani_sse};
#endif
#if defined(TORVANIX_SHA1_HAVE_ARMV8)
constexpr sha1_transform_entry armv8 = {"armv8-sha1", sha1_transform_armv8, sha1_detect_armv8};
#endif
#if defined(TORVANIX_SHA1_X86)
constexpr sha1_transform_entry avx2_avx512vl = {"x86-avx2-avx512vl", sha1_transform_avx2,
                                                sha1_detect_avx2_avx512vl};
constexpr sha1_transform_entry avx2 = {"x86-avx2", sha1_transform_avx2, sha1_detect_avx2};
constexpr sha1_transform_entry ssse3 = {"x86-ssse3", sha1_transform_ssse3, sha1_detect_ssse3};
#endif
constexpr sha1_transform_entry portable = {"portable", sha1_transform_portable,
                                           sha1_detect_portable};

// The fastest usable entry, or null before the first use. Constant-initialised,
// so it is valid whichever code hashes first, even a static initialiser in
// another file; threads that race on the first use store the same pointer.
constinit std::atomic<const sha1_transform_entry*> chosen{nullptr};

// The entries this processor runs, fastest first; returns their count.
int usable_entries(const sha1_transform_entry* (&out)[sha1_transform_kinds])
{
    const sha1_cpu_features cpu = sha1_read_cpu_features();
    int count = 0;
#if defined(TORVANIX_SHA1_HAVE_SHANI)
#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES)
    if (cpu.shani && cpu.avx2 && cpu.avx512 && cpu.gfni) out[count++] = &shani_avx512;
#endif
    if (cpu.shani && cpu.avx2) out[count++] = &shani;
    if (cpu.shani) out[count++] = &shani_sse;
#endif
#if defined(TORVANIX_SHA1_HAVE_ARMV8)
    if (cpu.armv8_sha1) out[count++] = &armv8;
#endif
#if defined(TORVANIX_SHA1_X86)
    if (cpu.avx2 && cpu.avx512vl) out[count++] = &avx2_avx512vl;
    if (cpu.avx2) out[count++] = &avx2;
    if (cpu.ssse3) out[count++] = &ssse3;
#endif
    (void)cpu;
    out[count++] = &portable;
    return count;
}

}  // namespace

sha1_transform_list sha1_usable_transforms()
{
    const sha1_transform_entry* entries[sha1_transform_kinds] = {};
    sha1_transform_list list{};
    list.count = usable_entries(entries);
    for (int i = 0; i < list.count; ++i) list.entries[i] = *entries[i];
    return list;
}

// One load and a predictable branch per call once chosen.
const sha1_transform_entry& sha1_chosen_transform()
{
    const sha1_transform_entry* entry = chosen.load(std::memory_order_acquire);
    if (entry == nullptr) {
        const sha1_transform_entry* entries[sha1_transform_kinds] = {};
        usable_entries(entries);
        entry = entries[0];
        chosen.store(entry, std::memory_order_release);
    }
    return *entry;
}
