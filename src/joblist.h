// The batch list's jobs and what became of each: the one place a listed job and
// its state are kept. The table shows it; the runner, the recovery file, batch
// files and the script export read it. It holds no widget.
#ifndef JOBLIST_H
#define JOBLIST_H

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "batchqueue.h"
#include "job.h"

// What became of a listed job: not run yet, converted, failed (tried again by
// the next run), or refused before it started (also tried again once changed).
enum class ListedState { Pending, Done, Failed, Refused };

class JobList : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    int size() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    Job job(int row) const;
    QList<Job> jobs() const;
    // The text the Jobs column shows.
    const QString &text(int row) const { return m_entries[size_t(row)].text; }
    ListedState state(int row) const { return m_entries[size_t(row)].state; }
    const QString &origin(int row) const { return m_entries[size_t(row)].origin; }
    // Why a job failed or was refused, or what is to be said about a done one.
    const QString &note(int row) const { return m_entries[size_t(row)].note; }
    // A job the next run converts: every one not done.
    bool pending(int row) const { return row >= 0 && row < size() && state(row) != ListedState::Done; }
    int firstPending() const;
    // The states as a run and the recovery file count them.
    QList<JobState> runStates() const;

    // The list made anew: every job pending unless states are given.
    void replace(const QList<Job> &jobs, const QList<JobState> &states = {});
    // `origin` says where jobs came from other than the user's own hand (a
    // watched folder), shown with them.
    void append(const QList<Job> &jobs, const QString &origin = QString());
    // Removes the rows marked true (one mark per row).
    void remove(const std::vector<bool> &removed);
    void setState(int row, ListedState state, const QString &note = QString());
    // Changes made in the table itself (rows inserted or removed there, a cell
    // written): the list follows them.
    void insertPending(int row, int count);
    void setJob(int row, const Job &job);

signals:
    void replaced();
    void appended(int first, int count);
    void removed(const std::vector<bool> &removed);
    void stateChanged(int row);
    void inserted(int row, int count);
    void jobChanged(int row);

private:
    struct Entry
    {
        // Most jobs are their text; only the others keep the job itself, which
        // keeps long lists small.
        QString text;
        std::shared_ptr<const Job> whole;
        ListedState state = ListedState::Pending;
        QString note;
        QString origin;
    };
    static Entry entryFor(const Job &job);

    std::vector<Entry> m_entries;
};

#endif
