#include "PictureCache.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include "Error.h"
#include "PictureLoader.h"

namespace platform {

namespace {

qint64 steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// True when `decoded`, a picture at libjpeg's scale, is at least as large as `size`: averaging
// it down gives that size at full quality, for a fraction of a new decode.
bool decodedServes(const QImage& decoded, QSize size) {
    const QSize target = size.expandedTo(QSize(1, 1));
    return !decoded.isNull() && decoded.width() >= target.width() &&
           decoded.height() >= target.height();
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

struct PictureCache::Job {
    QString path;
    std::function<QSize()> measure;
    bool guessed = false;
    quint64 generation = 0;
    std::atomic<bool> cancel{false};

    enum class State { Queued, Running, Finished };
    std::mutex mutex; // everything below
    std::condition_variable finished;
    State state = State::Queued;
    QSize size;   // known once measured
    QSize wanted; // guessed size only: the size the display is now known to ask for
    FileStamp stamp;
    QImage picture;
    QImage decoded; // guessed size only
    bool ok = false;
    qint64 startedNs = 0, finishedNs = 0;
};

PictureCache& PictureCache::instance() {
    // Never deleted: a worker that is still finishing when the process ends must find it.
    static PictureCache* const cache = [] {
        auto* c = new PictureCache;
        qAddPostRoutine([] { instance().shutdown(); });
        return c;
    }();
    return *cache;
}

PictureCache::PictureCache() {
    // Two pictures decoding side by side keep up with the shortest interval on two cores; more
    // would only take the processor from the window.
    m_pool.setMaxThreadCount(qBound(1, QThread::idealThreadCount(), 2));
}

void PictureCache::setEnabled(bool on) {
    if (!on)
        clear();
    m_enabled = on;
}

QImage PictureCache::picture(const QString& path, const QSize& size,
                             const std::function<void()>& beforeDecodingHere) {
    if (!m_enabled)
        return loadPicture(path, size);
    harvest();
    // Taken before anything is read: a file changed after this shows anew next time.
    const FileStamp stamp = FileStamp::of(path);
    const auto lookUp = [&](QImage& found) {
        if (!stamp.isValid())
            return false;
        QMutexLocker lock(&m_mutex);
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            Entry& e = m_entries[i];
            if (e.stamp != stamp)
                continue;
            if (e.size == size) {
                found = e.picture;
                m_entries.move(i, 0);
                return true;
            }
            if (decodedServes(e.decoded, size)) {
                // From the smaller of the two where it is still twice the size asked for.
                const bool twice = e.picture.width() >= 2 * size.width() &&
                                   e.picture.height() >= 2 * size.height();
                const QImage source = twice ? e.picture : e.decoded;
                lock.unlock();
                found = resizePicture(source, size);
                insert({stamp, size, found, {}});
                return true;
            }
        }
        return false;
    };

    QImage found;
    if (lookUp(found))
        return found;

    if (const std::shared_ptr<Job> job = pendingFor(path)) {
        std::unique_lock lock(job->mutex);
        bool wait = true;
        if (job->state == Job::State::Queued && !job->guessed)
            wait = false; // not started: starting here is no slower (the start-up picture is
                          // worth the wait: it serves the window's later sizes too)
        else if (job->state == Job::State::Running && !job->guessed && job->size.isValid() &&
                 job->size != size)
            wait = false; // being read for another size
        if (!wait) {
            job->cancel = true;
        } else {
            job->finished.wait(lock, [&] { return job->state == Job::State::Finished; });
            lock.unlock();
            harvest();
            if (lookUp(found))
                return found;
        }
    }

    if (beforeDecodingHere)
        beforeDecodingHere();
    found = loadPicture(path, size);
    if (stamp.isValid())
        insert({stamp, size, found, {}});
    return found;
}

void PictureCache::readAhead(const QString& path, std::function<QSize()> measure) {
    auto job = std::make_shared<Job>();
    job->path = path;
    job->measure = std::move(measure);
    start(job);
}

void PictureCache::readAheadGuessed(const QString& path, std::function<QSize()> guess) {
    auto job = std::make_shared<Job>();
    job->path = path;
    job->measure = std::move(guess);
    job->guessed = true;
    start(job);
}

void PictureCache::expect(const QString& path, const std::function<QSize()>& measure) {
    if (const std::shared_ptr<Job> job = pendingFor(path); job && job->guessed) {
        const QSize size = measure();
        std::lock_guard lock(job->mutex);
        job->wanted = size;
    }
}

void PictureCache::start(const std::shared_ptr<Job>& job) {
    if (!m_enabled)
        return;
    harvest();
    if (pendingFor(job->path))
        return;
    {
        // Held and unchanged: after a resize only pictures of the new size are held.
        const FileStamp stamp = FileStamp::of(job->path);
        QMutexLocker lock(&m_mutex);
        if (m_closing)
            return;
        for (const Entry& e : std::as_const(m_entries))
            if (stamp.isValid() && e.stamp == stamp)
                return;
    }
    job->generation = m_generation;
    m_jobs.append(job);
    m_pool.start([this, job] { run(job); });
}

void PictureCache::run(const std::shared_ptr<Job>& job) {
    {
        std::lock_guard lock(job->mutex);
        if (!job->cancel)
            job->state = Job::State::Running;
    }
    FileStamp stamp;
    QSize size;
    QImage picture, decoded;
    bool ok = false;
    const qint64 startedNs = steadyNs();
    if (!job->cancel) {
        try {
            stamp = FileStamp::of(job->path);
            if (!stamp.isValid())
                throw RuntimeError(QStringLiteral("%1 cannot be examined").arg(job->path));
            size = job->measure();
            {
                std::lock_guard lock(job->mutex);
                job->size = size;
            }
            bool held = false;
            {
                QMutexLocker lock(&m_mutex);
                for (const Entry& e : std::as_const(m_entries))
                    held = held || (e.stamp == stamp && e.size == size);
            }
            if (!held && job->guessed) {
                decoded = decodeForSize(job->path, size, &job->cancel);
                QSize wanted;
                {
                    std::lock_guard lock(job->mutex);
                    wanted = job->wanted;
                }
                if (wanted.isValid() && decodedServes(decoded, wanted))
                    size = wanted;
                picture = resizePicture(decoded, size);
                ok = true;
            } else if (!held) {
                picture = loadPicture(job->path, size, &job->cancel);
                ok = true;
            }
        } catch (const std::exception&) {
            // Not held: the same failure shows when the slide is displayed.
        }
    }
    {
        std::lock_guard lock(job->mutex);
        job->stamp = stamp;
        job->size = size;
        job->picture = picture;
        job->decoded = decoded;
        job->ok = ok;
        job->startedNs = startedNs;
        job->finishedNs = steadyNs();
        job->state = Job::State::Finished;
    }
    job->finished.notify_all();
    QMutexLocker lock(&m_mutex);
    if (!m_closing)
        QMetaObject::invokeMethod(
            this, [this] { harvest(); }, Qt::QueuedConnection);
}

void PictureCache::harvest() {
    for (qsizetype i = 0; i < m_jobs.size();) {
        const std::shared_ptr<Job> job = m_jobs[i];
        Entry entry;
        bool held = false;
        {
            std::lock_guard lock(job->mutex);
            if (job->state != Job::State::Finished) {
                ++i;
                continue;
            }
            held = job->ok && !job->cancel && job->generation == m_generation;
            if (held)
                entry = {job->stamp, job->size, job->picture, job->decoded};
        }
        m_jobs.removeAt(i);
        if (held)
            insert(std::move(entry));
        Q_EMIT readAheadDone(job->path, held, job->startedNs, job->finishedNs);
    }
}

void PictureCache::insert(Entry entry) {
    QMutexLocker lock(&m_mutex);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].stamp == entry.stamp && m_entries[i].size == entry.size) {
            m_entries.removeAt(i);
            break;
        }
    }
    m_entries.prepend(std::move(entry));
    while (m_entries.size() > kCapacity)
        m_entries.removeLast();
}

std::shared_ptr<PictureCache::Job> PictureCache::pendingFor(const QString& path) const {
    for (const std::shared_ptr<Job>& job : m_jobs)
        if (job->path == path && !job->cancel)
            return job;
    return nullptr;
}

void PictureCache::cancelAll() {
    for (const std::shared_ptr<Job>& job : std::as_const(m_jobs))
        job->cancel = true;
    m_jobs.clear();
    ++m_generation;
}

void PictureCache::keepOnly(const QString& path, const QSize& size) {
    cancelAll();
    QMutexLocker lock(&m_mutex);
    // The picture on screen stays, and what it was decoded from: until the window has settled,
    // each new layout asks for it again.
    m_entries.removeIf([&](const Entry& e) {
        return e.stamp.path != path || (e.size != size && e.decoded.isNull());
    });
}

void PictureCache::clear() {
    cancelAll();
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

QImage PictureCache::held(const QString& path, const QSize& size) const {
    const FileStamp stamp = FileStamp::of(path);
    QMutexLocker lock(&m_mutex);
    for (const Entry& e : m_entries)
        if (stamp.isValid() && e.stamp == stamp && e.size == size)
            return e.picture;
    return {};
}

int PictureCache::heldCount() const {
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

void PictureCache::shutdown(int msecs) {
    {
        QMutexLocker lock(&m_mutex);
        m_closing = true;
    }
    clear();
    // A decode notices its cancel flag within one band of rows; one that does not finishes
    // on its own while the process ends.
    m_pool.waitForDone(msecs);
}

} // namespace platform
