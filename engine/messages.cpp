#include "engine/messages.h"

#include "host/services.h"

namespace ep {

// The message service is present whenever a build runs: activation fails
// without it.
void showError(const char *title, const char *text) { messageService->error(title, text); }

void showWarning(const char *title, const char *text) { messageService->warning(title, text); }

}  // namespace ep
