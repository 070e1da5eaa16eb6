#include "DirSearch.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace platform {

bool wildcardMatch(const QString& pattern, const QString& name) {
    // Iterative matcher with one backtrack point: linear in practice, no recursion blow-up.
    const QString p = pattern.toUpper();
    const QString n = name.toUpper();
    qsizetype pi = 0, ni = 0, star = -1, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            mark = ni;
        } else if (star >= 0) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

static bool isHidden(const QFileInfo& info) {
#ifdef _WIN32
    return info.isHidden();
#else
    return info.fileName().startsWith(u'.');
#endif
}

QStringList findFiles(const QString& pattern, int attributes) {
    const QString path = QDir::fromNativeSeparators(pattern);
    const qsizetype cut = path.lastIndexOf(u'/');
    const QString folder =
        cut < 0 ? QStringLiteral(".") : (cut == 0 ? QStringLiteral("/") : path.left(cut));
    const QString namePattern = path.mid(cut + 1);
    if (namePattern.isEmpty())
        return {};

    QDir dir(QDir::cleanPath(folder)); // a doubled separator counts as one
    const QFileInfoList entries = dir.entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QStringList names;
    for (const QFileInfo& info : entries) {
        if (!info.isFile()) // folders, devices, pipes, sockets, broken links
            continue;
        if (isHidden(info) && !(attributes & kAttrHidden))
            continue;
        if (wildcardMatch(namePattern, info.fileName()))
            names << info.fileName();
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const QString ua = a.toUpper(), ub = b.toUpper();
        return ua == ub ? a < b : ua < ub;
    });
    return names;
}

bool isFoundAsPlainFile(const QString& path) {
    const QFileInfo info(path);
#ifdef _WIN32
    // The search takes the path as a pattern; only the file itself may answer for it.
    return findFiles(path, kAttrNormal).contains(info.fileName(), Qt::CaseInsensitive);
#else
    return info.isFile();
#endif
}

} // namespace platform
