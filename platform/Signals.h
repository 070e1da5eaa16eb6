#pragma once
// Termination requests from outside (SIGTERM, SIGINT, SIGHUP) delivered on the event loop, so
// the program can close its main window through its normal unload. A second request while the
// first is being handled ends the process at once.
#include <functional>

namespace platform {

// Calls `onRequest` on the thread running the event loop at the first request. Call once,
// after the application object exists.
void installTerminationHandler(std::function<void()> onRequest);

} // namespace platform
