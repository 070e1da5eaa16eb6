#include "EventGuard.h"

#include <cstdio>

#include "mdlComDebug.h"

void reportEscapedError(const char* handler, const char* what) {
    std::fprintf(stderr, "pixelion: %s: %s\n", handler, what);
    try {
        gDebugLog(
            1,
            QStringLiteral("[ERR] %1() %2").arg(QLatin1String(handler), QString::fromUtf8(what)));
    } catch (...) {
        // The log itself failed; standard error already has it.
    }
}
