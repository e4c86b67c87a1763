// Internal to the SHA-1 engine: the compiler- and CPU-specific spellings the
// transforms need (which processor family this build targets, the function
// attributes that enable instruction sets, forced inlining), kept in this
// one place.
#pragma once

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define TORVANIX_SHA1_X86 1
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
#define TORVANIX_SHA1_ARM64 1
#endif

// TORVANIX_HW_SHA1 is set by the build (default on); off leaves out the
// transforms that use dedicated SHA-1 instructions.
#if defined(TORVANIX_HW_SHA1) && defined(TORVANIX_SHA1_X86)
#define TORVANIX_SHA1_HAVE_SHANI 1
#endif
#if defined(TORVANIX_HW_SHA1) && defined(TORVANIX_SHA1_ARM64)
#define TORVANIX_SHA1_HAVE_ARMV8 1
#endif

// GCC and Clang compile intrinsics only inside functions that enable the
// instruction set; MSVC accepts them anywhere. The functions carrying these
// attributes are called only after the CPU has been checked.
#if defined(_MSC_VER) && !defined(__clang__)
#define TORVANIX_TARGET_SHANI
#define TORVANIX_TARGET_SSSE3
#define TORVANIX_TARGET_AVX2
#define TORVANIX_TARGET_AVX512
#define TORVANIX_TARGET_AVX512VL
#define TORVANIX_TARGET_SHANI_AVX512
#define TORVANIX_TARGET_SHANI_AVX2
#define TORVANIX_TARGET_AVX2_GFNI
#define TORVANIX_TARGET_SHANI_GFNI256
#define TORVANIX_ALWAYS_INLINE __forceinline
#define TORVANIX_NEVER_INLINE __declspec(noinline)
#define TORVANIX_FROM_MEMORY(table) _ReadWriteBarrier()
#define TORVANIX_OPAQUE(x) ((void)0)
#else
#define TORVANIX_TARGET_SHANI __attribute__((target("sha,sse4.1,ssse3")))
#define TORVANIX_TARGET_SSSE3 __attribute__((target("ssse3")))
#define TORVANIX_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2")))
#define TORVANIX_TARGET_SHANI_AVX2 __attribute__((target("sha,sse4.1,ssse3,avx2,bmi,bmi2")))
// GFNI in its VEX encoding on 256-bit registers, with AVX2 and BMI (no
// AVX-512); the SHA-extension form adds those.
#define TORVANIX_TARGET_AVX2_GFNI __attribute__((target("avx2,bmi,bmi2,gfni")))
#define TORVANIX_TARGET_SHANI_GFNI256 __attribute__((target("sha,sse4.1,ssse3,avx2,bmi,bmi2,gfni")))
// AVX-512 F, VL, BW, VBMI and GFNI, with AVX2 and BMI; the SHA-extension
// form adds those.
#define TORVANIX_TARGET_AVX512 \
    __attribute__((target("avx2,bmi,bmi2,avx512f,avx512vl,avx512bw,avx512vbmi,gfni")))
// AVX-512 F and VL alone (Skylake-SP and later), with AVX2 and BMI.
#define TORVANIX_TARGET_AVX512VL __attribute__((target("avx2,bmi,bmi2,avx512f,avx512vl")))
#define TORVANIX_TARGET_SHANI_AVX512                                       \
    __attribute__((                                                        \
        target("sha,sse4.1,ssse3,avx2,bmi,bmi2,avx512f,avx512vl,avx512bw," \
               "avx512vbmi,gfni")))
#define TORVANIX_ALWAYS_INLINE inline __attribute__((always_inline))
#define TORVANIX_NEVER_INLINE __attribute__((noinline))
// Makes the compiler read `table` from memory after this point instead of
// forwarding values it stored there from the vector registers they came
// from: a load costs one micro-op folded into an add, an extraction from a
// vector register two.
#define TORVANIX_FROM_MEMORY(table) __asm__ volatile("" : : "r"(table) : "memory")
// Hides how `x` was computed from the optimizer at this point, without
// emitting an instruction: the operations that produced it are not
// reassociated with the ones that use it, and a pointer's target is read
// instead of rebuilt as a constant the compiler knows. MSVC has no such
// barrier and gets the plain expression.
#define TORVANIX_OPAQUE(x) __asm__("" : "+r"(x))
#if defined(__aarch64__)
// Two 128-bit values and then two 32-bit values, all in vector registers,
// stored side by side from `to` on with two instructions, where GCC would
// schedule the four stores of values ready at different times apart.
#define TORVANIX_STORE_STATES(to, a0, a1, e0, e1)           \
    __asm__("stp %q1, %q2, [%0]\n\tstp %s3, %s4, [%0, #32]" \
            :                                               \
            : "r"(to), "w"(a0), "w"(a1), "w"(e0), "w"(e1)   \
            : "memory")
#endif
// GCC and Clang have generic vector types and give vector types, NEON's
// among them, the arithmetic and bitwise operators of their elements, which
// the vector forms of the collision check use; elsewhere those forms fall
// back to the plain one. Sixteen 32-bit words serve the AVX-512 forms.
#define TORVANIX_SHA1_HAVE_VECTOR_TYPES 1
#include <cstdint>
typedef std::uint32_t sha1_sixteen_words __attribute__((vector_size(64)));
#endif

// Whether every processor this build runs on has 128-bit vector registers
// (SSE2 on x86-64, NEON on aarch64), so that plain C++ on generic vector
// types compiles to vector instructions, not to their emulation in general
// registers (and passes no vector where the calling convention has none).
#if defined(TORVANIX_SHA1_HAVE_VECTOR_TYPES) && (defined(__SSE2__) || defined(__ARM_NEON))
#define TORVANIX_SHA1_BASELINE_VECTORS 1
#endif

// 32-bit x86 code has eight vector registers, 64-bit code sixteen (32 with
// AVX-512). With eight, the SHA-extension rounds need nearly all of them,
// and no form can hold the values the collision check keeps in registers
// beside them.
#if defined(__i386__) || defined(_M_IX86)
inline constexpr bool sha1_eight_vector_registers = true;
#else
inline constexpr bool sha1_eight_vector_registers = false;
#endif
