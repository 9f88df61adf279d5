#include "arrivaljobs.h"

#include "makejob.h"

using namespace Qt::StringLiterals;

ArrivalJobs::ArrivalJobs(Watching &watching, QObject *parent) : QObject(parent), m_watching(watching)
{
    const auto looked = [this](const QString &path, const MediaFacts &facts, bool bars) {
        const auto waiting = m_looking.find(path);
        if (waiting == m_looking.end())
            return;
        // A preset that removes black bars waits for the look at them.
        if (!bars && waiting->settings.videoOn && waiting->settings.removeBars && firstVideo(facts))
            return;
        const WatchArrival arrival = waiting.value();
        m_looking.erase(waiting);
        make(arrival, facts);
    };
    connect(&m_survey, &MediaSurvey::surveyed, this,
            [looked](const QString &path, const MediaFacts &facts) { looked(path, facts, false); });
    connect(&m_survey, &MediaSurvey::barsLooked, this,
            [looked](const QString &path, const MediaFacts &facts) { looked(path, facts, true); });
}

void ArrivalJobs::take(const WatchArrival &arrival)
{
    // What the file holds decides the job where the preset depends on it
    // (tracks, interlacing, a size): looked at in the background first.
    if (dependsOnSource(arrival.settings)) {
        m_looking.insert(arrival.path, arrival);
        m_survey.add({arrival.path});
        return;
    }
    make(arrival, MediaFacts());
}

void ArrivalJobs::stop()
{
    m_survey.stop();
    m_looking.clear();
}

void ArrivalJobs::make(const WatchArrival &arrival, const MediaFacts &facts)
{
    if (const QString refusal = jobRefusal(arrival.settings, facts, arrival.output); !refusal.isEmpty()) {
        m_watching.jobEnded(arrival, Watching::JobResult::Failed, refusal);
        emit refused(arrival, refusal);
        return;
    }
    // Noted in the journal before the converter starts: a kill in between
    // leaves a job that the next start makes again.
    if (!m_watching.jobStarted(arrival).isEmpty()) {
        m_watching.jobEnded(arrival, Watching::JobResult::Cancelled);
        return;
    }
    emit ready(arrival, makeJob(arrival.settings, arrival.path, arrival.output, facts));
}

Watching::JobResult watchResult(const JobEnd &end, QString *reason)
{
    *reason = end.reason;
    if (end.refused || end.unstarted)
        return Watching::JobResult::Failed;
    switch (end.outcome) {
    case RunOutcome::Success:
        return Watching::JobResult::Done;
    case RunOutcome::Cancelled:
        return Watching::JobResult::Cancelled;
    case RunOutcome::Crashed:
        *reason = u"ffmpeg ist abgestürzt"_s;
        break;
    case RunOutcome::Error:
        break;
    }
    return Watching::JobResult::Failed;
}
