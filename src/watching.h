// Watched folders turned into work: a FolderWatch per folder, the journal, the
// preset and output name of every file that arrives, tries again after a
// failure and the point where a file is left. Shows nothing and runs nothing:
// the window and `quorvid --watch` make each arrival a job of their one runner
// and report back how it ended.
#ifndef WATCHING_H
#define WATCHING_H

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "arguments.h"
#include "presets.h"
#include "watchjournal.h"
#include "watchlist.h"

class FolderWatch;

// A complete file of a watched folder, ready to become a job.
struct WatchArrival
{
    QString path;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    // The watched folder it came from, with its preset and output folder.
    WatchEntry entry;
    // The preset's settings, and the output file (its folder exists).
    PanelSettings settings;
    QString output;
    // 1 for the first try, 2 after one failure, ...
    int attempt = 1;
};

// The output of a file of a watched folder: in the entry's output folder, below
// it in the same subfolder as below the watched folder, with the preset's suffix.
// A name `taken` says is used goes on to "-2", "-3", ...
QString watchOutputName(const QString &input, const WatchEntry &entry, const QString &suffix,
                        const std::function<bool(const QString &)> &taken);

class Watching : public QObject
{
    Q_OBJECT

public:
    enum class JobResult { Done, Failed, Cancelled };

    explicit Watching(const QString &journalPath = WatchJournal::defaultPath(), QObject *parent = nullptr);
    ~Watching() override;

    // Opens the journal; the German reason when it cannot be used. Nothing is
    // watched without it. setEntries opens it when it is not open yet.
    QString open();
    void setPresets(const QList<Preset> &presets) { m_presets = presets; }
    // Defaults: 5 s settle time, a look every 30 s, 3 tries, 60 s between tries.
    void setSettleMs(int ms) { m_settleMs = ms; }
    void setScanIntervalMs(int ms) { m_scanMs = ms; }
    void setMaxTries(int tries) { m_journal.setMaxTries(tries); }
    int maxTries() const { return m_journal.maxTries(); }
    void setRetryDelayMs(int ms) { m_retryMs = ms; }

    // The watched folders; those not paused are watched from now on (the first
    // look at each happens before this returns). Entries with a problem (see
    // watchEntryProblem) are not watched and named by folderProblem. The journal
    // is opened when a folder is to be watched (journalProblem says why it
    // could not be, and nothing is watched) and let go when none is and no
    // arrival is outstanding, so that another Quorvid may watch meanwhile.
    void setEntries(const QList<WatchEntry> &entries);
    const QList<WatchEntry> &entries() const { return m_entries; }
    // True when the folder is an entry's that is watched now (not paused).
    bool isWatching(const QString &folder) const;
    // Ends every watch; arrivals handed out stay the caller's to report.
    void stop();

    // Files another job writes (the window's own list): never taken as inputs.
    void noteOutput(const QString &path) { m_otherOutputs.insert(path); }
    // The job of an arrival starts, and how it ended. The first notes its output
    // in the journal; both return the German reason when the journal could not
    // be written (then said by journalProblem too).
    QString jobStarted(const WatchArrival &arrival);
    QString jobEnded(const WatchArrival &arrival, JobResult result, const QString &reason = QString());
    // Arrivals handed out whose end is not reported yet.
    int outstanding() const { return int(m_handedOut.size()); }
    const WatchJournal &journal() const { return m_journal; }

signals:
    void arrived(const WatchArrival &arrival);
    // A file that failed as often as it may: it is left until it changes.
    void givenUp(const WatchArrival &arrival, const QString &lastReason);
    void refused(const QString &path, const QString &reason);
    // A watched folder cannot be watched or read (empty reason: it can again).
    void folderProblem(const QString &folder, const QString &reason);
    void journalProblem(const QString &reason);

private:
    void fileReady(int entry, const QString &path, qint64 size, qint64 modifiedNs);
    FolderWatch *watchOf(const QString &folder) const;
    bool taken(const QString &candidate, const QString &input) const;

    WatchJournal m_journal;
    QList<Preset> m_presets;
    QList<WatchEntry> m_entries;
    std::vector<std::unique_ptr<FolderWatch>> m_watches; // one per entry, null when not watched
    QHash<QString, QString> m_handedOut;                 // input -> output of arrivals out there
    QSet<QString> m_changedMeanwhile;                    // inputs that changed while their job ran
    QSet<QString> m_otherOutputs;
    int m_settleMs = 5000;
    int m_scanMs = 30000;
    int m_retryMs = 60000;
};

Q_DECLARE_METATYPE(WatchArrival)

#endif
