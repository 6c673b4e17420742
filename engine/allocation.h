// Every heap allocation the module makes goes through here, so that a test can
// make the k-th one fail and watch the module cope.
#pragma once

#include <cstddef>

namespace ep {

// calloc-style: count elements of size bytes, zero-filled. nullptr on failure.
void *allocateZeroed(std::size_t count, std::size_t size);

// malloc-style, contents unset. nullptr on failure (or on a size overflow).
void *allocateRaw(std::size_t count, std::size_t size);

// free(); nullptr is fine.
void release(void *block);

namespace testing {
// Makes the k-th allocation from now fail (1 = the next one); 0 turns the
// fault off. Counts allocations of both kinds.
void failAllocationNumber(unsigned k);
// Allocations made since the last failAllocationNumber call.
unsigned allocationsSinceArmed();
// Bytes those allocations asked for (the ones that succeeded).
std::size_t bytesSinceArmed();
// From now on every allocateRaw block comes filled with `byte`, as a heap may
// leave it; a negative value leaves blocks as the heap gives them.
void fillRawAllocationsWith(int byte);
// Blocks allocated and not yet released, by anyone, since the module loaded:
// equal before an instance is activated and after its done when nothing
// leaked.
std::size_t liveBlocks();
}  // namespace testing

}  // namespace ep
