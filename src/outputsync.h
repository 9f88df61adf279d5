// Outputs on the disk itself before their job counts as done. When the converter
// ends, much of what it wrote may still wait in memory to be written; the list
// that calls the job done is synced at once, so a power cut right after would
// leave an empty or short file that the list says is whole. The sync runs beside
// the window, which goes on answering while a slow disk takes its time.
#ifndef OUTPUTSYNC_H
#define OUTPUTSYNC_H

#include <QFutureWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// Writes the files' contents and their folders' entries to the disk, waiting for
// it. A file that is not there is passed over.
void syncToDisk(const QStringList &files);

class OutputSync : public QObject
{
    Q_OBJECT
public:
    using SyncFunction = std::function<void(const QStringList &)>;
    explicit OutputSync(QObject *parent = nullptr);
    // Syncs the files in another thread; finished() follows once they are on disk.
    void start(const QStringList &files);
    bool isRunning() const { return m_running; }
    // finished() is not sent for the sync under way (which runs to its end).
    void cancel()
    {
        m_running = false;
        m_slowTimer.stop();
    }
    // What the sync does; tests put one in that they hold. Returns the one before.
    static SyncFunction setSyncFunction(SyncFunction function);

signals:
    void finished();
    // The sync takes long enough to be noticed (half a second): worth a word.
    void slow();

private:
    QFutureWatcher<void> m_watcher;
    QTimer m_slowTimer;
    bool m_running = false;
};

#endif
