// Files of watched folders made jobs, the same for the window and `--watch`:
// looked at first where the preset depends on what the file holds, refused when
// the fields do not allow the job, noted in the journal as started, then handed
// to the face that runs them; and a job's end told back as the journal counts it.
#ifndef ARRIVALJOBS_H
#define ARRIVALJOBS_H

#include <QHash>
#include <QObject>

#include "job.h"
#include "jobrunner.h"
#include "mediasurvey.h"
#include "watching.h"

class ArrivalJobs : public QObject
{
    Q_OBJECT

public:
    explicit ArrivalJobs(Watching &watching, QObject *parent = nullptr);

    void take(const WatchArrival &arrival);
    // Forgets the arrivals still being looked at.
    void stop();

signals:
    // The job is noted in the journal as started: it must go to a runner now.
    void ready(const WatchArrival &arrival, const Job &job);
    // Not made: the fields do not allow it (reported to the journal as failed).
    void refused(const WatchArrival &arrival, const QString &reason);

private:
    void make(const WatchArrival &arrival, const MediaFacts &facts);

    Watching &m_watching;
    MediaSurvey m_survey;
    QHash<QString, WatchArrival> m_looking; // waiting for the look at their file
};

// How a job's end counts in the journal, and the reason of a failure.
Watching::JobResult watchResult(const JobEnd &end, QString *reason);

#endif
