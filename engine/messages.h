// Error and warning boxes through the host's message service.
#pragma once

#include "engine/texts.h"

namespace ep {

void showError(const char *title, const char *text = texts::kUnknown);
void showWarning(const char *title, const char *text);

}  // namespace ep
