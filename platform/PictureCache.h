#pragma once
// Pictures decoded ahead of their turn on worker threads, held at the size they will be shown at.
#include <functional>
#include <memory>

#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

namespace platform {

// What tells one content of a file from another without reading it.
struct FileStamp {
    QString path;
    qint64 size = -1;
    qint64 modified = 0; // the file system's own clock, in its own resolution (ns on Linux)

    bool isValid() const { return size >= 0; }
    bool operator==(const FileStamp&) const = default;
    // Invalid when the file cannot be examined.
    static FileStamp of(const QString& path);
};

class PictureCache : public QObject {
    Q_OBJECT
public:
    // The process-wide cache. It lives until the process ends; when the application object goes
    // away its workers are called off and not waited for beyond a moment.
    static PictureCache& instance();

    // The picture of `path` at `size` pixels: the one read ahead when the file is still what
    // was read (path, size, modification time) and the size matches; else the read-ahead of it
    // under way, waited for; else decoded here and now, after `beforeDecodingHere` has run (it
    // may start other read-aheads beside that decode). Throws as loadPicture() does.
    QImage picture(const QString& path, const QSize& size,
                   const std::function<void()>& beforeDecodingHere = {});

    // Decodes `path` on a worker at the size `measure` gives there (it may throw: the picture
    // is then simply not held, and its error shows when it is displayed). Nothing happens when
    // the picture is already held at that size or being read.
    void readAhead(const QString& path, std::function<QSize()> measure);
    // The same for a picture whose size is a guess: the picture at libjpeg's scale is kept too,
    // so that any size it covers costs a resize, not a decode, until the layout changes.
    void readAheadGuessed(const QString& path, std::function<QSize()> guess);

    // Tells a read-ahead of `path` from readAheadGuessed() under way that the picture will be
    // asked for at the size `measure` gives (run only when there is one): it is made at that
    // size when its decode covers it.
    void expect(const QString& path, const std::function<QSize()>& measure);

    // Drops every picture and read-ahead but `path` at `size` (after a resize nothing else fits)
    // and what `path` was decoded from at libjpeg's scale.
    void keepOnly(const QString& path, const QSize& size);
    void clear();

    // Off: every picture is decoded when it is shown, as without this cache (benchmark).
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // Seen from outside, for tests and the benchmark: the picture held for `path` (unchanged
    // since it was read) at `size`, else a null image.
    QImage held(const QString& path, const QSize& size) const;
    int heldCount() const;
    int pendingCount() const { return int(m_jobs.size()); }
    // The picture on screen and the two read for the next ticks, or the next and the previous.
    static constexpr int kCapacity = 3;

    // Calls off every read-ahead; waits at most `msecs` for the workers to notice.
    void shutdown(int msecs = 100);

    struct Job;

Q_SIGNALS:
    // A read-ahead ended (held or not); times are std::chrono::steady_clock, in ns.
    void readAheadDone(const QString& path, bool held, qint64 startedNs, qint64 finishedNs);

private:
    PictureCache();
    struct Entry {
        FileStamp stamp;
        QSize size;
        QImage picture;
        QImage decoded; // at libjpeg's scale, for a guessed size only
    };
    void start(const std::shared_ptr<Job>& job);
    void run(const std::shared_ptr<Job>& job);
    void harvest();
    void insert(Entry entry);
    std::shared_ptr<Job> pendingFor(const QString& path) const;
    void cancelAll();

    mutable QMutex m_mutex; // m_entries and m_closing; the workers look at them too
    QList<Entry> m_entries; // most recently used first
    bool m_closing = false;
    QList<std::shared_ptr<Job>> m_jobs; // user-interface thread only
    quint64 m_generation = 0;
    bool m_enabled = true;
    QThreadPool m_pool;
};

} // namespace platform
