// Internal to the SHA-1 engine: what the processor and operating system
// allow, one bit per feature, for the dispatcher to choose a transform.
#pragma once

namespace sha1_cpu {
enum feature : unsigned {
    ssse3 = 1u << 0,
    avx2 = 1u << 1,   // AVX2, BMI1 and BMI2, with the OS saving the YMM registers
    shani = 1u << 2,  // SHA extensions, with SSSE3 and SSE4.1
    // AVX-512 F, VL, BW and VBMI, with the OS saving the ZMM registers and
    // mask registers.
    avx512 = 1u << 3,
    // AVX-512 F, VL and BW alone, with the OS saving the ZMM and mask
    // registers (Skylake-SP has them, without VBMI and GFNI).
    avx512vl = 1u << 4,
    // GFNI; its 256-bit forms need AVX (part of avx2 here), its 512-bit forms
    // AVX-512.
    gfni = 1u << 5,
    armv8_sha1 = 1u << 6,
};
}  // namespace sha1_cpu

// A set of sha1_cpu features.
using sha1_cpu_features = unsigned;

sha1_cpu_features sha1_read_cpu_features();

// Whether a processor with `features` has every feature in `needs`.
constexpr bool sha1_cpu_has(sha1_cpu_features features, sha1_cpu_features needs)
{
    return (features & needs) == needs;
}
