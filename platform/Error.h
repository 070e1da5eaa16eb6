#pragma once
// The program's run-time error: what the design calls an error that "goes to the caller".
#include <stdexcept>
#include <string>

#include <QString>

namespace platform {

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(const QString& what) : std::runtime_error(what.toStdString()) {}
    explicit RuntimeError(const char* what) : std::runtime_error(what) {}
};

} // namespace platform
