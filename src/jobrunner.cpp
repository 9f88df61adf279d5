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
    for (const auto &slot : m_slots) {
        slot->process.disconnect(this);
        if (slot->process.state() != QProcess::NotRunning) {
            slot->process.kill();
            slot->process.waitForFinished(1000);
        }
        // What it had written is no whole file.
        if (slot->job >= 0)
            removeUnfinished(*slot);
    }
}

void JobRunner::ensureSlots(int count)
{
    while (int(m_slots.size()) < count) {
        m_slots.push_back(std::make_unique<Slot>());
        Slot *slot = m_slots.back().get();
        const int index = int(m_slots.size()) - 1;
        slot->index = index;
        connect(&slot->process, &QProcess::readyReadStandardError, this,
                [this, index] { emit outputArrived(index); });
        connect(&slot->process, &QProcess::finished, this,
                [this, slot](int code, QProcess::ExitStatus status) { runFinished(*slot, code, status); });
        connect(&slot->process, &QProcess::errorOccurred, this, [this, slot](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                runUnstarted(*slot);
        });
        connect(&slot->probe, &OutputProbe::finished, this, [this, slot](const QString &reason) {
            m_probeSeconds = double(slot->probeClock.elapsed()) / 1000;
            JobEnd end;
            end.details = slot->parser.tail();
            if (!reason.isEmpty()) {
                end.outcome = RunOutcome::Error;
                end.reason = reason;
            }
            endJob(*slot, end);
        });
    }
}

void JobRunner::start(const QList<Job> &jobs, const QList<JobState> &states, int parallel, bool keepGoing)
{
    m_jobs = jobs;
    parallel = std::max(1, parallel);
    m_queue.begin(states, parallel, keepGoing);
    ensureSlots(parallel);
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
    for (int job = m_queue.takeNext(); job >= 0; job = m_queue.takeNext()) {
        auto free = std::find_if(m_slots.begin(), m_slots.begin() + m_queue.parallel(),
                                 [](const auto &slot) { return slot->job < 0; });
        startJob(**free, job);
    }
    m_advancing = false;
    if (m_active && m_queue.isOver()) {
        m_active = false;
        m_killTimer.stop();
        m_readTimer.stop();
        emit runEnded();
    }
}

void JobRunner::startJob(Slot &slot, int job)
{
    const Job &theJob = m_jobs[job];
    slot.job = job;
    slot.run = 0;
    slot.sizeTries = SizeTries();
    slot.correctedRun.clear();
    slot.stopRequested = false;
    slot.clock.start();
    if (const auto rate = jobFrameRate(theJob.text()))
        m_frameRate = *rate;
    slot.frameRate = m_frameRate;
    slot.outputs.clear();
    emit jobStarted(job, slot.index);
    // Never started: an input the converter would wait on for ever, or an
    // argument list the system cannot hand over.
    if (const QString refusal = startRefusal(theJob); !refusal.isEmpty()) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.refused = true;
        end.reason = refusal;
        endJob(slot, end);
        return;
    }
    // The runs of a job of several runs share a private folder of their own as
    // working folder: the first pass leaves its statistics there for the second,
    // and two jobs at once never see each other's.
    slot.workFolder.reset();
    if (theJob.runs.size() > 1) {
        slot.workFolder = std::make_unique<OwnedFolder>();
        if (!slot.workFolder->isValid()) {
            JobEnd end;
            end.outcome = RunOutcome::Error;
            end.reason = tr("Es konnte kein temporärer Ordner angelegt werden (%1).")
                             .arg(slot.workFolder->errorString());
            endJob(slot, end);
            return;
        }
    }
    // Never started when a run would write a file the job reads (the converter
    // would destroy it) or when what it writes cannot be told.
    const WriteVerdict verdict =
        checkWrites(theJob, slot.workFolder ? slot.workFolder->path() : QDir::currentPath());
    if (verdict.refused) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.refused = true;
        end.reason = verdict.sameAsInput ? tr("Eingabe und Ausgabe sind dieselbe Datei") : verdict.reason;
        endJob(slot, end);
        return;
    }
    noteOutputs(slot);
    startRun(slot);
}

QString JobRunner::workingFolder(const Slot &slot) const
{
    return slot.workFolder ? slot.workFolder->path() : QDir::currentPath();
}

void JobRunner::noteOutputs(Slot &slot)
{
    // Every single file a run writes (numbered ones are not known in advance).
    slot.outputs.clear();
    QSet<QString> noted;
    for (const QStringList &run : m_jobs[slot.job].runs)
        for (const FileUse &written : runFiles(run, workingFolder(slot)).writes)
            if (written.pattern.isEmpty() && !written.path.startsWith(u"/dev/"_s) && !noted.contains(written.path)) {
                noted.insert(written.path);
                slot.outputs << OutputBefore::of(written.path);
            }
    recordUnfinished();
}

QStringList JobRunner::removeUnfinished(Slot &slot)
{
    const QStringList removed = removeWritten(slot.outputs);
    slot.outputs.clear();
    recordUnfinished();
    return removed;
}

void JobRunner::recordUnfinished()
{
    QList<OutputBefore> all;
    for (const auto &slot : m_slots)
        all += slot->outputs;
    m_unfinished.write(all);
}

void JobRunner::startRun(Slot &slot)
{
    slot.parser.startRun();
    // A run of a part of its input counts that part, not the whole file.
    const TimeRange part = rangeOfRun(currentRun(slot));
    if (!part.isEmpty())
        slot.parser.expectPart(part.from.value_or(0), part.length());
    slot.reportReader = OutputReportReader();
    slot.process.setWorkingDirectory(slot.workFolder ? slot.workFolder->path() : QString());
    // The converter writes its report in many small pieces. Read from a pipe,
    // each piece wakes the window; written to a file, it is read in one go when
    // the progress is shown and at the run's end. Without a temporary folder the
    // pipe is used as before.
    slot.report.close();
    if (!m_reportFolder)
        m_reportFolder = std::make_unique<OwnedFolder>();
    const QString reportPath = m_reportFolder->isValid()
                                   ? m_reportFolder->filePath(u"converter%1.txt"_s.arg(slot.index))
                                   : QString();
    slot.process.setStandardErrorFile(reportPath);
    startConverter(slot.process, m_program, currentRun(slot));
    if (!reportPath.isEmpty()) {
        slot.report.setFileName(reportPath);
        if (!slot.report.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            slot.report.close();
    }
}

const QStringList &JobRunner::currentRun(const Slot &slot) const
{
    return slot.sizeTries.corrections > 0 ? slot.correctedRun : m_jobs[slot.job].runs[slot.run];
}

bool JobRunner::correctSize(Slot &slot)
{
    const Job &job = m_jobs[slot.job];
    const QStringList &run = currentRun(slot);
    if (job.sizeLimit <= 0 || writesNoFile(run))
        return false;
    const QString workFolder = slot.workFolder ? slot.workFolder->path() : QString();
    const qint64 bytes = QFileInfo(QDir(workFolder).absoluteFilePath(runOutput(run))).size();
    std::optional<QStringList> again =
        correctedSizeRun(run, job.sizeLimit, bytes, slot.parser.totalSeconds(), slot.sizeTries);
    if (!again)
        return false;
    slot.correctedRun = *std::move(again);
    emit sizeCorrectionStarted(slot.job, slot.index);
    startRun(slot);
    return true;
}

QByteArray JobRunner::takeOutput(Slot &slot)
{
    if (slot.report.isOpen())
        return slot.report.readAll();
    // Before the first start, and while the report goes to a file, the process
    // has nothing to read.
    return slot.process.isReadable() ? slot.process.readAllStandardError() : QByteArray();
}

void JobRunner::lookForOutput()
{
    for (const auto &slot : m_slots)
        if (slot->job >= 0 && slot->report.isOpen() && slot->report.size() > slot->report.pos())
            emit outputArrived(slot->index);
}

void JobRunner::runFinished(Slot &slot, int exitCode, QProcess::ExitStatus status)
{
    if (slot.job < 0)
        return;
    // What the converter wrote since the last look is shown once, as a pipe would
    // have shown it, before the end is handled.
    if (slot.report.isOpen() && slot.report.size() > slot.report.pos())
        emit outputArrived(slot.index);
    consumeOutput(slot);
    RunOutcome outcome = classifyExit(exitCode, status, slot.stopRequested);
    const Job &job = m_jobs[slot.job];
    // A full disk ends some runs with status 0 and a cut file: never a success.
    if (outcome != RunOutcome::Cancelled && slot.reportReader.expectation().diskFull) {
        JobEnd end;
        end.outcome = RunOutcome::Error;
        end.diskFull = true;
        end.details = slot.parser.tail();
        const QString written = runOutput(currentRun(slot));
        end.reason = diskFullReason(writesNoFile(currentRun(slot))
                                        ? workingFolder(slot)
                                        : QFileInfo(QDir(workingFolder(slot)), written).absolutePath());
        endJob(slot, end);
        return;
    }
    if (outcome == RunOutcome::Success && slot.run + 1 < job.runs.size() && !slot.stopRequested) {
        ++slot.run;
        startRun(slot);
        return;
    }
    if (outcome == RunOutcome::Success && !slot.stopRequested) {
        if (correctSize(slot))
            return;
        checkOutput(slot);
        return;
    }
    JobEnd end;
    end.outcome = outcome;
    end.details = slot.parser.tail();
    if (outcome == RunOutcome::Crashed)
        end.reason = tr("ffmpeg ist abgestürzt.");
    else if (outcome == RunOutcome::Error)
        end.reason = lastLine(end.details);
    endJob(slot, end);
}

void JobRunner::consumeOutput(Slot &slot)
{
    const QByteArray bytes = takeOutput(slot);
    slot.parser.feed(bytes, slot.frameRate);
    slot.reportReader.feed(bytes);
}

void JobRunner::checkOutput(Slot &slot)
{
    const QStringList &run = currentRun(slot);
    const OutputExpectation expected = slot.reportReader.expectation();
    JobEnd end;
    end.details = slot.parser.tail();
    // Nothing to look at: a run to no file, or one whose report names no output
    // (a hand-written job that silenced the converter); the exit status stands.
    if (writesNoFile(run) || expected.nullOutput || !expected.reported) {
        endJob(slot, end);
        return;
    }
    const QString workFolder = slot.workFolder ? slot.workFolder->path() : QString();
    // The cheap look first: the file is there and as large as the converter said.
    const QString file = runOutput(run);
    end.reason = checkOutputFile(QDir(workFolder).absoluteFilePath(file), expected);
    if (!end.reason.isEmpty()) {
        end.outcome = RunOutcome::Error;
        endJob(slot, end);
        return;
    }
    const double jobSeconds = double(slot.clock.elapsed()) / 1000;
    if (m_lookShare < 1 && m_probeSeconds > jobSeconds * m_lookShare) {
        endJob(slot, end);
        return;
    }
    slot.probeClock.start();
    slot.probe.start(file, expected, workFolder);
}

void JobRunner::runUnstarted(Slot &slot)
{
    if (slot.job < 0)
        return;
    JobEnd end;
    end.outcome = RunOutcome::Error;
    end.unstarted = true;
    end.reason = unstartedReason(slot.process.errorString());
    endJob(slot, end);
}

void JobRunner::endJob(Slot &slot, JobEnd end)
{
    const int job = slot.job;
    if (end.outcome != RunOutcome::Success) {
        end.removedOutputs = removeUnfinished(slot);
    } else {
        slot.outputs.clear();
        recordUnfinished();
        if (m_jobs[job].sizeLimit > 0)
            end.sizeNote = oversizeNote(QDir(workingFolder(slot)).absoluteFilePath(m_jobs[job].output),
                                        double(m_jobs[job].sizeLimit) / 1e6);
    }
    slot.job = -1;
    slot.workFolder.reset(); // removed with whatever the passes left there
    slot.report.close();
    end.seconds = double(slot.clock.elapsed()) / 1000;
    end.sizeCorrections = slot.sizeTries.corrections;
    if (end.unstarted || end.refused)
        m_queue.finishUnstarted(job);
    else
        m_queue.finish(job, end.outcome);
    if (end.outcome == RunOutcome::Success) {
        m_finishedSeconds << end.seconds;
    } else if (end.outcome != RunOutcome::Cancelled) {
        m_failures.append({job, end});
        if (!m_queue.keepGoing() && !m_halting)
            m_halting = std::make_pair(job, end);
    }
    emit jobEnded(job, end);
    advance();
}

void JobRunner::stop()
{
    m_queue.stop();
    bool any = false;
    for (const auto &slot : m_slots) {
        if (slot->job >= 0 && slot->probe.isRunning()) {
            // The conversion itself is over: the look at its file is let finish.
            continue;
        }
        if (slot->job < 0 || slot->process.state() == QProcess::NotRunning)
            continue;
        slot->stopRequested = true;
        slot->process.terminate();
        any = true;
    }
    if (any)
        m_killTimer.start();
    // Nothing was running: the run is over now.
    advance();
}

void JobRunner::kill()
{
    for (const auto &slot : m_slots) {
        if (slot->process.state() == QProcess::NotRunning)
            continue;
        slot->stopRequested = true;
        slot->process.kill();
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
    for (const auto &slot : m_slots) {
        slot->process.blockSignals(true);
        if (slot->process.state() != QProcess::NotRunning)
            slot->process.terminate();
    }
    for (const auto &slot : m_slots) {
        if (slot->process.state() != QProcess::NotRunning && !slot->process.waitForFinished(waitMs)) {
            slot->process.kill();
            slot->process.waitForFinished(waitMs);
        }
        slot->process.blockSignals(false);
        slot->probe.cancel();
        if (slot->job >= 0)
            removeUnfinished(*slot);
        slot->job = -1;
        slot->workFolder.reset();
    }
    m_active = false;
    m_killTimer.stop();
    m_readTimer.stop();
}

int JobRunner::slotJob(int slot) const
{
    return slot >= 0 && slot < int(m_slots.size()) ? m_slots[size_t(slot)]->job : -1;
}

ProgressReading JobRunner::readProgress(int index)
{
    Slot &slot = *m_slots[size_t(index)];
    const QByteArray bytes = takeOutput(slot);
    slot.reportReader.feed(bytes);
    ProgressReading reading = slot.parser.feed(bytes, slot.frameRate);
    if (slot.job < 0)
        return reading;
    const qsizetype runs = m_jobs[slot.job].runs.size();
    if (runs > 1 || m_jobs[slot.job].sizeLimit > 0) {
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
    const Slot &slot = *m_slots[size_t(index)];
    if (slot.job < 0)
        return 0;
    // A job made to a size may make its last run again when the output missed the
    // size: its bar stops just below the end until the job is over.
    if (slot.sizeTries.corrections > 0)
        return 99;
    const qsizetype runs = m_jobs[slot.job].runs.size();
    const int percent = int((slot.run * 100 + slot.parser.percent()) / std::max<qsizetype>(1, runs));
    return m_jobs[slot.job].sizeLimit > 0 ? std::min(99, percent) : percent;
}

std::optional<double> JobRunner::jobRemainingSeconds(int index) const
{
    const Slot &slot = *m_slots[size_t(index)];
    if (slot.job < 0 || !slot.parser.durationKnown())
        return std::nullopt;
    const std::optional<double> left = slot.parser.remainingSeconds();
    if (!left)
        return std::nullopt;
    const qsizetype runsAfter = m_jobs[slot.job].runs.size() - slot.run - 1;
    if (runsAfter <= 0)
        return left;
    // Each run still to come is counted as long as this one takes in all.
    const double elapsed = double(slot.clock.elapsed()) / 1000 / (slot.run + 1);
    return *left + double(runsAfter) * (elapsed + *left);
}

int JobRunner::wholePercent()
{
    if (m_queue.total() == 0)
        return 0;
    double sum = 100.0 * (m_queue.done() + m_queue.failed());
    for (const auto &slot : m_slots) {
        if (slot->job < 0)
            continue;
        consumeOutput(*slot);
        sum += jobPercent(slot->index);
    }
    return int(sum / m_queue.total());
}

std::optional<double> JobRunner::wholeRemainingSeconds()
{
    QList<std::optional<double>> remaining;
    for (const auto &slot : m_slots) {
        if (slot->job < 0)
            continue;
        consumeOutput(*slot);
        remaining << jobRemainingSeconds(slot->index);
    }
    return batchRemainingSeconds(remaining, m_finishedSeconds, m_queue.total() - m_queue.started(),
                                 m_queue.parallel());
}
