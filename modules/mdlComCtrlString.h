#pragma once
// String routines shared by the modules and forms.
#include <QString>

// Length of the text a system call left in a fixed buffer: up to the first NUL (shortened by
// a CR or LF before it, unless in the first position); without a NUL, up to the first space,
// or else the trimmed length.
qint32 fnGetAnsiStrLen(const QString& hsBuffer);

// Effective length of a path: like fnGetAnsiStrLen, but without a NUL the trimmed length.
qint32 fnGetStrLen(const QString& hsText);

// Position (from 1) of the n-th separator; length + 1 when there are fewer; 0 when n < 1.
qint32 fnGetSepPos(const QString& hsText, qint16 hnNo, const QString& hsSep);

// The n-th field (from 1) of the text split at the separator, or "ERROR." when there is none.
QString fsGetField(const QString& hsText, qint16 hnNo, const QString& hsSep);

// The text after the last "."; the whole name when it has none.
QString fsGetSuffix(const QString& hsName);

// The one text-to-number conversion of the program (a Basic CLng): spaces around it and a sign
// allowed, a fraction rounded half to even; empty, not a number or outside 32 bits throws
// platform::RuntimeError.
qint32 toLong(const QString& text);

// To the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
qint32 roundHalfEven(double value);

// A single-precision number in its shortest decimal form, as the log writes it (5000, 1203.5).
QString formatSingle(float value);
