#include "PictureCache.h"

#include <filesystem>
#include <memory>

#include <QCoreApplication>
#include <QFile>
#include <QPromise>
#include <QStringList>
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
        // A larger picture of the same file resamples to this box as well as a decode would;
        // while resizing, a smaller one stands in until refine().
        for (const Entry& e : std::as_const(m_entries)) {
            const bool larger = covers(e.picture, box);
            if (e.stamp != stamp || (!larger && resizing == Resizing::No))
                continue;
            Entry made{stamp, box, fitToBox(e.picture, box), !larger, false};
            insert(made);
            return made.picture;
        }
    }

    if (beforeDecodingHere)
        beforeDecodingHere();
    Q_EMIT decodeStarted(path, box, false);
    const QImage found = decodeForBox(path, box).image;
    if (stamp.isValid())
        insert({stamp, box, found, false, false});
    return found;
}

void PictureCache::readAhead(const QString& path, QSize box, bool guess) {
    if (m_workers == 0 || jobFor(path, box))
        return;
    const FileStamp stamp = FileStamp::of(path);
    if (stamp.isValid() && find(stamp, box))
        return;
    start(path, box, guess, false);
}

void PictureCache::refine(const QString& path, QSize box) {
    const FileStamp stamp = FileStamp::of(path);
    const Entry* held = stamp.isValid() ? find(stamp, box) : nullptr;
    if (held && held->coarse && !jobFor(path, box))
        start(path, box, false, true);
}

void PictureCache::start(const QString& path, QSize box, bool guess, bool refining) {
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] { finished(watcher); });
    m_jobs.append({path, box, guess, refining, watcher});
    Q_EMIT decodeStarted(path, box, true);
    // Before the application object exists its making must not race Qt's search for the
    // file's reader on the worker: the file is opened here then.
    std::shared_ptr<PictureReader> opened;
    if (!QCoreApplication::instance()) {
        try {
            opened = std::make_shared<PictureReader>(path);
        } catch (...) {
            // The worker meets the same failure and holds nothing.
        }
    }
    // The worker reads the file and makes the picture; nothing else.
    watcher->setFuture(QtConcurrent::run(&m_pool, [path, box, opened](QPromise<Result>& promise) {
        try {
            Result result;
            result.stamp = FileStamp::of(path);
            if (!result.stamp.isValid() || promise.isCanceled())
                return;
            result.picture = (opened ? opened->read(box) : decodeForBox(path, box)).image;
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
        insert({result.stamp, done.box, result.picture, false, done.guess});
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
        if (job.path == path && job.guess && covers(job.box, box))
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
    // One picture a file: a file's other sizes belong to layouts that are gone. Start-up's
    // guess stays while the window settles on its size.
    m_entries.removeIf([&](const Entry& e) {
        return e.stamp.path == entry.stamp.path && !(e.guess && e.stamp == entry.stamp);
    });
    m_entries.prepend(std::move(entry));
    while (m_entries.size() > capacity())
        m_entries.removeLast();
}

void PictureCache::retain(const QStringList& paths) {
    // Start-up's guess has served its purpose once the window reads ahead.
    m_entries.removeIf([&](const Entry& e) { return e.guess || !paths.contains(e.stamp.path); });
    // A decode for a slide no longer wanted would take the place of one that is.
    for (qsizetype i = m_jobs.size() - 1; i >= 0; --i)
        if (!paths.contains(m_jobs[i].path))
            callOff(i);
}

void PictureCache::keepOnly(const QString& path) {
    cancel();
    retain({path});
}

void PictureCache::callOff(qsizetype index) {
    const Job job = m_jobs.takeAt(index);
    job.watcher->disconnect(this);
    job.watcher->future().cancel();
    job.watcher->deleteLater();
    Q_EMIT readAheadDone(job.path, job.box, false);
}

void PictureCache::cancel() {
    while (!m_jobs.isEmpty())
        callOff(m_jobs.size() - 1);
}

void PictureCache::clear() {
    cancel();
    m_entries.clear();
}

} // namespace display
