// Reads the processor's features through each compiler's and operating
// system's own interface.
#include "platform.h"

#if defined(TORVANIX_SHA1_X86)
#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

#if defined(TORVANIX_SHA1_ARM64)
#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif
#endif

namespace {

#if defined(TORVANIX_SHA1_X86)
struct cpuid_regs {
    unsigned int eax, ebx, ecx, edx;
};

cpuid_regs cpuid(unsigned int leaf, unsigned int subleaf)
{
    cpuid_regs r{};
#if defined(_MSC_VER) && !defined(__clang__)
    int out[4];
    __cpuidex(out, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<unsigned>(out[0]), static_cast<unsigned>(out[1]),
         static_cast<unsigned>(out[2]), static_cast<unsigned>(out[3])};
#else
    if (__get_cpuid_count(leaf, subleaf, &r.eax, &r.ebx, &r.ecx, &r.edx) == 0) {
        r = {};
    }
#endif
    return r;
}

// The register state the OS saves on a context switch (XCR0).
unsigned long long xgetbv0()
{
#if defined(_MSC_VER) && !defined(__clang__)
    return _xgetbv(0);
#else
    unsigned int lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
#endif
}
#endif

}  // namespace

sha1_cpu_features sha1_read_cpu_features()
{
    sha1_cpu_features f{};
#if defined(TORVANIX_SHA1_X86)
    const unsigned int max_leaf = cpuid(0, 0).eax;
    if (max_leaf >= 1) {
        const cpuid_regs l1 = cpuid(1, 0);
        f.ssse3 = (l1.ecx >> 9) & 1;
        f.sse41 = (l1.ecx >> 19) & 1;
        const bool osxsave = (l1.ecx >> 27) & 1;
        const bool avx = (l1.ecx >> 28) & 1;
        if (max_leaf >= 7) {
            const cpuid_regs l7 = cpuid(7, 0);
            f.shani = ((l7.ebx >> 29) & 1) && f.ssse3 && f.sse41;
            const bool ymm_saved = osxsave && avx && (xgetbv0() & 6) == 6;
            f.avx2 = ymm_saved && ((l7.ebx >> 5) & 1) && ((l7.ebx >> 3) & 1) && ((l7.ebx >> 8) & 1);
        }
    }
#elif defined(TORVANIX_SHA1_ARM64)
#if defined(__APPLE__)
    f.armv8_sha1 = true;  // every Apple arm64 processor has the SHA-1 instructions
#elif defined(_WIN32)
    f.armv8_sha1 = IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0;
#elif defined(__linux__)
    f.armv8_sha1 = (getauxval(AT_HWCAP) & HWCAP_SHA1) != 0;
#endif
#endif
    return f;
}
