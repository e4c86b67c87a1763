// Helpers the tests and the benchmarks share, in the library
// torvanix_sha1_testing, which the program does not link.
#pragma once

#include <cstdint>
#include <vector>

#include "sha1/transform.h"

namespace sha1_testing {

// The transforms of this build that this processor runs, fastest first.
std::vector<sha1_transform_entry> usable_transforms();

// Flips bits of W so that it meets the conditions of disturbance vector `v`
// (an index into sha1_disturbance_vectors); other vectors pass by chance.
void meet_conditions(int v, std::uint32_t (&W)[80]);

}  // namespace sha1_testing
