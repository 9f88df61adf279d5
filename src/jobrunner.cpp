#include "jobrunner.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#include "batchfile.h"
#include "makejob.h"
#include "runfiles.h"
#include "startcheck.h"
#include "timerange.h"
#include "workfiles.h"

using namespace Qt::StringLiterals;

namespace {
// The runners alive in this process, for a termination request.
QList<JobRunner *> &liveRunners()
{
    static QList<JobRunner *> runners;
    return runners;
}
constexpr int defaultStopGraceMs = 10000;
// How often a running converter's report is looked at: four times a second keeps
// the bar and the remaining time moving smoothly, and each look wakes the window.
constexpr int reportLookMs = 250;
} // namespace

JobRunner::JobRunner(QObject *parent) : QObject(parent)
{
    liveRunners().append(this);
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(defaultStopGraceMs);
    connect(&m_killTimer, &QTimer::timeout, this, [this] { kill(); });
    m_readTimer.setInterval(reportLookMs);
    connect(&m_readTimer, &QTimer::timeout, this, &JobRunner::lookForOutput);
}

JobRunner::~JobRunner()
{
    liveRunners().removeOne(this);
    // Nothing is reported any more; a converter still running is ended, never
    // left writing on behind the runner's back.
    for (const auto &lane : m_lanes) {
        lane->process.disconnect(this);
        if (lane->process.state() != QProcess::NotRunning) {
            lane->process.kill();
            lane->process.waitForFinished(1000);
        }
        // What it had written is no whole file, or not yet known to be on disk.
        lane->sync.cancel();
        if (lane->jobIndex >= 0)
            removeUnfinished(*lane);
    }
}

void JobRunner::ensureLanes(int count)
{
    while (int(m_lanes.size()) < count) {
        m_lanes.push_back(std::make_unique<Lane>());
        Lane *lane = m_lanes.back().get();
        const int index = int(m_lanes.size()) - 1;
        lane->index = index;
        connect(&lane->process, &QProcess::readyReadStandardError, this,
                [this, index] { emit outputArrived(index); });
        connect(&lane->process, &QProcess::finished, this,
                [this, lane](int code, QProcess::ExitStatus status) { runFinished(*lane, code, status); });
        connect(&lane->process, &QProcess::errorOccurred, this, [this, lane](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                runUnstarted(*lane);
        });
        connect(&lane->sync, &OutputSync::slow, this, [this, lane] { emit outputsWriting(lane->jobIndex); });
        connect(&lane->sync, &OutputSync::finished, this, [this, lane] {
            lane->onDisk = true;
            endJob(*lane, lane->endOnDisk);
        });
        connect(&lane->probe, &OutputProbe::finished, this, [this, lane](const QString &reason) {
            m_probeSeconds = double(lane->probeClock.elapsed()) / 1000;
            JobEnd end;
            end.details = lane->parser.tail();
            if (!reason.isEmpty()) {
                end.outcome = RunOutcome::Error;
                end.reason = reason;
            }
            endJob(*lane, end);
        });
    }
}

void JobRunner::start(const QList<Job> &jobs, const QList<JobState> &states, int parallel, bool keepGoing)
{
    m_jobs = jobs;
    parallel = std::max(1, parallel);
    m_queue.begin(states, parallel, keepGoing);
    ensureLanes(parallel);
    m_finishedSeconds.clear();
    m_failures.clear();
    m_halting.reset();
    m_active = true;
    m_readTimer.start();
    advance();
}

void JobRunner::append(const QList<Job> &jobs)
{
    m_jobs += jobs;
    if (!m_active)
        return;
    m_queue.append(int(jobs.size()));
    advance();
}

void JobRunner::advance()
{
    // A converter that cannot be started reports it from inside the start; the
    // loop below then simply goes on.
    if (m_advancing)
        return;
    m_advancing = true;
    for (int next = m_queue.takeNext(); next >= 0; next = m_queue.takeNext()) {
        auto free = std::find_if(m_lanes.begin(), m_lanes.begin() + m_queue.parallel(),
                                 [](const auto &lane) { return lane->jobIndex < 0; });
        startJob(**free, next);
    }
    m_advancing = false;
    if (m_active && m_queue.isOver()) {
        m_active = false;
        m_killTimer.stop();
        m_readTimer.stop();
        emit runEnded();
    }
}

void JobRunner::startJob(Lane &lane, int jobIndex)
{
    const Job &job = m_jobs[jobIndex];
    lane.jobIndex = jobIndex;
    lane.run = 0;
    lane.sizeTries = SizeTries();
    lane.correctedRun.clear();
    lane.loudness.reset();
    lane.onLimitRuns = false;
    lane.stopRequested = false;
    lane.clock.start();
    if (const auto rate = jobFrameRate(job.text()))
        m_frameRate = *rate;
    lane.frameRate = m_frameRate;
    lane.outputs.clear();
    lane.onDisk = false;
    emit jobStarted(jobIndex, lane.index);
    // Never started: an input the converter would wait on for ever, or an
    // argument list the system cannot hand over.
    if (const QString refusal = startRefusal(job); !refusal.isEmpty()) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.refused = true;
        end.reason = refusal;
        endJob(lane, end);
        return;
    }
    // The runs of a job of several runs share a private folder of their own as
    // working folder: the first pass leaves its statistics there for the second,
    // and two jobs at once never see each other's.
    lane.workFolder.reset();
    if (job.needsWorkFolder()) {
        lane.workFolder = std::make_unique<OwnedFolder>();
        if (!lane.workFolder->isValid()) {
            JobEnd end;
            end.outcome = RunOutcome::Error;
            end.reason = tr("Es konnte kein temporärer Ordner angelegt werden (%1).")
                             .arg(lane.workFolder->errorString());
            endJob(lane, end);
            return;
        }
    }
    // Never started when a run would write a file the job reads (the converter
    // would destroy it) or when what it writes cannot be told.
    const WriteVerdict verdict =
        checkWrites(job, lane.workFolder ? lane.workFolder->path() : QDir::currentPath());
    if (verdict.refused) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.refused = true;
        end.reason = verdict.sameAsInput ? tr("Eingabe und Ausgabe sind dieselbe Datei") : verdict.reason;
        endJob(lane, end);
        return;
    }
    if (const QString failed = makeWorkFiles(job.workFiles, workingFolder(lane)); !failed.isEmpty()) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.reason = failed;
        endJob(lane, end);
        return;
    }
    noteOutputs(lane);
    startRun(lane);
}

QString JobRunner::workingFolder(const Lane &lane) const
{
    return lane.workFolder ? lane.workFolder->path() : QDir::currentPath();
}

void JobRunner::noteOutputs(Lane &lane)
{
    // Every single file a run writes (numbered ones are not known in advance).
    lane.outputs.clear();
    QSet<QString> noted;
    for (const QStringList &run : m_jobs[lane.jobIndex].allRuns())
        for (const FileUse &written : runFiles(run, workingFolder(lane)).writes)
            if (written.pattern.isEmpty() && !written.path.startsWith(u"/dev/"_s) &&
                !noted.contains(written.path)) {
                noted.insert(written.path);
                lane.outputs << OutputBefore::of(written.path);
            }
    recordUnfinished();
}

QStringList JobRunner::removeUnfinished(Lane &lane)
{
    const QStringList removed = removeWritten(lane.outputs);
    lane.outputs.clear();
    recordUnfinished();
    return removed;
}

void JobRunner::recordUnfinished()
{
    QList<OutputBefore> all;
    for (const auto &lane : m_lanes)
        all += lane->outputs;
    m_unfinished.write(all);
}

void JobRunner::startRun(Lane &lane)
{
    lane.startedRun =
        lane.loudness.prepare(lane.sizeTries.corrections > 0 ? lane.correctedRun : laneRuns(lane)[lane.run]);
    lane.parser.startRun();
    // A run of a part of its input counts that part, not the whole file.
    // A join counts the length of all its files, which the converter cannot tell.
    const TimeRange part = rangeOfRun(currentRun(lane));
    const double whole = m_jobs[lane.jobIndex].inputSeconds;
    if (!part.isEmpty() || whole > 0)
        lane.parser.expectPart(part.from.value_or(0),
                               part.length() ? part.length()
                               : whole > 0
                                   ? std::optional<double>(std::max(0.0, whole - part.from.value_or(0)))
                                   : std::nullopt);
    lane.reportReader = OutputReportReader();
    lane.process.setWorkingDirectory(lane.workFolder ? lane.workFolder->path() : QString());
    // The converter writes its report in many small pieces. Read from a pipe,
    // each piece wakes the window; written to a file, it is read in one go when
    // the progress is shown and at the run's end. Without a temporary folder the
    // pipe is used as before.
    lane.report.close();
    if (!m_reportFolder)
        m_reportFolder = std::make_unique<OwnedFolder>();
    const QString reportPath = m_reportFolder->isValid()
                                   ? m_reportFolder->filePath(u"converter%1.txt"_s.arg(lane.index))
                                   : QString();
    lane.process.setStandardErrorFile(reportPath);
    startConverter(lane.process, m_program, currentRun(lane));
    if (!reportPath.isEmpty()) {
        lane.report.setFileName(reportPath);
        if (!lane.report.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            lane.report.close();
    }
}

const QStringList &JobRunner::currentRun(const Lane &lane) const
{
    return lane.startedRun;
}

const QList<QStringList> &JobRunner::laneRuns(const Lane &lane) const
{
    const Job &job = m_jobs[lane.jobIndex];
    return lane.onLimitRuns ? job.limitRuns : job.runs;
}

double JobRunner::convertedSeconds(const Lane &lane) const
{
    // What the converter really read (its last position), not what the header of
    // the input claims: a subtitle that runs on makes that longer than the picture.
    const double read = lane.reportReader.expectation().seconds;
    return read > 0 ? read : lane.parser.totalSeconds();
}

bool JobRunner::correctSize(Lane &lane)
{
    const Job &job = m_jobs[lane.jobIndex];
    const QStringList &run = currentRun(lane);
    if (job.sizeLimit <= 0 || writesNoFile(run))
        return false;
    const QString workFolder = lane.workFolder ? lane.workFolder->path() : QString();
    const qint64 bytes = QFileInfo(QDir(workFolder).absoluteFilePath(runOutput(run))).size();
    if (!job.limitRuns.isEmpty() && !lane.onLimitRuns) {
        // A limit: a file made at the quality that stays below it is kept as it
        // is (never made larger); a larger one is made again to the size.
        if (bytes < job.sizeLimit)
            return false;
        lane.onLimitRuns = true;
        lane.run = 0;
        emit limitRunsStarted(lane.jobIndex, lane.index);
        startRun(lane);
        return true;
    }
    std::optional<QStringList> again =
        correctedSizeRun(run, job.sizeLimit, bytes, convertedSeconds(lane), lane.sizeTries);
    if (!again)
        return false;
    lane.correctedRun = *std::move(again);
    emit sizeCorrectionStarted(lane.jobIndex, lane.index);
    startRun(lane);
    return true;
}

QByteArray JobRunner::takeOutput(Lane &lane)
{
    // Before the first start, and while the report goes to a file, the process
    // has nothing to read.
    const QByteArray bytes = lane.report.isOpen()        ? lane.report.readAll()
                             : lane.process.isReadable() ? lane.process.readAllStandardError()
                                                         : QByteArray();
    lane.loudness.feed(bytes);
    return bytes;
}

void JobRunner::lookForOutput()
{
    for (const auto &lane : m_lanes)
        if (lane->jobIndex >= 0 && lane->report.isOpen() && lane->report.size() > lane->report.pos())
            emit outputArrived(lane->index);
}

void JobRunner::runFinished(Lane &lane, int exitCode, QProcess::ExitStatus status)
{
    if (lane.jobIndex < 0)
        return;
    // What the converter wrote since the last look is shown once, as a pipe would
    // have shown it, before the end is handled.
    if (lane.report.isOpen() && lane.report.size() > lane.report.pos())
        emit outputArrived(lane.index);
    consumeOutput(lane);
    RunOutcome outcome = classifyExit(exitCode, status, lane.stopRequested);
    // A full disk ends some runs with status 0 and a cut file: never a success.
    if (outcome != RunOutcome::Cancelled && lane.reportReader.expectation().diskFull) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.diskFull = true;
        end.details = lane.parser.tail();
        const QString written = runOutput(currentRun(lane));
        end.reason = diskFullReason(writesNoFile(currentRun(lane))
                                        ? workingFolder(lane)
                                        : QFileInfo(QDir(workingFolder(lane)), written).absolutePath());
        endJob(lane, end);
        return;
    }
    if (outcome == RunOutcome::Success && !lane.stopRequested) {
        if (const QString failure = lane.loudness.runEnded(); !failure.isEmpty()) {
            JobEnd end;
            end.outcome = RunOutcome::Error;
            end.reason = failure;
            end.details = lane.parser.tail();
            endJob(lane, end);
            return;
        }
    }
    if (outcome == RunOutcome::Success && lane.run + 1 < laneRuns(lane).size() && !lane.stopRequested) {
        ++lane.run;
        startRun(lane);
        return;
    }
    if (outcome == RunOutcome::Success && !lane.stopRequested) {
        if (correctSize(lane))
            return;
        checkOutput(lane);
        return;
    }
    JobEnd end;
    end.outcome = outcome;
    end.details = lane.parser.tail();
    if (outcome == RunOutcome::Crashed)
        end.reason = tr("ffmpeg ist abgestürzt.");
    else if (outcome == RunOutcome::Error)
        end.reason = lastLine(end.details);
    endJob(lane, end);
}

void JobRunner::consumeOutput(Lane &lane)
{
    const QByteArray bytes = takeOutput(lane);
    lane.parser.feed(bytes, lane.frameRate);
    lane.reportReader.feed(bytes);
}

void JobRunner::checkOutput(Lane &lane)
{
    const QStringList &run = currentRun(lane);
    const OutputExpectation expected = lane.reportReader.expectation();
    JobEnd end;
    end.details = lane.parser.tail();
    // Nothing to look at: a run to no file, or one whose report names no output
    // (a hand-written job that silenced the converter); the exit status stands.
    if (writesNoFile(run) || expected.nullOutput || !expected.reported) {
        endJob(lane, end);
        return;
    }
    const QString workFolder = lane.workFolder ? lane.workFolder->path() : QString();
    // The cheap look first: the file is there and as large as the converter said.
    const QString file = runOutput(run);
    end.reason = checkOutputFile(QDir(workFolder).absoluteFilePath(file), expected);
    if (!end.reason.isEmpty()) {
        end.outcome = RunOutcome::Error;
        endJob(lane, end);
        return;
    }
    const double jobSeconds = double(lane.clock.elapsed()) / 1000;
    if (m_lookShare < 1 && m_probeSeconds > jobSeconds * m_lookShare) {
        endJob(lane, end);
        return;
    }
    lane.probeClock.start();
    lane.probe.start(file, expected, workFolder);
}

void JobRunner::runUnstarted(Lane &lane)
{
    if (lane.jobIndex < 0)
        return;
    JobEnd end;
    end.outcome = RunOutcome::Error;
    end.unstarted = true;
    end.reason = unstartedReason(lane.process.errorString());
    endJob(lane, end);
}

void JobRunner::endJob(Lane &lane, JobEnd end)
{
    if (end.outcome == RunOutcome::Success && !lane.onDisk) {
        // Kept outputs go to the disk first; what the work folder holds goes away.
        QStringList kept;
        const QString workFolder = lane.workFolder ? lane.workFolder->path() + u'/' : QString();
        for (const OutputBefore &output : std::as_const(lane.outputs))
            if (workFolder.isEmpty() || !output.path.startsWith(workFolder))
                kept << output.path;
        if (!kept.isEmpty()) {
            lane.endOnDisk = end;
            lane.sync.start(kept);
            return;
        }
    }
    const int jobIndex = lane.jobIndex;
    if (end.outcome != RunOutcome::Success) {
        end.removedOutputs = removeUnfinished(lane);
    } else {
        lane.outputs.clear();
        recordUnfinished();
        if (m_jobs[jobIndex].sizeLimit > 0)
            end.sizeNote = oversizeNote(QDir(workingFolder(lane)).absoluteFilePath(m_jobs[jobIndex].output),
                                        double(m_jobs[jobIndex].sizeLimit) / 1e6);
    }
    lane.jobIndex = -1;
    lane.workFolder.reset(); // removed with whatever the passes left there
    lane.report.close();
    end.seconds = double(lane.clock.elapsed()) / 1000;
    end.sizeCorrections = lane.sizeTries.corrections;
    if (end.unstarted || end.refused)
        m_queue.finishUnstarted(jobIndex);
    else
        m_queue.finish(jobIndex, end.outcome);
    if (end.outcome == RunOutcome::Success) {
        m_finishedSeconds << end.seconds;
    } else if (end.outcome != RunOutcome::Cancelled) {
        m_failures.append({jobIndex, end});
        if (!m_queue.keepGoing() && !m_halting)
            m_halting = std::make_pair(jobIndex, end);
    }
    emit jobEnded(jobIndex, end);
    advance();
}

void JobRunner::stop()
{
    m_queue.stop();
    bool any = false;
    for (const auto &lane : m_lanes) {
        if (lane->jobIndex >= 0 && lane->probe.isRunning()) {
            // The conversion itself is over: the look at its file is let finish.
            continue;
        }
        if (lane->jobIndex < 0 || lane->process.state() == QProcess::NotRunning)
            continue;
        lane->stopRequested = true;
        lane->process.terminate();
        any = true;
    }
    if (any)
        m_killTimer.start();
    // Nothing was running: the run is over now.
    advance();
}

void JobRunner::kill()
{
    for (const auto &lane : m_lanes) {
        if (lane->process.state() == QProcess::NotRunning)
            continue;
        lane->stopRequested = true;
        lane->process.kill();
    }
}

void JobRunner::stopEveryRunner(int waitMs)
{
    for (JobRunner *runner : liveRunners())
        runner->stopQuietly(waitMs);
}

void JobRunner::stopQuietly(int waitMs)
{
    m_queue.stop();
    for (const auto &lane : m_lanes) {
        lane->process.blockSignals(true);
        if (lane->process.state() != QProcess::NotRunning)
            lane->process.terminate();
    }
    for (const auto &lane : m_lanes) {
        if (lane->process.state() != QProcess::NotRunning && !lane->process.waitForFinished(waitMs)) {
            lane->process.kill();
            lane->process.waitForFinished(waitMs);
        }
        lane->process.blockSignals(false);
        lane->probe.cancel();
        lane->sync.cancel();
        if (lane->jobIndex >= 0)
            removeUnfinished(*lane);
        lane->jobIndex = -1;
        lane->workFolder.reset();
    }
    m_active = false;
    m_killTimer.stop();
    m_readTimer.stop();
}
