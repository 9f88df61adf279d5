// The runner's progress figures, read on demand by each face: of one lane's job
// (all its runs) and of the whole run.
#include "jobrunner.h"

#include <algorithm>

int JobRunner::laneJob(int lane) const
{
    return lane >= 0 && lane < int(m_lanes.size()) ? m_lanes[size_t(lane)]->jobIndex : -1;
}

ProgressReading JobRunner::readProgress(int index)
{
    Lane &lane = *m_lanes[size_t(index)];
    const QByteArray bytes = takeOutput(lane);
    lane.reportReader.feed(bytes);
    ProgressReading reading = lane.parser.feed(bytes, lane.frameRate);
    if (lane.jobIndex < 0)
        return reading;
    const qsizetype runs = m_jobs[lane.jobIndex].runs.size();
    if (runs > 1 || m_jobs[lane.jobIndex].sizeLimit > 0) {
        // The bar runs once over all passes, each an equal share.
        if (reading.percent)
            reading.percent = jobPercent(index);
        if (reading.remaining) {
            const std::optional<double> left = jobRemainingSeconds(index);
            reading.remaining = left ? std::optional<QString>(formatRemaining(*left)) : std::nullopt;
        }
    }
    return reading;
}

int JobRunner::jobPercent(int index) const
{
    const Lane &lane = *m_lanes[size_t(index)];
    if (lane.jobIndex < 0)
        return 0;
    // A job made to a size may make its last run again when the output missed the
    // size: its bar stops just below the end until the job is over.
    if (lane.sizeTries.corrections > 0)
        return 99;
    // A job with limit runs counts them from the start, after its first runs, so
    // that its bar never goes back when they follow.
    const Job &job = m_jobs[lane.jobIndex];
    const qsizetype runs = job.runs.size() + job.limitRuns.size();
    const qsizetype done = lane.run + (lane.onLimitRuns ? job.runs.size() : 0);
    const int percent = int((done * 100 + lane.parser.percent()) / std::max<qsizetype>(1, runs));
    return m_jobs[lane.jobIndex].sizeLimit > 0 ? std::min(99, percent) : percent;
}

std::optional<double> JobRunner::jobRemainingSeconds(int index) const
{
    const Lane &lane = *m_lanes[size_t(index)];
    if (lane.jobIndex < 0 || !lane.parser.durationKnown())
        return std::nullopt;
    const std::optional<double> left = lane.parser.remainingSeconds();
    if (!left)
        return std::nullopt;
    const qsizetype runsAfter = laneRuns(lane).size() - lane.run - 1;
    if (runsAfter <= 0)
        return left;
    // Each run still to come is counted as long as this one takes in all.
    const double elapsed = double(lane.clock.elapsed()) / 1000 / (lane.run + 1);
    return *left + double(runsAfter) * (elapsed + *left);
}

int JobRunner::wholePercent()
{
    if (m_queue.total() == 0)
        return 0;
    double sum = 100.0 * (m_queue.done() + m_queue.failed());
    for (const auto &lane : m_lanes) {
        if (lane->jobIndex < 0)
            continue;
        consumeOutput(*lane);
        sum += jobPercent(lane->index);
    }
    return int(sum / m_queue.total());
}

std::optional<double> JobRunner::wholeRemainingSeconds()
{
    QList<std::optional<double>> remaining;
    for (const auto &lane : m_lanes) {
        if (lane->jobIndex < 0)
            continue;
        consumeOutput(*lane);
        remaining << jobRemainingSeconds(lane->index);
    }
    return batchRemainingSeconds(remaining, m_finishedSeconds, m_queue.total() - m_queue.started(),
                                 m_queue.parallel());
}
