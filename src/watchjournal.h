// The journal of watched folders: what was converted, what failed and what was
// running, so that a file is never converted twice, a new version of it is, and
// files that arrived while Quorvid was not running are taken at its next start.
// One line per event (JSON), appended and synced to the disk before the call
// returns; a line cut off by a crash is ignored. One process uses it at a time.
#ifndef WATCHJOURNAL_H
#define WATCHJOURNAL_H

#include <QHash>
#include <QString>

class WatchJournal
{
public:
    enum class Outcome { Started, Done, Failed, Cancelled };
    // What the journal says of a file in this version (size and time).
    enum class Verdict { New, Done, Retry, GivenUp };

    // ~/.local/share/quorvid/watch-journal (under XDG_DATA_HOME when set).
    static QString defaultPath();

    explicit WatchJournal(const QString &path = defaultPath());
    ~WatchJournal();
    WatchJournal(const WatchJournal &) = delete;
    WatchJournal &operator=(const WatchJournal &) = delete;

    // Reads the journal and holds it for this process; the German reason when it
    // cannot be read, written or is held by another process of Quorvid.
    QString open();
    bool isOpen() const { return m_fd >= 0; }
    // Lets go of the journal (another process may use it then); open() reads it
    // again.
    void close();
    QString path() const { return m_path; }

    // How often a file may fail before it is left (default 3).
    void setMaxTries(int tries) { m_maxTries = tries; }
    int maxTries() const { return m_maxTries; }

    Verdict verdict(const QString &input, qint64 size, qint64 modifiedNs) const;
    // Failed attempts of this version so far.
    int failures(const QString &input, qint64 size, qint64 modifiedNs) const;
    // The output last written (or being written) for this input; empty if none.
    QString outputOf(const QString &input) const;
    // True when a job of the journal writes or wrote this file.
    bool isOutput(const QString &path) const { return m_outputs.contains(path); }
    // The reason of the last failure of this input.
    QString lastReason(const QString &input) const;

    // Appends an entry and syncs it; the German reason when that failed.
    QString note(Outcome outcome, const QString &input, qint64 size, qint64 modifiedNs, const QString &output,
                 const QString &reason = QString());

    int records() const { return int(m_records.size()); }
    int lines() const { return m_lines; }

private:
    struct Record
    {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        Outcome last = Outcome::Started;
        int failures = 0;
        QString output;
        QString reason;
    };
    void apply(Outcome outcome, const QString &input, qint64 size, qint64 modifiedNs, const QString &output,
               const QString &reason);
    QString compact();

    QString m_path;
    int m_fd = -1;
    int m_lockFd = -1;
    int m_lines = 0;
    int m_maxTries = 3;
    QHash<QString, Record> m_records;  // by input path
    QHash<QString, QString> m_outputs; // output path -> input path
};

#endif
