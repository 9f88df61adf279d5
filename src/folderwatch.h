// Finding the files that arrive in watched folders, each once it is complete.
// Events say only that a folder changed, not which file or whether it is whole,
// and they can be lost (an overflowing queue, a network folder that sends none):
// so events only make a folder be looked at sooner, a periodic look catches what
// they missed, and a file is taken when its size and time stayed the same for
// the settle time. No widget: the window and `--watch` use it alike.
#ifndef FOLDERWATCH_H
#define FOLDERWATCH_H

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// True for names that download tools, browsers and copy programs give a file
// while they write it ("film.mp4.part", ".crdownload", ".tmp", "film~", hidden
// names): such a file is never taken, whatever its suffix.
bool isNameInWriting(const QString &fileName);

// True for the names a watched folder takes: media files not in writing.
bool isWatchedName(const QString &fileName);

class FolderWatch : public QObject
{
    Q_OBJECT

public:
    explicit FolderWatch(QObject *parent = nullptr);

    // A folder to watch; with `recursive` its subfolders too, those made later
    // included. Hidden subfolders and linked folders are not entered.
    void addFolder(const QString &folder, bool recursive);
    // Folders never looked into, with everything below them (output folders).
    void setExcludedFolders(const QStringList &folders);
    // How long a file's size and time must stay the same before it is taken.
    void setSettleMs(int ms) { m_settleMs = ms; }
    int settleMs() const { return m_settleMs; }
    // How often every folder is looked at without an event.
    void setScanIntervalMs(int ms);
    int scanIntervalMs() const { return m_scanTimer.interval(); }
    // Files for which this is true are never reported: done before, or the
    // output of a job. Asked when a file (or a new version of it) is first seen.
    using Skip = std::function<bool(const QString &path, qint64 size, qint64 modifiedNs)>;
    void setSkip(Skip skip) { m_skip = std::move(skip); }

    // The first look at every folder (at once, before this returns), then events
    // and the periodic look.
    void start();
    void stop();
    bool isActive() const { return m_active; }
    // Reports the file again once it is still complete `afterMs` from now, even
    // when nothing about it changed (a failed job tried again).
    void retake(const QString &path, int afterMs);
    // The files known in the watched folders.
    int knownFiles() const;

signals:
    // A complete file: a regular file whose size and time have not changed for
    // the settle time. Reported once per version (size and time).
    void fileReady(const QString &path, qint64 size, qint64 modifiedNs);
    // A file of a watched name that cannot be taken (a named pipe, a device, a
    // name that is no valid UTF-8); reported once.
    void fileRefused(const QString &path, const QString &reason);
    // A watched folder cannot be read (gone, not mounted, no permission), or can
    // be again (empty reason). Said once per change.
    void folderProblem(const QString &folder, const QString &reason);

private:
    struct Seen
    {
        qint64 size = -1;
        qint64 modifiedNs = 0;
        qint64 sameSinceMs = 0; // on m_clock
        bool reported = false;
        bool refused = false;
        bool present = true;
    };
    using Files = QHash<QString, Seen>; // by name within its folder

    struct Root
    {
        QString path;
        bool recursive = false;
        QString problem;
    };

    // Looks at one folder's entries; new subfolders of a recursive root are
    // added and looked at too.
    void scanFolder(const QString &folder, bool recursive);
    void scanAll();
    void scanChanged();
    void checkPending();
    void consider(const QString &folder, const QString &name, Seen &seen, qint64 size, qint64 modifiedNs);
    void forgetFolder(const QString &folder);
    bool excluded(const QString &folder) const;
    bool recursiveFolder(const QString &folder) const;

    QList<Root> m_roots;
    QStringList m_excluded;
    QHash<QString, Files> m_folders; // every folder looked into, by absolute path
    QSet<QString> m_pending;         // folder + '/' + name of files waiting to settle
    QSet<QString> m_changed;         // folders an event named
    QFileSystemWatcher m_watcher;
    QTimer m_scanTimer;
    QTimer m_pendingTimer;
    QTimer m_changedTimer;
    QElapsedTimer m_clock;
    Skip m_skip;
    int m_settleMs = 5000;
    bool m_active = false;
};

#endif
