#pragma once
// No exception ever leaves a Qt event handler: the outermost handler of each event reports the
// failure to standard error and to the log where it can, and the program keeps running.
#include <exception>

void reportEscapedError(const char* handler, const char* what);

template <typename F> void guarded(const char* handler, F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        reportEscapedError(handler, e.what());
    } catch (...) {
        reportEscapedError(handler, "unknown error");
    }
}
