#include "PictureCache.h"

#include <filesystem>

#include <QFile>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include "PictureLoader.h"

namespace display {

namespace {

bool covers(const QImage& image, QSize box) {
    const QSize wanted = box.expandedTo(QSize(1, 1));
    return !image.isNull() && image.width() >= wanted.width() && image.height() >= wanted.height();
}

bool covers(QSize larger, QSize box) {
    return larger.width() >= box.width() && larger.height() >= box.height();
}

} // namespace

FileStamp FileStamp::of(const QString& path) {
#ifdef _WIN32
    const std::filesystem::path native(path.toStdWString());
#else
    const std::filesystem::path native(QFile::encodeName(path).toStdString());
#endif
    std::error_code error;
    const auto size = std::filesystem::file_size(native, error);
    if (error)
        return {};
    const auto modified = std::filesystem::last_write_time(native, error);
    if (error)
        return {};
    return {path, qint64(size), qint64(modified.time_since_epoch().count())};
}

PictureCache::PictureCache(int workers, QObject* parent)
    : QObject(parent), m_workers(qMax(0, workers)) {
    // A refinement after a resize needs a worker even when nothing is read ahead.
    m_pool.setMaxThreadCount(qMax(1, m_workers));
}

PictureCache::~PictureCache() {
    cancel();
    m_pool.waitForDone();
}

QImage PictureCache::picture(const QString& path, QSize box, Resizing resizing,
                             const std::function<void()>& beforeDecodingHere) {
    // Taken before anything is read: a file changed after this shows anew next time.
    const FileStamp stamp = FileStamp::of(path);
    if (stamp.isValid()) {
        if (Entry* held = find(stamp, box)) {
            const QImage found = held->picture;
            m_entries.move(held - m_entries.data(), 0); // the most recently used first
            return found;
        }
        // Its decode under way, or the start-up decode whose picture covers this box.
        const Job* job = jobFor(path, box);
        if (!job)
            job = coveringJob(path, box);
        if (job) {
            QFutureWatcher<Result>* const watcher = job->watcher;
            watcher->waitForFinished();
            finished(watcher);
            if (Entry* held = find(stamp, box))
                return held->picture;
        }
        // A larger picture of the same file resamples to this box as well as a decode would.
        for (const Entry& e : std::as_const(m_entries)) {
            if (e.stamp != stamp)
                continue;
            const QImage& source = covers(e.decoded, box)   ? e.decoded
                                   : covers(e.picture, box) ? e.picture
                                                            : QImage();
            const QImage& largest = e.decoded.width() > e.picture.width() ? e.decoded : e.picture;
            if (source.isNull() && resizing == Resizing::No)
                continue;
            Entry made{stamp, box, fitToBox(source.isNull() ? largest : source, box), e.decoded,
                       source.isNull()};
            insert(made);
            return made.picture;
        }
    }

    if (beforeDecodingHere)
        beforeDecodingHere();
    Q_EMIT decodeStarted(path, box, false);
    DecodedPicture decoded = decodeForBox(path, box);
    QImage found = fitToBox(decoded.image, box);
    if (stamp.isValid())
        insert({stamp, box, found, decoded.image, false});
    return found;
}

void PictureCache::readAhead(const QString& path, QSize box, bool keepDecoded) {
    if (m_workers == 0 || jobFor(path, box))
        return;
    const FileStamp stamp = FileStamp::of(path);
    if (stamp.isValid() && find(stamp, box))
        return;
    start(path, box, keepDecoded, false);
}

void PictureCache::refine(const QString& path, QSize box) {
    const FileStamp stamp = FileStamp::of(path);
    const Entry* held = stamp.isValid() ? find(stamp, box) : nullptr;
    if (held && held->coarse && !jobFor(path, box))
        start(path, box, true, true);
}

void PictureCache::start(const QString& path, QSize box, bool keepDecoded, bool refining) {
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] { finished(watcher); });
    m_jobs.append({path, box, keepDecoded, refining, watcher});
    Q_EMIT decodeStarted(path, box, true);
    // The worker reads the file and makes the picture; nothing else.
    watcher->setFuture(
        QtConcurrent::run(&m_pool, [path, box, keepDecoded](QPromise<Result>& promise) {
            try {
                Result result;
                result.stamp = FileStamp::of(path);
                if (!result.stamp.isValid() || promise.isCanceled())
                    return;
                DecodedPicture decoded = decodeForBox(path, box);
                if (promise.isCanceled())
                    return;
                result.picture = fitToBox(decoded.image, box);
                if (keepDecoded)
                    result.decoded = decoded.image;
                promise.addResult(std::move(result));
            } catch (...) {
                // Not held: the same failure shows when the slide is displayed.
            }
        }));
}

void PictureCache::finished(QFutureWatcher<Result>* watcher) {
    const auto job = std::find_if(m_jobs.begin(), m_jobs.end(),
                                  [watcher](const Job& j) { return j.watcher == watcher; });
    if (job == m_jobs.end())
        return; // already taken by picture(), or called off
    const Job done = *job;
    m_jobs.erase(job);
    watcher->disconnect(this);
    watcher->deleteLater();
    const QFuture<Result> future = watcher->future();
    const bool held = !future.isCanceled() && future.resultCount() > 0;
    if (held) {
        const Result result = future.result();
        insert({result.stamp, done.box, result.picture, result.decoded, false});
        if (done.refining)
            Q_EMIT pictureRefined(done.path, done.box, result.picture);
    }
    Q_EMIT readAheadDone(done.path, done.box, held);
}

const PictureCache::Job* PictureCache::jobFor(const QString& path, QSize box) const {
    for (const Job& job : m_jobs)
        if (job.path == path && job.box == box)
            return &job;
    return nullptr;
}

const PictureCache::Job* PictureCache::coveringJob(const QString& path, QSize box) const {
    for (const Job& job : m_jobs)
        if (job.path == path && job.keepDecoded && covers(job.box, box))
            return &job;
    return nullptr;
}

PictureCache::Entry* PictureCache::find(const FileStamp& stamp, QSize box) {
    for (Entry& e : m_entries)
        if (e.stamp == stamp && e.box == box)
            return &e;
    return nullptr;
}

void PictureCache::insert(Entry entry) {
    // One picture a file: a file's other sizes belong to layouts that are gone. What it was
    // decoded from stays with it, and only the newest such picture is kept.
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i) {
        if (m_entries[i].stamp.path == entry.stamp.path) {
            if (entry.decoded.isNull() && m_entries[i].stamp == entry.stamp)
                entry.decoded = m_entries[i].decoded;
            m_entries.removeAt(i);
        }
    }
    if (!entry.decoded.isNull())
        for (Entry& e : m_entries)
            e.decoded = QImage();
    m_entries.prepend(std::move(entry));
    while (m_entries.size() > capacity())
        m_entries.removeLast();
}

void PictureCache::keepOnly(const QString& path) {
    cancel();
    m_entries.removeIf([&](const Entry& e) { return e.stamp.path != path; });
}

void PictureCache::cancel() {
    for (const Job& job : std::as_const(m_jobs)) {
        job.watcher->disconnect(this);
        job.watcher->future().cancel();
        job.watcher->deleteLater();
        Q_EMIT readAheadDone(job.path, job.box, false);
    }
    m_jobs.clear();
}

void PictureCache::clear() {
    cancel();
    m_entries.clear();
}

} // namespace display
