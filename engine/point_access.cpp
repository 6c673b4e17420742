#include "engine/point_access.h"

#include "engine/pass_result.h"
#include "host/services.h"

namespace ep {

void reportUnknownPoint() { showError(texts::kScanFailedTitle); }

int refuseOutOfRange() {
  showError(texts::kOutOfRangeTitle, texts::kOutOfRangeText);
  return kPassFailed;
}

}  // namespace ep
