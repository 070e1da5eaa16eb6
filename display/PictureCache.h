#pragma once
// The slides' pictures at the size of their box: the one on screen and those decoded ahead of
// their turn on worker threads. The main window owns one; closing it calls the decodes off.
//
// Threads: every member function runs on the user-interface thread (the thread that made the
// cache), and so do its signals. Decodes run on the cache's own worker pool and touch nothing
// but the file they read and the picture they make.
#include <functional>

#include <QFutureWatcher>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

namespace display {

// What tells one content of a file from another without reading it.
struct FileStamp {
    QString path;
    qint64 size = -1;
    qint64 modified = 0; // the file system's own clock, in its own resolution (ns on Linux)

    bool isValid() const { return size >= 0; }
    bool operator==(const FileStamp&) const = default;
    // Invalid when the file cannot be examined. Any thread.
    static FileStamp of(const QString& path);
};

class PictureCache : public QObject {
    Q_OBJECT
public:
    // `workers` decodes run side by side ahead of their turn; 0 decodes every picture when it
    // is shown. Two keep up with the shortest interval on two cores; more would only take the
    // processor from the window.
    explicit PictureCache(int workers = 2, QObject* parent = nullptr);
    // Calls off what has not started and waits for the decodes under way.
    ~PictureCache() override;

    // While a window is being resized, a picture that only a new decode could make sharp is
    // made from what is held, and made sharp later by refine().
    enum class Resizing { No, Yes };

    // The picture of `path` at `box` pixels: the one held when the file is unchanged (path,
    // size, modification time); else the decode of it under way, waited for; else made from a
    // larger picture of it held (a resample, no decode); else decoded here, after
    // `beforeDecodingHere` has run (it may start other decodes beside this one). Throws as
    // decodeForBox() does.
    QImage picture(const QString& path, QSize box, Resizing resizing = Resizing::No,
                   const std::function<void()>& beforeDecodingHere = {});

    // Decodes `path` for `box` on a worker, unless it is held or under way already. A decode
    // that fails is not held: its error shows when the slide is displayed. A `guess` (the box
    // start-up expects before the window exists) is waited for by any smaller box, which is
    // then a resample of it.
    void readAhead(const QString& path, QSize box, bool guess = false);

    // After a resize has settled: when the picture held for `path` at `box` was made from a
    // picture too small for it, decodes it again on a worker; pictureRefined() brings it.
    void refine(const QString& path, QSize box);

    // Keeps only what is held or being decoded for these files: the slide on screen and those
    // about to come.
    void retain(const QStringList& paths);
    // Calls off every decode and keeps only what was held for `path` (a new layout: nothing
    // else fits any box).
    void keepOnly(const QString& path);
    // Calls off every decode that has not started; those under way are not held.
    void cancel();
    void clear();

    // True when a decode ahead of time is waiting or running.
    bool isReadingAhead() const { return !m_jobs.isEmpty(); }
    // How many pictures are held, at most capacity().
    int size() const { return int(m_entries.size()); }
    // The picture on screen and the two decoded for the next ticks, or the next and previous.
    static constexpr int capacity() { return 3; }

Q_SIGNALS:
    // A decode begins, on a worker or on the calling thread.
    void decodeStarted(const QString& path, QSize box, bool onWorker);
    // A decode on a worker ended: held, or failed or called off.
    void readAheadDone(const QString& path, QSize box, bool held);
    // refine() made the picture of `path` at `box` from a new decode.
    void pictureRefined(const QString& path, QSize box, const QImage& picture);

private:
    struct Entry {
        FileStamp stamp;
        QSize box;
        QImage picture;
        bool coarse = false; // made from a picture smaller than the box
        bool guess = false;  // start-up's guess: it serves the boxes the window tries first
    };
    struct Result {
        FileStamp stamp;
        QImage picture;
    };
    struct Job {
        QString path;
        QSize box;
        bool guess = false;
        bool refining = false;
        QFutureWatcher<Result>* watcher = nullptr;
    };

    void start(const QString& path, QSize box, bool guess, bool refining);
    void finished(QFutureWatcher<Result>* watcher);
    void callOff(qsizetype index);
    const Job* jobFor(const QString& path, QSize box) const;
    const Job* coveringJob(const QString& path, QSize box) const;
    Entry* find(const FileStamp& stamp, QSize box);
    void insert(Entry entry);

    QThreadPool m_pool;
    int m_workers;
    QList<Entry> m_entries; // most recently used first
    QList<Job> m_jobs;
};

} // namespace display
