// The one runner of jobs, for the window and for the run without a window alike.
// It owns the converters, the queue of a run, the start of each run of a job in
// turn, the outcome of every job, its progress and remaining time, and Stop. It
// shows nothing: it reports through signals, and each face renders what it needs.
#ifndef JOBRUNNER_H
#define JOBRUNNER_H

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

#include "batchqueue.h"
#include "converter.h"
#include "job.h"
#include "loudness.h"
#include "outputcheck.h"
#include "outputsync.h"
#include "progress.h"
#include "targetsize.h"
#include "unfinished.h"

// How one job of a run ended.
struct JobEnd
{
    RunOutcome outcome = RunOutcome::Success;
    // The converter could not be started at all.
    bool unstarted = false;
    // The job was refused before it started: it would have written a file it
    // reads, or its input or argument list cannot be handed to the converter.
    bool refused = false;
    // One line saying why a job failed: the converter's last line, or what is
    // wrong with the output it wrote.
    QString reason;
    // The converter's last output, for a failure's details.
    QString details;
    // Wall time of the job, all of its runs.
    double seconds = 0;
    // How often the last run was made again to meet the job's size.
    int sizeCorrections = 0;
    // The disk of the output was full: the reason names its folder.
    bool diskFull = false;
    // Said about a job that ended well but whose output is larger than its size
    // limit; empty otherwise.
    QString sizeNote;
    // The half outputs the job left, removed at its end.
    QStringList removedOutputs;
};

class JobRunner : public QObject
{
    Q_OBJECT

public:
    explicit JobRunner(QObject *parent = nullptr);
    ~JobRunner() override;

    // The program started for every run; looked up once per batch by the caller,
    // since searching the path costs more than starting a job.
    void setProgram(const QString &program) { m_program = program; }
    // The frame rate progress is counted at when a job names none and the
    // converter tells no speed; a job that names one sets it for the jobs after it.
    void setFrameRate(double rate) { m_frameRate = rate; }
    double frameRate() const { return m_frameRate; }
    // How long a converter asked to stop may take before it is killed.
    void setStopGraceMs(int ms) { m_killTimer.setInterval(ms); }
    // How much of a job's own time the look at its output with ffprobe may cost
    // (a fiftieth by default: short jobs get only the cheap look at the file);
    // 1 or more gives every job the look.
    void setOutputLookShare(double share) { m_lookShare = share; }

    // A run over these jobs: those pending (or failed before) are converted, in
    // list order, `parallel` at once; without `keepGoing` the first failure ends it.
    void start(const QList<Job> &jobs, const QList<JobState> &states, int parallel, bool keepGoing);
    // Jobs added at the end while the run goes on; a free converter takes them.
    void append(const QList<Job> &jobs);
    // No further job starts; each running converter is asked to end (as a
    // termination request does) and killed when it has not after the grace time.
    void stop();
    // Every running converter killed at once, without waiting.
    void kill();
    // Asks every running converter to end and waits for each, up to the grace
    // time, then kills; reports nothing (the runner is being left).
    void stopQuietly(int waitMs);

    bool isRunning() const { return m_active; }
    // Every runner of this process stopped quietly (stopQuietly): for a
    // termination request, so that no converter outlives the program and no half
    // file stays.
    static void stopEveryRunner(int waitMs);
    const BatchQueue &queue() const { return m_queue; }
    const Job &job(int index) const { return m_jobs[index]; }
    int jobCount() const { return int(m_jobs.size()); }

    // Progress of one converter lane, read on demand: the faces decide how often
    // (reading and parsing the converter's report costs time).
    int laneCount() const { return int(m_lanes.size()); }
    int laneJob(int lane) const;
    // Takes what the converter wrote since the last call; the figures are for the
    // whole job (all its runs): the percentage, and remaining time when known.
    ProgressReading readProgress(int lane);
    const ProgressParser &parser(int lane) const { return m_lanes[size_t(lane)]->parser; }
    int jobPercent(int lane) const;
    std::optional<double> jobRemainingSeconds(int lane) const;
    // The whole run: percentage over its jobs and remaining time (see
    // batchRemainingSeconds), reading every running converter first.
    int wholePercent();
    std::optional<double> wholeRemainingSeconds();

    // The jobs of this run that failed, in the order they ended; and the end of the
    // job that stopped the run, when a failure did (without keep-going).
    const QList<std::pair<int, JobEnd>> &failures() const { return m_failures; }
    std::optional<std::pair<int, JobEnd>> haltingFailure() const { return m_halting; }

signals:
    void jobStarted(int jobIndex, int lane);
    // The converter in `lane` wrote something (progress may be read).
    void outputArrived(int lane);
    void jobEnded(int jobIndex, const JobEnd &end);
    // The output of a job made to a size missed it: its last run starts again with
    // a corrected bitrate.
    void sizeCorrectionStarted(int jobIndex, int lane);
    // The output of a job whose size is a limit was too large at the quality: the
    // runs that make it to the size start.
    void limitRunsStarted(int jobIndex, int lane);
    // A job ended well, and its outputs take a while to reach the disk.
    void outputsWriting(int jobIndex);
    // Nothing runs and nothing more will start.
    void runEnded();

private:
    // One of the converters a run keeps going at once ("Gleichzeitig"): its
    // process, the job it converts (-1: free) and that job's state.
    struct Lane
    {
        QProcess process;
        ProgressParser parser;
        int index = 0;
        int jobIndex = -1;
        int run = 0;
        double frameRate = 0;
        bool stopRequested = false;
        QElapsedTimer clock;
        std::unique_ptr<OwnedFolder> workFolder;
        // Every file the job writes, as it was before the job started: what the
        // job wrote is removed when it does not end well.
        QList<OutputBefore> outputs;
        // A job that ended well is reported once its outputs are on the disk.
        OutputSync sync;
        bool onDisk = false;
        JobEnd endOnDisk;
        // A job with a size limit whose output missed it runs its last run again
        // with a corrected bitrate: the corrections so far, and the run as corrected.
        SizeTries sizeTries;
        QStringList correctedRun;
        // The run as started: with the loudness measured by an earlier run.
        QStringList startedRun;
        LoudnessHandover loudness;
        // A job whose size is a limit went on to its limit runs: the output of its
        // first runs was too large.
        bool onLimitRuns = false;
        // What the last run says it wrote, and the look at the file afterwards.
        OutputReportReader reportReader;
        OutputProbe probe;
        QElapsedTimer probeClock;
        // The converter's report, written to a file and read from it.
        QFile report;
    };

    void ensureLanes(int count);
    void advance();
    void startJob(Lane &lane, int jobIndex);
    void startRun(Lane &lane);
    // The run the lane converts: the job's own, or its last one corrected (with
    // the measured loudness, as started).
    const QStringList &currentRun(const Lane &lane) const;
    // The runs the lane goes through now: the job's runs, or its limit runs.
    const QList<QStringList> &laneRuns(const Lane &lane) const;
    // After the last run of a job with a size limit: starts the run again with a
    // corrected bitrate when the output missed the limit; false when it is kept.
    bool correctSize(Lane &lane);
    double convertedSeconds(const Lane &lane) const;
    void runFinished(Lane &lane, int exitCode, QProcess::ExitStatus status);
    void runUnstarted(Lane &lane);
    void endJob(Lane &lane, JobEnd end);
    // Reads what the converter wrote into the progress and the report reader.
    void consumeOutput(Lane &lane);
    // After a successful last run: the file is there, as large as the converter
    // said, and (where that costs little against the job) holds readable streams
    // of the length converted.
    void checkOutput(Lane &lane);
    QByteArray takeOutput(Lane &lane);
    void lookForOutput();
    // The folder relative names of the lane's runs count from.
    QString workingFolder(const Lane &lane) const;
    // Notes the outputs of a job before it starts, and removes those it wrote when
    // it did not end well; each time the record of unfinished outputs follows.
    void noteOutputs(Lane &lane);
    QStringList removeUnfinished(Lane &lane);
    void recordUnfinished();

    QList<Job> m_jobs;
    BatchQueue m_queue;
    std::vector<std::unique_ptr<Lane>> m_lanes;
    QList<double> m_finishedSeconds;
    QList<std::pair<int, JobEnd>> m_failures;
    std::optional<std::pair<int, JobEnd>> m_halting;
    QString m_program = QStringLiteral("ffmpeg");
    double m_frameRate = 25;
    bool m_active = false;
    bool m_advancing = false;
    QTimer m_killTimer;
    // What one look at an output with ffprobe takes, as measured (starting the
    // prober costs the same whatever the file): a job gets the look when it costs
    // at most a fiftieth of the job's own time.
    double m_probeSeconds = 0.35;
    double m_lookShare = 0.02;
    // The converters write their reports into files here; a timer looks at them.
    std::unique_ptr<OwnedFolder> m_reportFolder;
    // The outputs being written, for the next start of Quorvid should this
    // process be killed.
    UnfinishedRecord m_unfinished;
    QTimer m_readTimer;
};

Q_DECLARE_METATYPE(JobEnd)

#endif
