#include "engine/allocation.h"

#include <cstdint>
#include <cstdlib>

namespace ep {
namespace {

unsigned failAt = 0;  // 0: never fail
unsigned madeSinceArmed = 0;

bool shouldFail() {
  ++madeSinceArmed;
  if (failAt != 0 && madeSinceArmed == failAt) {
    failAt = 0;
    return true;
  }
  return false;
}

bool overflows(std::size_t count, std::size_t size) {
  return size != 0 && count > SIZE_MAX / size;
}

}  // namespace

void *allocateZeroed(std::size_t count, std::size_t size) {
  if (shouldFail()) return nullptr;
  return std::calloc(count, size);
}

void *allocateRaw(std::size_t count, std::size_t size) {
  if (shouldFail() || overflows(count, size)) return nullptr;
  return std::malloc(count * size);
}

void release(void *block) { std::free(block); }

namespace testing {
void failAllocationNumber(unsigned k) {
  failAt = k;
  madeSinceArmed = 0;
}
unsigned allocationsSinceArmed() { return madeSinceArmed; }
}  // namespace testing

}  // namespace ep
