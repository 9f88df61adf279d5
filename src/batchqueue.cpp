#include "batchqueue.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

#include "batchfile.h"

void BatchQueue::begin(const QList<JobState> &states, int parallel, bool keepGoing)
{
    m_states = states;
    m_parallel = std::max(1, parallel);
    m_keepGoing = keepGoing;
    m_halted = false;
    m_total = m_started = m_done = m_failed = m_running = 0;
    m_searchFrom = 0;
    m_haltingFailure.reset();
    for (JobState &state : m_states) {
        if (state == JobState::Failed || state == JobState::Running)
            state = JobState::Pending;
        if (state == JobState::Pending)
            ++m_total;
    }
}

void BatchQueue::append(int count)
{
    for (int i = 0; i < count; ++i)
        m_states.append(JobState::Pending);
    m_total += std::max(0, count);
}

int BatchQueue::nextPending() const
{
    // Jobs are started top to bottom, so nothing above the last one started is
    // still pending: the search never walks the whole list again.
    for (int job = m_searchFrom; job < m_states.size(); ++job)
        if (m_states[job] == JobState::Pending)
            return job;
    return -1;
}

int BatchQueue::takeNext()
{
    if (m_halted || m_running >= m_parallel)
        return -1;
    const int job = nextPending();
    if (job < 0)
        return -1;
    m_states[job] = JobState::Running;
    m_searchFrom = job + 1;
    ++m_running;
    ++m_started;
    return job;
}

void BatchQueue::finish(int job, RunOutcome outcome)
{
    if (job < 0 || job >= m_states.size() || m_states[job] != JobState::Running)
        return;
    --m_running;
    switch (outcome) {
    case RunOutcome::Success:
        m_states[job] = JobState::Done;
        ++m_done;
        return;
    case RunOutcome::Cancelled:
        m_states[job] = JobState::Pending;
        m_halted = true;
        break;
    case RunOutcome::Error:
    case RunOutcome::Crashed:
        if (m_keepGoing) {
            m_states[job] = JobState::Failed;
            ++m_failed;
            return;
        }
        m_states[job] = JobState::Pending;
        m_halted = true;
        if (!m_haltingFailure)
            m_haltingFailure = outcome;
        break;
    }
    // A job put back to pending is the first to run at the next start.
    m_searchFrom = std::min(m_searchFrom, job);
}

QString batchSummary(int done, int failed)
{
    QString text = QStringLiteral("Batch beendet: %1 umgewandelt").arg(done);
    if (failed > 0)
        text += QStringLiteral(", %1 Fehler").arg(failed);
    return text;
}

QString lastLine(const QString &output)
{
    // The converter ends lines with LF and rewrites its status line with CR.
    const QStringList lines = output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (!it->trimmed().isEmpty())
            return it->trimmed();
    return QString();
}

std::optional<double> batchRemainingSeconds(const QList<std::optional<double>> &runningRemaining,
                                            const QList<double> &finishedSeconds, int waiting, int parallel)
{
    double running = 0, longest = 0;
    for (const std::optional<double> &seconds : runningRemaining) {
        if (!seconds)
            return std::nullopt;
        running += *seconds;
        longest = std::max(longest, *seconds);
    }
    if (waiting == 0)
        return longest;
    if (finishedSeconds.isEmpty())
        return std::nullopt;
    double sum = 0;
    for (double seconds : finishedSeconds)
        sum += seconds;
    const double average = sum / double(finishedSeconds.size());
    // The work left, shared by the slots; never less than the longest running job.
    return std::max(longest, (running + average * waiting) / double(std::max(1, parallel)));
}
