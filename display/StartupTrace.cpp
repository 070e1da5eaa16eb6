#include "StartupTrace.h"

#include <chrono>

namespace display {

Q_LOGGING_CATEGORY(lcStartup, "pixelion.startup", QtWarningMsg)

namespace {
const std::chrono::steady_clock::time_point gProcessStart = std::chrono::steady_clock::now();
}

double msSinceProcessStart() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                     gProcessStart)
        .count();
}

} // namespace display
