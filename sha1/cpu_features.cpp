// Reads the processor's features through each compiler's and operating
// system's own interface.
#include "sha1/cpu_features.h"
#include "sha1/target.h"

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

// CPUID bits: leaf 1 ECX, leaf 7 (subleaf 0) EBX; XCR0 bits 1 and 2 say the
// OS saves the SSE and AVX register state.
namespace cpuid_bit {
constexpr unsigned leaf1_ecx_ssse3 = 1u << 9;
constexpr unsigned leaf1_ecx_sse41 = 1u << 19;
constexpr unsigned leaf1_ecx_osxsave = 1u << 27;
constexpr unsigned leaf1_ecx_avx = 1u << 28;
constexpr unsigned leaf7_ebx_bmi1 = 1u << 3;
constexpr unsigned leaf7_ebx_avx2 = 1u << 5;
constexpr unsigned leaf7_ebx_bmi2 = 1u << 8;
constexpr unsigned leaf7_ebx_avx512f = 1u << 16;
constexpr unsigned leaf7_ebx_sha = 1u << 29;
constexpr unsigned leaf7_ebx_avx512bw = 1u << 30;
constexpr unsigned leaf7_ebx_avx512vl = 1u << 31;
constexpr unsigned leaf7_ecx_avx512vbmi = 1u << 1;
constexpr unsigned leaf7_ecx_gfni = 1u << 8;
constexpr unsigned long long xcr0_sse_avx = 6;
// Opmask, upper halves of ZMM0-15, ZMM16-31.
constexpr unsigned long long xcr0_avx512 = 0xE0;
}  // namespace cpuid_bit

sha1_cpu_features sha1_read_cpu_features()
{
    sha1_cpu_features f = 0;
#if defined(TORVANIX_SHA1_X86)
    using namespace cpuid_bit;
    const auto has = [](unsigned reg, unsigned bits) { return (reg & bits) == bits; };
    const auto set = [&f](sha1_cpu::feature feature, bool present) {
        if (present) f |= feature;
    };
    const unsigned int max_leaf = cpuid(0, 0).eax;
    if (max_leaf >= 1) {
        const cpuid_regs l1 = cpuid(1, 0);
        set(sha1_cpu::ssse3, has(l1.ecx, leaf1_ecx_ssse3));
        if (max_leaf >= 7) {
            const cpuid_regs l7 = cpuid(7, 0);
            set(sha1_cpu::shani,
                has(l7.ebx, leaf7_ebx_sha) && has(l1.ecx, leaf1_ecx_ssse3 | leaf1_ecx_sse41));
            const bool ymm_saved = has(l1.ecx, leaf1_ecx_osxsave | leaf1_ecx_avx) &&
                                   (xgetbv0() & xcr0_sse_avx) == xcr0_sse_avx;
            set(sha1_cpu::avx2,
                ymm_saved && has(l7.ebx, leaf7_ebx_avx2 | leaf7_ebx_bmi1 | leaf7_ebx_bmi2));
            const bool zmm_saved = ymm_saved && (xgetbv0() & xcr0_avx512) == xcr0_avx512;
            set(sha1_cpu::avx512vl,
                zmm_saved &&
                    has(l7.ebx, leaf7_ebx_avx512f | leaf7_ebx_avx512bw | leaf7_ebx_avx512vl));
            set(sha1_cpu::avx512,
                zmm_saved &&
                    has(l7.ebx, leaf7_ebx_avx512f | leaf7_ebx_avx512bw | leaf7_ebx_avx512vl) &&
                    has(l7.ecx, leaf7_ecx_avx512vbmi));
            set(sha1_cpu::gfni, has(l7.ecx, leaf7_ecx_gfni));
        }
    }
#elif defined(TORVANIX_SHA1_ARM64)
#if defined(__APPLE__)
    f |= sha1_cpu::armv8_sha1;  // every Apple arm64 processor has the SHA-1 instructions
#elif defined(_WIN32)
    if (IsProcessorFeaturePresent(PF_ARM_V8_CRYPTO_INSTRUCTIONS_AVAILABLE) != 0) {
        f |= sha1_cpu::armv8_sha1;
    }
#elif defined(__linux__)
    if ((getauxval(AT_HWCAP) & HWCAP_SHA1) != 0) f |= sha1_cpu::armv8_sha1;
#endif
#endif
    return f;
}
