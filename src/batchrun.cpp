// The batch run beyond one job at a time: several converters at once, going on
// after a failure, the progress of the whole run, and the list kept on disk for
// a restart after a crash. With one job at a time and the check box off, a run
// goes exactly as the slots in batchconversion.cpp describe.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "batchfile.h"
#include "germannumbers.h"
#include "listfiles.h"
#include "messagebox.h"
#include "quorvid.h"
#include "runfiles.h"
#include "scriptexport.h"
#include "terminaltext.h"
#include "watchfeed.h"
#include "wholefile.h"

using namespace Qt::StringLiterals;

void MainWindow::setUpBatchExtras()
{
    parallelSpinBox->setMaximum(std::max(1, QThread::idealThreadCount()));
    connect(actionBatchlisteAlsSkript, &QAction::triggered, this, [this] {
        if (const QString said = exportListScript(batchJobs, this, messageFont, batchFilePath);
            !said.isEmpty())
            statusBar()->showMessage(said);
    });
    // The runner converts; the window shows what it reports.
    connect(&batchRunner, &JobRunner::jobStarted, this, [this](int row, int slot) {
        if (slot == 0 || batchRunner.queue().parallel() == 1) {
            currentJob = row;
            batchConvert();
        } else {
            statusBar()->showMessage(tr("Konvertiere ") + printableText(batchJobs.job(row).input));
        }
        showBatchProgress();
    });
    connect(&batchRunner, &JobRunner::outputArrived, this, &MainWindow::updatebatchbar);
    connect(&batchRunner, &JobRunner::jobEnded, this, [this](int row, const JobEnd &end) {
        if (end.unstarted)
            batchError(row);
        else
            batchbeendet(row, end);
    });
    connect(&batchRunner, &JobRunner::runEnded, this, &MainWindow::endBatchRun);
    // Either runner says when a job takes more runs than it began with.
    for (JobRunner *runner : {&singleRunner, &batchRunner}) {
        connect(runner, &JobRunner::sizeCorrectionStarted, this, [this] {
            statusBar()->showMessage(tr("Die Datei hat die Zielgröße verfehlt. Quorvid erstellt sie mit "
                                        "angepasster Bitrate noch einmal; bitte warten Sie."));
        });
        connect(runner, &JobRunner::outputsWriting, this, [this] {
            statusBar()->showMessage(
                tr("Die Ausgabe wird auf den Datenträger geschrieben; bitte warten Sie."));
        });
    }
    for (JobRunner *runner : {&singleRunner, &batchRunner})
        connect(runner, &JobRunner::limitRunsStarted, this, [this, runner](int jobIndex) {
            statusBar()->showMessage(
                tr("Die Datei ist in der Qualität der Vorlage größer als %1 MB geworden. Quorvid erstellt "
                   "sie nun in dieser Größe; bitte warten Sie.")
                    .arg(germanNumber(double(runner->job(jobIndex).sizeLimit) / 1e6, 1)));
        });
    // The list kept for a restart: saved after every change, offered at start
    // (after the converter check, which was scheduled first).
    connect(&keptList, &KeptList::message, this,
            [this](const QString &text, int timeoutMs) { statusBar()->showMessage(text, timeoutMs); });
    // Watched folders: their files join the list and start it when nothing runs.
    watchFeed = new WatchFeed(batchJobs, batchRunner, messageFont, this);
    connect(actionOrdnerUeberwachen, &QAction::triggered, this,
            [this] { watchFeed->editFolders(remembered.startFolder(Remembered::InputFolder)); });
    connect(watchFeed, &WatchFeed::message, this,
            [this](const QString &text) { statusBar()->showMessage(text); });
    connect(watchFeed, &WatchFeed::jobsAdded, this, [this] {
        jobCount = batchJobs.size();
        currentJob = batchJobs.firstPending();
        updateStartButton();
        if (!singleRunner.isRunning() && batchConvertButton->isEnabled())
            batchFirstStart();
    });
    QTimer::singleShot(0, this, [this] {
        if (!converterInstalled())
            return;
        // The list of the last run is offered before watched folders add to it.
        if (keptList.offer()) {
            jobCount = batchJobs.size();
            currentJob = std::max(batchJobs.firstPending(), 0);
            updateStartButton();
        }
        watchFeed->resume();
    });
}

void MainWindow::batchbeendet(int row, const JobEnd &end)
{
    const bool oneAtATime = batchRunner.queue().parallel() == 1;
    if (oneAtATime) {
        // The last figures of the job, and its output for the error box.
        ProgressReading last;
        last.percent = batchRunner.parser(0).percent();
        showProgress(last);
        ffmpegOutput = end.details;
    }
    if (end.outcome == RunOutcome::Success) {
        if (oneAtATime)
            setPercent(100);
        // A file that came out larger than its size is said, as everywhere.
        if (!end.sizeNote.isEmpty())
            statusBar()->showMessage(end.sizeNote);
        batchJobs.setState(row, ListedState::Done, end.sizeNote);
    } else if (end.outcome != RunOutcome::Cancelled && batchRunner.queue().keepGoing()) {
        batchJobs.setState(row, ListedState::Failed, end.reason);
    }
}

void MainWindow::batchError(int row)
{
    // The converter of this row could not be started at all.
    if (batchRunner.queue().keepGoing())
        batchJobs.setState(row, ListedState::Failed, tr("ffmpeg konnte nicht gestartet werden."));
}

void MainWindow::endBatchRun()
{
    // The one place where every batch run ends, with the counts of the run.
    const int firstPending = batchJobs.firstPending();
    if (firstPending >= 0)
        currentJob = firstPending;
    const BatchQueue &queue = batchRunner.queue();
    const int done = queue.done();
    const int failed = queue.failed();
    batchJobLabel->setText(batchSummary(done, failed));
    const auto halting = batchRunner.haltingFailure();
    // What the desktop notice says when the window is not active; a run that a
    // failure ended counts that job as failed.
    const Notice notice = batchEndNotice(done, halting ? std::max(failed, 1) : failed);

    if (halting && halting->second.unstarted) {
        lcdNumber->display(u"ERROR"_s);
        showErrorBox(messageFont,
                     tr("<b>ffmpeg konnte nicht gestartet werden!</b><br><br>Bitte versuchen sie "
                        "die Konvertierung<br>erneut zu starten."));
        statusBar()->showMessage(tr("Fehler!"), 5000);
    } else if (halting) {
        ffmpegOutput = halting->second.details;
        reportConverterFailure(halting->second, notice);
    } else if (queue.halted()) {
        lcdNumber->display(tr("Cancel"));
        statusBar()->showMessage(tr("Abgebrochen!"));
    } else if (failed == 0) {
        setPercent(100);
        lcdNumber->display(formatRemaining(0));
        statusBar()->showMessage(tr("Konvertierung beendet."));
        alertIfInactive(this, notice);
    } else {
        setPercent(100);
        lcdNumber->display(u"Error"_s);
        const QString summary = batchSummary(done, failed);
        statusBar()->showMessage(summary);
        alertIfInactive(this, notice);
        QStringList details;
        for (const auto &[row, end] : batchRunner.failures())
            details << batchRunner.job(row).input + u"\n    "_s + end.reason;
        showErrorBox(messageFont,
                     u"<b>"_s + summary.toHtmlEscaped() + u"</b><br><br>"_s +
                         tr("Die fehlgeschlagenen Jobs sind in der Spalte Status mit „Fehler“ "
                            "markiert<br>und werden beim nächsten Start erneut versucht. Die "
                            "Gründe stehen in den Details."),
                     details.join(u"\n"_s));
    }
    setBatchRunning(false);
}

void MainWindow::showBatchProgress()
{
    if (!batchRunner.isRunning())
        return;
    const BatchQueue &queue = batchRunner.queue();
    if (queue.parallel() == 1) {
        // One job at a time: the bar and the display follow that job.
        if (batchRunner.laneJob(0) >= 0)
            showProgress(batchRunner.readProgress(0));
    } else {
        // With several jobs at once the bar and the display show the whole run.
        setPercent(batchRunner.wholePercent());
    }
    const std::optional<double> left = batchRunner.wholeRemainingSeconds();
    if (queue.parallel() > 1)
        lcdNumber->display(left ? formatRemaining(*left) : QString());
    QString text = tr("Job %1 von %2").arg(queue.started()).arg(queue.total());
    if (left)
        text += u" – "_s + tr("Batch: noch %1").arg(formatRemaining(*left));
    if (batchJobLabel->text() != text)
        batchJobLabel->setText(text);
}
