#include "engine/allocation.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ep {
namespace {

unsigned failAt = 0;  // 0: never fail
unsigned madeSinceArmed = 0;
std::size_t bytesMadeSinceArmed = 0;
int rawFill = -1;                // a test's byte for unfilled blocks, or none
std::size_t liveBlockCount = 0;  // blocks given and not yet released

bool shouldFail() {
  ++madeSinceArmed;
  if (failAt != 0 && madeSinceArmed == failAt) {
    failAt = 0;
    return true;
  }
  return false;
}

bool overflows(std::size_t count, std::size_t size) { return size != 0 && count > SIZE_MAX / size; }

// Counts a block that was given, and its bytes.
void *counted(void *block, std::size_t count, std::size_t size) {
  if (block != nullptr) {
    bytesMadeSinceArmed += count * size;
    ++liveBlockCount;
  }
  return block;
}

}  // namespace

void *allocateZeroed(std::size_t count, std::size_t size) {
  if (shouldFail()) return nullptr;
  return counted(std::calloc(count, size), count, size);
}

void *allocateRaw(std::size_t count, std::size_t size) {
  if (shouldFail() || overflows(count, size)) return nullptr;
  void *block = counted(std::malloc(count * size), count, size);
  if (block != nullptr && rawFill >= 0) std::memset(block, rawFill, count * size);
  return block;
}

void release(void *block) {
  if (block != nullptr) --liveBlockCount;
  std::free(block);
}

namespace testing {
void failAllocationNumber(unsigned k) {
  failAt = k;
  madeSinceArmed = 0;
  bytesMadeSinceArmed = 0;
}
unsigned allocationsSinceArmed() { return madeSinceArmed; }
std::size_t bytesSinceArmed() { return bytesMadeSinceArmed; }
void fillRawAllocationsWith(int byte) { rawFill = byte; }
std::size_t liveBlocks() { return liveBlockCount; }
}  // namespace testing

}  // namespace ep
