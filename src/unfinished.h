// What keeps half files from staying under an output's name: the private folders
// of a run (marked as in use for as long as their process lives), the record of
// the outputs being written there, and the removal of both once their process is
// gone, even when it was killed.
#ifndef UNFINISHED_H
#define UNFINISHED_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A private folder in the temporary folder ("quorvid-XXXXXX"), removed with the
// object. A locked mark inside it tells other processes of Quorvid that its
// owner still lives; the lock goes with the process, however it ends.
class OwnedFolder
{
public:
    OwnedFolder();
    ~OwnedFolder();
    OwnedFolder(const OwnedFolder &) = delete;
    OwnedFolder &operator=(const OwnedFolder &) = delete;

    bool isValid() const { return m_lock >= 0; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_dir;
    int m_lock = -1;
    QString m_error;
};

// An output as it was before a job started: whether it existed, and if so its
// size and time, so that afterwards one can tell whether the job wrote it.
struct OutputBefore
{
    QString path; // absolute
    bool existed = false;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    quint64 inode = 0;

    static OutputBefore of(const QString &absolutePath);
    // True when the file is there and is not the one that was there before (the
    // job created it, truncated it or wrote into it).
    bool writtenSince() const;
};

// Removes each output the job wrote (see writtenSince); a file that was there
// before and that nothing wrote is left alone. Returns the removed paths.
QStringList removeWritten(const QList<OutputBefore> &outputs);

QByteArray unfinishedRecordContent(const QList<OutputBefore> &outputs);
QList<OutputBefore> readUnfinishedRecord(const QByteArray &content);

// The record of a runner's unfinished outputs: a file of its own under
// ~/.local/share/quorvid/unfinished, locked for as long as the runner lives and
// written to the disk at each start and end of a job. After a crash, a kill or a
// power cut it names the outputs that the next start of Quorvid removes.
class UnfinishedRecord
{
public:
    UnfinishedRecord() = default;
    ~UnfinishedRecord();
    UnfinishedRecord(const UnfinishedRecord &) = delete;
    UnfinishedRecord &operator=(const UnfinishedRecord &) = delete;

    void write(const QList<OutputBefore> &outputs);
    static QString folder();

private:
    int m_fd = -1;
    QString m_path;
    qsizetype m_size = 0;
    bool m_empty = true;
};

// Removes what runs whose process is gone left behind: first the outputs their
// records name (those the dead run wrote), then the records, then their private
// folders "quorvid-*" in `tempPath`. What belongs to a live process (another
// window, a run in a terminal) is never touched.
struct LeftoverCleanup
{
    int folders = 0;
    QStringList outputs;
};
LeftoverCleanup removeLeftovers(const QString &tempPath, const QString &recordFolder);
LeftoverCleanup removeLeftovers();

#endif
