#include "joblist.h"

#include <algorithm>

JobList::Entry JobList::entryFor(const Job &job)
{
    Entry entry;
    entry.text = job.text();
    if (!job.isEmpty() && !job.fitsTextForm())
        entry.whole = std::make_shared<const Job>(job);
    return entry;
}

Job JobList::job(int row) const
{
    if (row < 0 || row >= size())
        return Job::fromText(QString());
    const Entry &entry = m_entries[size_t(row)];
    return entry.whole ? *entry.whole : Job::fromText(entry.text);
}

QList<Job> JobList::jobs() const
{
    QList<Job> all;
    all.reserve(size());
    for (int row = 0; row < size(); ++row)
        all << job(row);
    return all;
}

int JobList::firstPending() const
{
    for (int row = 0; row < size(); ++row)
        if (pending(row))
            return row;
    return -1;
}

QList<JobState> JobList::runStates() const
{
    QList<JobState> states;
    states.reserve(size());
    for (const Entry &entry : m_entries)
        states << (entry.state == ListedState::Pending ? JobState::Pending
                   : entry.state == ListedState::Done  ? JobState::Done
                                                       : JobState::Failed);
    return states;
}

void JobList::replace(const QList<Job> &jobs, const QList<JobState> &states)
{
    m_entries.clear();
    m_entries.reserve(size_t(jobs.size()));
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        Entry entry = entryFor(jobs[i]);
        const JobState state = states.value(i, JobState::Pending);
        entry.state = state == JobState::Done     ? ListedState::Done
                      : state == JobState::Failed ? ListedState::Failed
                                                  : ListedState::Pending;
        m_entries.push_back(std::move(entry));
    }
    emit replaced();
}

void JobList::append(const QList<Job> &jobs, const QString &origin)
{
    if (jobs.isEmpty())
        return;
    const int first = size();
    for (const Job &job : jobs) {
        m_entries.push_back(entryFor(job));
        m_entries.back().origin = origin;
    }
    emit appended(first, int(jobs.size()));
}

void JobList::remove(const std::vector<bool> &removed)
{
    const auto end = removed.cbegin() + qsizetype(std::min(removed.size(), m_entries.size()));
    if (std::find(removed.cbegin(), end, true) == end)
        return;
    std::vector<Entry> kept;
    kept.reserve(m_entries.size());
    for (size_t row = 0; row < m_entries.size(); ++row)
        if (row >= removed.size() || !removed[row])
            kept.push_back(std::move(m_entries[row]));
    m_entries.swap(kept);
    emit this->removed(removed);
}

void JobList::setState(int row, ListedState state, const QString &note)
{
    if (row < 0 || row >= size())
        return;
    m_entries[size_t(row)].state = state;
    m_entries[size_t(row)].note = note;
    emit stateChanged(row);
}

void JobList::insertPending(int row, int count)
{
    row = std::clamp(row, 0, size());
    m_entries.insert(m_entries.begin() + row, size_t(std::max(count, 0)), entryFor(Job::fromText(QString())));
    emit inserted(row, count);
}

void JobList::setJob(int row, const Job &job)
{
    if (row < 0 || row >= size())
        return;
    Entry entry = entryFor(job);
    entry.state = m_entries[size_t(row)].state;
    entry.note = m_entries[size_t(row)].note;
    entry.origin = m_entries[size_t(row)].origin;
    m_entries[size_t(row)] = std::move(entry);
    emit jobChanged(row);
}
