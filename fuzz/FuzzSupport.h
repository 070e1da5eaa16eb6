#pragma once
// Shared by the fuzz targets: one scratch folder per process and the property check.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Every input reuses the same few files in this folder, so a long run never fills the disk.
// It is removed when the process ends normally; run.sh points TMPDIR at its work folder so a
// crashed run leaves nothing elsewhere.
inline const QTemporaryDir& scratch() {
    static const QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "cannot create a scratch folder: %s\n", qPrintable(dir.errorString()));
        abort();
    }
    return dir;
}

inline QString scratchPath(const QString& name) {
    return scratch().filePath(name);
}

// Replaces the content in place (truncate and write), so hard links to the file see it too.
inline void overwrite(const QString& path, const uint8_t* data, size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        abort();
    }
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

[[noreturn]] inline void fail(const char* condition, const char* file, int line,
                              const QString& detail) {
    fprintf(stderr, "%s:%d: property does not hold: %s\n  %s\n", file, line, condition,
            qUtf8Printable(detail));
    abort(); // libFuzzer saves the input that got here
}

} // namespace fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzz::fail(#condition, __FILE__, __LINE__, (detail));                                  \
    } while (false)
