// The vector-schedule transform for x86 processors with AVX2, BMI1 and BMI2.
#include "platform.h"

#if defined(TORVANIX_SHA1_HAVE_AVX2)
#define SHA1_VECTOR_TARGET TORVANIX_TARGET_AVX2
#define SHA1_VECTOR_NAME sha1_transform_avx2
#include "transform_vector.inc"
#endif
