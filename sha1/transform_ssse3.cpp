// The vector-schedule transform for x86 processors with SSSE3.
#include "platform.h"

#if defined(TORVANIX_SHA1_HAVE_SSSE3)
#define SHA1_VECTOR_TARGET TORVANIX_TARGET_SSSE3
#define SHA1_VECTOR_NAME sha1_transform_ssse3
#include "transform_vector.inc"
#endif
