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
// AVX-512 F, VL and BW alone (Skylake-SP and later), with AVX2 and BMI.
#define TORVANIX_TARGET_AVX512VL \
    __attribute__((target("avx2,bmi,bmi2,avx512f,avx512vl,avx512bw")))
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
// Stores of values in vector registers (128-bit ones, a pair of them, or a
// pair of 32-bit ones) at a constant offset from `base`. As volatile asm
// they stay where they stand among the rounds instead of being scheduled
// after them, so the rounds overwrite the registers they read without
// copying them first, and a pair goes out in one instruction where GCC
// would store its two values apart.
#define TORVANIX_STORE_Q(base, offset, a) \
    __asm__ volatile("str %q1, [%0, %2]" : : "r"(base), "w"(a), "n"(offset) : "memory")
#define TORVANIX_STORE_Q_PAIR(base, offset, a, b)                                        \
    __asm__ volatile("stp %q1, %q2, [%0, %3]" : : "r"(base), "w"(a), "w"(b), "n"(offset) \
                     : "memory")
#define TORVANIX_STORE_S_PAIR(base, offset, a, b)                                        \
    __asm__ volatile("stp %s1, %s2, [%0, %3]" : : "r"(base), "w"(a), "w"(b), "n"(offset) \
                     : "memory")
// Makes the compiler take pointer `p` as changed at this point of the code.
// Stepped past each of a run of loads, it stays one register that the loads
// step on as they go (post-indexed), where the compiler would keep an
// address register for each load or compute each address anew.
#define TORVANIX_STEPPED(p) __asm__ volatile("" : "+r"(p))
// Makes the compiler take the eight vectors v[0..7] as changed at this point
// of the code, with memory: what makes them runs before it and what reads
// them after it, and no load moves above it. It keeps the compiler from
// loading everything at once and then running out of registers.
#define TORVANIX_SEQUENCE_8(v)                                                          \
    __asm__ volatile(""                                                                \
                     : "+w"(v[0]), "+w"(v[1]), "+w"(v[2]), "+w"(v[3]), "+w"(v[4]), "+w"(v[5]), \
                       "+w"(v[6]), "+w"(v[7])                                             \
                     :                                                                 \
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

#if !defined(TORVANIX_STEPPED)
#define TORVANIX_STEPPED(p) ((void)0)
#define TORVANIX_SEQUENCE_8(v) ((void)0)
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
