#include "tests/support/sha1_testing.h"

#include "sha1/collision/disturbance_vectors.h"
#include "sha1/cpu_features.h"

namespace sha1_testing {

std::vector<sha1_transform_entry> usable_transforms()
{
    const sha1_cpu_features cpu = sha1_read_cpu_features();
    const sha1_transform_table table = sha1_transforms();
    std::vector<sha1_transform_entry> usable;
    for (int i = 0; i < table.count; ++i) {
        if (sha1_cpu_has(cpu, table.entries[i].needs)) usable.push_back(table.entries[i]);
    }
    return usable;
}

void meet_conditions(int v, std::uint32_t (&W)[80])
{
    const sha1_disturbance_vector& dv = sha1_disturbance_vectors[v];
    // For each condition in turn, a bit no earlier one has read, if there is one.
    std::uint32_t fixed[80] = {};
    for (int n = 0; n < dv.condition_count; ++n) {
        const sha1_dv_condition& c = sha1_dv_conditions[dv.first_condition + n];
        const std::uint32_t wrong = (((W[c.a] >> c.i) ^ (W[c.b] >> c.j)) & 1) ^ c.v;
        if ((fixed[c.b] >> c.j & 1) == 0) {
            W[c.b] ^= wrong << c.j;
        } else {
            W[c.a] ^= wrong << c.i;
        }
        fixed[c.a] |= std::uint32_t{1} << c.i;
        fixed[c.b] |= std::uint32_t{1} << c.j;
    }
}

}  // namespace sha1_testing
