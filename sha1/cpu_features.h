// Internal to the SHA-1 engine: what the processor and operating system
// allow, for the dispatcher to choose a transform.
#pragma once

struct sha1_cpu_features {
    bool ssse3;
    bool avx2;   // AVX2, BMI1 and BMI2, with the OS saving the YMM registers
    bool shani;  // SHA extensions, with SSSE3 and SSE4.1
    // AVX-512 F, VL, BW and VBMI, with the OS saving the ZMM registers and
    // mask registers, and GFNI (its 512-bit forms need AVX-512 too).
    bool avx512;
    // AVX-512 F and VL alone, with the OS saving the ZMM and mask registers
    // (Skylake-SP has them, without VBMI and GFNI).
    bool avx512vl;
    bool gfni;
    bool armv8_sha1;
};

sha1_cpu_features sha1_read_cpu_features();
