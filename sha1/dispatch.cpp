// Chooses the block transform this process uses.
#include "transform.h"

void sha1_process_blocks(std::uint32_t state[5], const std::uint8_t* data, std::size_t blocks)
{
    sha1_transform_portable(state, data, blocks);
}
