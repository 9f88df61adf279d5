// Which job of a batch runs next: the states of the jobs of one run, how many run
// at once, and whether a failure ends the run. Shared by the window and the
// runner without a window; it starts no process itself.
#ifndef BATCHQUEUE_H
#define BATCHQUEUE_H

#include <QList>
#include <QString>

#include <optional>

#include "converter.h"

enum class JobState { Pending, Running, Done, Failed };

class BatchQueue
{
public:
    // A run over these jobs, in list order. Failed jobs are pending again (they are
    // retried); done jobs are never started. `parallel` jobs run at once (at least 1).
    void begin(const QList<JobState> &states, int parallel, bool keepGoing);

    // Jobs added at the end of the list while the run goes on: they are run too.
    void append(int count);

    // The job to start now, marked running; -1 when none may start: all slots busy,
    // nothing pending, or the run is winding down after a stop or a failure.
    int takeNext();

    // A started job has ended. Success makes it done. A failure makes it failed when
    // the run keeps going, otherwise it stays pending and no further job starts. A
    // cancel leaves it pending.
    void finish(int job, RunOutcome outcome);
    // A job that could not be started at all counts as a failure.
    void finishUnstarted(int job) { finish(job, RunOutcome::Error); }

    // No further job starts; the running ones end as they will.
    void stop() { m_halted = true; }
    bool halted() const { return m_halted; }
    // The run is over: nothing runs and nothing more will start.
    bool isOver() const { return m_running == 0 && (m_halted || nextPending() < 0); }

    JobState state(int job) const { return m_states.value(job, JobState::Done); }
    const QList<JobState> &states() const { return m_states; }
    int size() const { return int(m_states.size()); }

    // Counts of this run: jobs it has to do, started, done, failed, running now.
    int total() const { return m_total; }
    int started() const { return m_started; }
    int done() const { return m_done; }
    int failed() const { return m_failed; }
    int running() const { return m_running; }
    int parallel() const { return m_parallel; }
    bool keepGoing() const { return m_keepGoing; }
    // The outcome that ended the run early, when one did (not a cancel).
    std::optional<RunOutcome> haltingFailure() const { return m_haltingFailure; }

private:
    int nextPending() const;

    QList<JobState> m_states;
    int m_parallel = 1;
    bool m_keepGoing = false;
    bool m_halted = false;
    int m_total = 0;
    int m_started = 0;
    int m_done = 0;
    int m_failed = 0;
    int m_running = 0;
    int m_searchFrom = 0;
    std::optional<RunOutcome> m_haltingFailure;
};

// "Batch beendet: 18 umgewandelt, 2 Fehler" (the failures only when there are any).
QString batchSummary(int done, int failed);

// The last non-empty line of a converter's output: what a failed job is marked with.
QString lastLine(const QString &output);

// The remaining time of a whole run, in seconds, or nothing when it cannot be told
// honestly. Known: the remaining seconds of each running job that tells them;
// `finishedSeconds` the wall time of each job that succeeded in this run. Jobs not
// yet started are counted at the average of the finished ones, spread over the
// parallel slots. Without a finished job, or with a running job whose remaining
// time is unknown while others wait, there is no honest figure.
std::optional<double> batchRemainingSeconds(const QList<std::optional<double>> &runningRemaining,
                                            const QList<double> &finishedSeconds, int waiting, int parallel);

#endif
