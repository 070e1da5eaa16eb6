#include "mdlComCtrlString.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "Error.h"

namespace {

// Basic's Trim removes spaces only; tabs and other white space stay part of the text.
qint32 spaceTrimmedLength(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return qint32(last - first);
}

// Steps shared by both length routines: up to the first NUL, cut at a CR or LF before it
// unless that one stands in the first position. -1 when there is no NUL.
qint32 lengthBeforeNul(const QString& text) {
    qint32 a = qint32(text.indexOf(QChar(u'\0')));
    const qint32 c = qint32(text.indexOf(QChar(u'\r')));
    if (c > 0 && a > c)
        a = c;
    const qint32 l = qint32(text.indexOf(QChar(u'\n')));
    if (l > 0 && a > l)
        a = l;
    return a;
}

// Search positions are 16-bit numbers: a hit beyond them is an overflow, not a wrong answer.
qint16 toPosition(qsizetype position) {
    if (position > std::numeric_limits<qint16>::max())
        throw platform::RuntimeError(
            QStringLiteral("separator position %1 does not fit a 16-bit integer").arg(position));
    return qint16(position);
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}
bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

[[noreturn]] void notANumber(const QString& text) {
    throw platform::RuntimeError(QStringLiteral("\"%1\" is not a number").arg(text));
}

[[noreturn]] void overflow(const QString& text) {
    throw platform::RuntimeError(QStringLiteral("\"%1\" does not fit a 32-bit integer").arg(text));
}

} // namespace

qint32 fnGetAnsiStrLen(const QString& hsBuffer) {
    qint32 n = lengthBeforeNul(hsBuffer);
    if (n < 0)
        n = qint32(hsBuffer.indexOf(QChar(u' ')));
    if (n < 0)
        n = spaceTrimmedLength(hsBuffer);
    return n;
}

qint32 fnGetStrLen(const QString& hsText) {
    const qint32 n = lengthBeforeNul(hsText);
    return n < 0 ? spaceTrimmedLength(hsText) : n;
}

qint32 fnGetSepPos(const QString& hsText, qint16 hnNo, const QString& hsSep) {
    if (hnNo < 1)
        return 0;
    qint16 nPos = 0;
    for (qint16 i = 1; i <= hnNo; ++i) {
        // Each search starts one position after the previous hit, even for a longer separator.
        const qsizetype hit = hsText.indexOf(hsSep, nPos);
        if (hit < 0)
            return qint32(hsText.size()) + 1;
        nPos = toPosition(hit + 1);
        if (i == std::numeric_limits<qint16>::max())
            break;
    }
    return nPos;
}

QString fsGetField(const QString& hsText, qint16 hnNo, const QString& hsSep) {
    static const QString kError = QStringLiteral("ERROR.");
    if (hnNo <= 0)
        return kError;
    if (hnNo == 1)
        return hsText.left(fnGetSepPos(hsText, 1, hsSep) - 1);
    const qint32 start = fnGetSepPos(hsText, qint16(hnNo - 1), hsSep) + 1;
    const qint32 length = fnGetSepPos(hsText, hnNo, hsSep) - start;
    if (length < 0)
        return kError;
    return hsText.mid(start - 1, length);
}

QString fsGetSuffix(const QString& hsName) {
    const QString dot = QStringLiteral(".");
    QString suffix;
    for (qint16 i = 1;; ++i) {
        const QString field = fsGetField(hsName, i, dot);
        if (field == QStringLiteral("ERROR."))
            return suffix;
        suffix = field;
        if (i == std::numeric_limits<qint16>::max())
            throw platform::RuntimeError(QStringLiteral("too many fields in \"%1\"").arg(hsName));
    }
}

qint32 toLong(const QString& text) {
    qsizetype i = 0, end = text.size();
    while (i < end && isBlank(text[i]))
        ++i;
    while (end > i && isBlank(text[end - 1]))
        --end;

    bool negative = false;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    // The number is kept as its decimal digits and the place of the point, so that halves are
    // recognised exactly (a double would turn 3.4999999999999999999 into 3.5).
    QByteArray digits;
    qint64 point = 0; // digits before the decimal point
    while (i < end && isDigit(text[i])) {
        digits.append(char(text[i].unicode()));
        ++point;
        ++i;
    }
    if (i < end && text[i] == u'.') {
        ++i;
        while (i < end && isDigit(text[i]))
            digits.append(char(text[i++].unicode()));
    }
    if (digits.isEmpty())
        notANumber(text);

    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i == end || !isDigit(text[i]))
            notANumber(text);
        qint64 exponent = 0;
        constexpr qint64 kExponentCap = 1'000'000'000; // far beyond any 32-bit value
        while (i < end && isDigit(text[i])) {
            exponent = qMin(kExponentCap, exponent * 10 + (text[i].unicode() - u'0'));
            ++i;
        }
        point += negativeExponent ? -exponent : exponent;
    }
    if (i != end)
        notANumber(text);

    qsizetype zeros = 0;
    while (zeros < digits.size() && digits[zeros] == '0')
        ++zeros;
    digits.remove(0, zeros);
    point -= zeros;
    if (digits.isEmpty())
        return 0;
    if (point > 10) // at least 10^10
        overflow(text);

    qint64 whole = 0;
    for (qint64 k = 0; k < point; ++k)
        whole = whole * 10 + (k < digits.size() ? digits[k] - '0' : 0);

    if (point >= 0 && point < digits.size()) {
        const int first = digits[point] - '0';
        bool moreThanHalf = first > 5;
        if (first == 5) {
            for (qsizetype k = point + 1; k < digits.size() && !moreThanHalf; ++k)
                moreThanHalf = digits[k] != '0';
        }
        if (moreThanHalf || (first == 5 && whole % 2 == 1))
            ++whole;
    }

    if (negative)
        whole = -whole;
    if (whole < std::numeric_limits<qint32>::min() || whole > std::numeric_limits<qint32>::max())
        overflow(text);
    return qint32(whole);
}

QString formatSingle(float value) {
    if (value == 0.0f)
        return QStringLiteral("0"); // also for -0
    if (!std::isfinite(value))
        return QString::number(value);

    // Seven significant digits, rounded from the exact binary value; independent of the locale.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, double(std::fabs(value)),
                                      std::chars_format::scientific, 6);
    const std::string_view text(buffer, result.ptr - buffer); // d.dddddde±xx
    std::string digits;
    digits += text[0];
    digits += text.substr(2, 6);
    const int exponent = std::stoi(std::string(text.substr(text.find('e') + 1)));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    QString out = value < 0 ? QStringLiteral("-") : QString();
    const QString d = QString::fromLatin1(digits.data(), qsizetype(digits.size()));
    if (exponent < -4 || exponent >= 7) {
        // Very large and very small values in Basic's E notation: 1.234568E+07, 1E-05.
        out += d.left(1);
        if (d.size() > 1)
            out += u'.' + d.mid(1);
        out += (exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+")) +
               QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QChar(u'0'));
    } else if (exponent >= 0) {
        out += d.left(exponent + 1).leftJustified(exponent + 1, u'0');
        if (d.size() > exponent + 1)
            out += u'.' + d.mid(exponent + 1);
    } else {
        out += QStringLiteral("0.") + QString(-exponent - 1, u'0') + d;
    }
    return out;
}

qint32 roundHalfEven(double value) {
    return qint32(std::nearbyint(value)); // the default rounding mode: halves to even
}
