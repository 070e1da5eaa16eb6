#pragma once
// Code page 932 (Shift-JIS with the Windows extensions): the encoding of the profile files and
// logs.
#include <QByteArray>
#include <QString>

namespace platform {

// Characters that code page 932 cannot represent become their look-alike from Windows' best-fit
// table, or "?" where it has none, as the Windows conversion writes them.
QByteArray toCp932(const QString& text);
QString fromCp932(const QByteArray& bytes);

} // namespace platform
