// The batch run beyond one job at a time: several converters at once, going on
// after a failure, the progress of the whole run, and the list kept on disk for
// a restart after a crash. With one job at a time and the check box off, a run
// goes exactly as the slots in batchconversion.cpp describe.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "batchfile.h"
#include "quorvid.h"
#include "scriptexport.h"
#include "terminaltext.h"

using namespace Qt::StringLiterals;

namespace {
// Marks a Status cell that tells of a failure: the job is still pending.
constexpr int failedRole = Qt::UserRole + 1;

QTableWidgetItem *statusItem(const QString &text, bool failed)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (failed)
        item->setData(failedRole, true);
    return item;
}
} // namespace

void MainWindow::setUpBatchExtras()
{
    parallelSpinBox->setMaximum(std::max(1, QThread::idealThreadCount()));
    connect(actionBatchlisteAlsSkript, &QAction::triggered, this, [this] { exportScript(); });
    // After the converter check, which was scheduled first.
    QTimer::singleShot(0, this, [this] {
        if (converterInstalled())
            offerRecovery();
    });
}

bool MainWindow::rowPending(int row) const
{
    const QTableWidgetItem *status = batchTableWidget->item(row, 1);
    return !status || status->data(failedRole).toBool();
}

bool MainWindow::anyBatchConverterRunning() const
{
    if (batchProcess.state() != QProcess::NotRunning)
        return true;
    return std::any_of(extraConverters.begin(), extraConverters.end(),
                       [](const auto &c) { return c->process.state() != QProcess::NotRunning; });
}

void MainWindow::setBatchOptionsEnabled(bool enabled)
{
    keepGoingCheckBox->setEnabled(enabled);
    parallelLabel->setEnabled(enabled);
    parallelSpinBox->setEnabled(enabled);
}

void MainWindow::beginBatchRun()
{
    // The run covers the pending rows from currentJob down; rows above it are
    // neither run nor changed.
    const int rows = batchTableWidget->rowCount();
    QList<JobState> states(rows, JobState::Done);
    for (int row = std::max(0, currentJob); row < rows; ++row)
        if (batchTableWidget->item(row, 0) && rowPending(row))
            states[row] = JobState::Pending;
    const int parallel = std::clamp(parallelSpinBox->value(), 1, parallelSpinBox->maximum());
    batchQueue.begin(states, parallel, keepGoingCheckBox->isChecked());

    while (int(extraConverters.size()) < parallel - 1) {
        extraConverters.push_back(std::make_unique<ExtraConverter>());
        const int converter = int(extraConverters.size());
        QProcess *process = &extraConverters.back()->process;
        connect(process, &QProcess::readyReadStandardError, this, [this] {
            if (extraRefresh.admit())
                showBatchProgress();
        });
        connect(process, &QProcess::finished, this, [this, converter](int code, QProcess::ExitStatus status) {
            batchJobEnded(converter, code, status);
        });
        connect(process, &QProcess::errorOccurred, this, [this, converter](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                batchJobUnstarted(converter);
        });
    }
    converterJobs = QList<int>(qsizetype(extraConverters.size()) + 1, -1);
    converterClocks = QList<QElapsedTimer>(converterJobs.size());
    finishedJobSeconds.clear();
    failureDetails.clear();
    batchHalt = BatchHalt::None;
    batchHaltDetails.clear();
    setBatchOptionsEnabled(false);
}

void MainWindow::advanceBatch()
{
    // A converter that cannot be started reports it at once, from inside the
    // start; the loop below then simply goes on.
    if (advancingBatch)
        return;
    advancingBatch = true;
    for (int row = batchQueue.takeNext(); row >= 0; row = batchQueue.takeNext()) {
        const int converter = int(converterJobs.indexOf(-1));
        startBatchJob(converter < 0 ? 0 : converter, row);
    }
    advancingBatch = false;
    if (batchQueue.isOver())
        endBatchRun();
    else
        showBatchProgress();
}

void MainWindow::startBatchJob(int converter, int row)
{
    converterJobs[converter] = row;
    converterClocks[converter].start();
    if (converter == 0) {
        currentJob = row;
        batchConvert();
        return;
    }
    ExtraConverter &extra = *extraConverters[size_t(converter - 1)];
    const QTableWidgetItem *cell = batchTableWidget->item(row, 0);
    const QString text = cell ? cell->text() : QString();
    extra.frameRate = jobFrameRate(text).value_or(frameRate);
    extra.parser.startRun();
    extra.stopRequested = false;
    startConverter(extra.process, batchProgram, jobArguments(text));
    statusBar()->showMessage(tr("Konvertiere ") + printableText(jobInput(text)));
}

void MainWindow::batchJobEnded(int converter, int exitCode, QProcess::ExitStatus exitStatus)
{
    const int row = converterJobs.value(converter, -1);
    if (row < 0)
        return;
    bool stopRequested = batchStopRequested;
    QString output = ffmpegOutput;
    if (converter > 0) {
        ExtraConverter &extra = *extraConverters[size_t(converter - 1)];
        extra.parser.feed(extra.process.readAllStandardError(), extra.frameRate);
        stopRequested = extra.stopRequested;
        output = extra.parser.tail();
    }
    const RunOutcome outcome = classifyExit(exitCode, exitStatus, stopRequested);
    converterJobs[converter] = -1;
    batchQueue.finish(row, outcome);

    if (outcome == RunOutcome::Success) {
        if (batchQueue.parallel() == 1)
            setPercent(100);
        if (row < batchTableWidget->rowCount())
            batchTableWidget->setItem(row, 1, statusItem(u"Done."_s, false));
        finishedJobSeconds << double(converterClocks[converter].elapsed()) / 1000;
    } else if (outcome != RunOutcome::Cancelled) {
        const QString reason =
            outcome == RunOutcome::Crashed ? tr("ffmpeg ist abgestürzt.") : lastLine(output);
        if (batchQueue.keepGoing()) {
            QTableWidgetItem *item = statusItem(tr("Fehler"), true);
            item->setToolTip(reason);
            batchTableWidget->setItem(row, 1, item);
            failureDetails << jobInputFile(batchTableWidget->item(row, 0)->text()) + u"\n    "_s + reason;
        } else if (batchHalt == BatchHalt::None) {
            batchHalt = outcome == RunOutcome::Crashed ? BatchHalt::Crash : BatchHalt::Error;
            batchHaltDetails = output;
        }
    }
    saveRecovery();
    advanceBatch();
}

void MainWindow::batchJobUnstarted(int converter)
{
    const int row = converterJobs.value(converter, -1);
    if (row < 0)
        return;
    converterJobs[converter] = -1;
    batchQueue.finishUnstarted(row);
    if (batchQueue.keepGoing()) {
        QTableWidgetItem *item = statusItem(tr("Fehler"), true);
        item->setToolTip(tr("ffmpeg konnte nicht gestartet werden."));
        batchTableWidget->setItem(row, 1, item);
        failureDetails << jobInputFile(batchTableWidget->item(row, 0)->text()) + u"\n    "_s +
                              tr("ffmpeg konnte nicht gestartet werden.");
    } else if (batchHalt == BatchHalt::None) {
        batchHalt = BatchHalt::FailedStart;
    }
    saveRecovery();
    advanceBatch();
}

void MainWindow::endBatchRun()
{
    // The one place where every batch run ends, with the counts of the run:
    // batchQueue.done() jobs converted, batchQueue.failed() failed.
    const int firstPending = firstPendingRow();
    if (firstPending >= 0)
        currentJob = firstPending;
    const int done = batchQueue.done();
    const int failed = batchQueue.failed();
    batchJobLabel->setText(batchSummary(done, failed));
    // What the desktop notice says when the window is not active; a run that a
    // failure ended counts that job as failed.
    const bool haltedByFailure = batchHalt == BatchHalt::Crash || batchHalt == BatchHalt::Error;
    const Notice notice = batchEndNotice(done, haltedByFailure ? std::max(failed, 1) : failed);

    switch (batchHalt) {
    case BatchHalt::Crash:
        reportConverterFailure(RunOutcome::Crashed, notice);
        break;
    case BatchHalt::Error:
        ffmpegOutput = batchHaltDetails;
        reportConverterFailure(RunOutcome::Error, notice);
        break;
    case BatchHalt::FailedStart:
        lcdNumber->display(u"ERROR"_s);
        showErrorBox(tr("<b>ffmpeg konnte nicht gestartet werden!</b><br><br>Bitte versuchen sie "
                        "die Konvertierung<br>erneut zu starten."));
        statusBar()->showMessage(tr("Fehler!"), 5000);
        break;
    case BatchHalt::None:
        if (batchQueue.halted()) {
            lcdNumber->display(tr("Cancel"));
            statusBar()->showMessage(tr("Abgebrochen!"));
        } else if (failed == 0) {
            setPercent(100);
            statusBar()->showMessage(tr("Konvertierung beendet."));
            alertIfInactive(notice);
        } else {
            setPercent(100);
            lcdNumber->display(u"Error"_s);
            const QString summary = batchSummary(done, failed);
            statusBar()->showMessage(summary);
            alertIfInactive(notice);
            showErrorBox(u"<b>"_s + summary.toHtmlEscaped() + u"</b><br><br>"_s +
                             tr("Die fehlgeschlagenen Jobs sind in der Spalte Status mit „Fehler“ "
                                "markiert<br>und werden beim nächsten Start erneut versucht. Die "
                                "Gründe stehen in den Details."),
                         failureDetails.join(u"\n"_s));
        }
        break;
    }
    insertJobButton->setEnabled(true);
    delJobButton->setEnabled(true);
    singleConvertGroupBox->setEnabled(true);
    setBatchListActionsEnabled(true);
    setBatchOptionsEnabled(true);
    updateStartButton();
    saveRecovery();
}

void MainWindow::showBatchProgress()
{
    double percentSum = 100.0 * (batchQueue.done() + batchQueue.failed());
    QList<std::optional<double>> remaining;
    for (qsizetype converter = 0; converter < converterJobs.size(); ++converter) {
        if (converterJobs[converter] < 0)
            continue;
        const ProgressParser *parser = &batchParser;
        if (converter > 0) {
            ExtraConverter &extra = *extraConverters[size_t(converter - 1)];
            extra.parser.feed(extra.process.readAllStandardError(), extra.frameRate);
            parser = &extra.parser;
        }
        percentSum += parser->percent();
        remaining << (parser->durationKnown() ? parser->remainingSeconds() : std::nullopt);
    }
    const std::optional<double> left = batchRemainingSeconds(
        remaining, finishedJobSeconds, batchQueue.total() - batchQueue.started(), batchQueue.parallel());
    // With several jobs at once the bar and the display show the whole run.
    if (batchQueue.parallel() > 1) {
        if (batchQueue.total() > 0)
            setPercent(int(percentSum / batchQueue.total()));
        lcdNumber->display(left ? formatRemaining(*left) : QString());
    }
    QString text = tr("Job %1 von %2").arg(batchQueue.started()).arg(batchQueue.total());
    if (left)
        text += u" – "_s + tr("Batch: noch %1").arg(formatRemaining(*left));
    if (batchJobLabel->text() != text)
        batchJobLabel->setText(text);
}

void MainWindow::stopBatchConverters()
{
    batchQueue.stop();
    for (const auto &extra : extraConverters) {
        if (extra->process.state() == QProcess::NotRunning)
            continue;
        extra->stopRequested = true;
        extra->process.terminate();
    }
}

void MainWindow::saveRecovery()
{
    if (!recovery.claimed())
        return;
    QStringList jobs;
    QList<JobState> states;
    bool anyPending = false;
    const int rows = batchTableWidget->rowCount();
    jobs.reserve(rows);
    states.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        const QTableWidgetItem *cell = batchTableWidget->item(row, 0);
        jobs << (cell ? cell->text() : QString());
        const QTableWidgetItem *status = batchTableWidget->item(row, 1);
        const JobState state = !status
                                   ? JobState::Pending
                                   : (status->data(failedRole).toBool() ? JobState::Failed : JobState::Done);
        anyPending = anyPending || state != JobState::Done;
        states << state;
    }
    // A finished or emptied list is a clean end: nothing is left to restore.
    QString error;
    const bool saved = anyPending ? recovery.save(jobs, states, &error) : recovery.clear();
    if (!saved)
        statusBar()->showMessage(tr("Die Batchliste konnte nicht für eine Wiederherstellung gesichert werden "
                                    "(%1). Bitte prüfen Sie den freien Platz in %2.")
                                     .arg(error.isEmpty() ? tr("Löschen fehlgeschlagen") : error,
                                          QDir::toNativeSeparators(RecoveryFile::defaultFolder())),
                                 10000);
}

void MainWindow::offerRecovery()
{
    if (!recovery.claim()) {
        statusBar()->showMessage(
            recovery.heldElsewhere()
                ? tr("Ein anderes Quorvid-Fenster sichert schon seine Batchliste; die Liste dieses Fensters "
                     "wird nach einem Absturz nicht wiederhergestellt.")
                : tr("Die Batchliste kann nicht für eine Wiederherstellung gesichert werden: %1 ist nicht "
                     "beschreibbar.")
                      .arg(QDir::toNativeSeparators(RecoveryFile::defaultFolder())),
            10000);
        return;
    }
    RecoveredList list;
    QString aside, error;
    const RecoveryFile::Found found = recovery.load(&list, &aside, &error);
    if (found == RecoveryFile::Found::Damaged) {
        showErrorBox(tr("<b>Die gesicherte Batchliste ist beschädigt und wurde nicht geladen.</b><br><br>"
                        "Sie wurde beiseitegelegt unter:<br>%1<br><br>Quorvid startet mit einer "
                        "leeren Batchliste.")
                         .arg(aside.isEmpty() ? tr("(Umbenennen fehlgeschlagen)")
                                              : QDir::toNativeSeparators(aside).toHtmlEscaped()),
                     error);
        return;
    }
    // A list made before the question came keeps its place.
    if (found != RecoveryFile::Found::List || batchTableWidget->rowCount() > 0)
        return;
    const auto done = std::count(list.states.cbegin(), list.states.cend(), JobState::Done);
    if (!askYesNo(tr("<b>Wiederherstellen?</b><br><br>Quorvid wurde beendet, bevor die Batchliste "
                     "abgearbeitet war<br>(%1 Jobs, davon %2 erledigt).<br><br>Möchten Sie die "
                     "Batchliste wiederherstellen?")
                      .arg(list.jobs.size())
                      .arg(done))) {
        recovery.clear();
        return;
    }
    batchTableWidget->setUpdatesEnabled(false);
    batchTableWidget->setRowCount(int(list.jobs.size()));
    for (int row = 0; row < list.jobs.size(); ++row) {
        auto *cell = new QTableWidgetItem(list.jobs[row]);
        cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        batchTableWidget->setItem(row, 0, cell);
        if (list.states[row] == JobState::Done)
            batchTableWidget->setItem(row, 1, statusItem(u"Done."_s, false));
        else if (list.states[row] == JobState::Failed)
            batchTableWidget->setItem(row, 1, statusItem(tr("Fehler"), true));
    }
    batchTableWidget->setUpdatesEnabled(true);
    jobCount = batchTableWidget->rowCount();
    const int firstPending = firstPendingRow();
    currentJob = firstPending >= 0 ? firstPending : 0;
    updateStartButton();
    statusBar()->showMessage(tr("Batchliste wiederhergestellt."));
}

void MainWindow::exportScript()
{
    QStringList jobs;
    for (int row = 0; row < batchTableWidget->rowCount(); ++row)
        if (const QTableWidgetItem *cell = batchTableWidget->item(row, 0); cell && !cell->text().isEmpty())
            jobs << cell->text();
    if (jobs.isEmpty()) {
        showErrorBox(tr("Die Batchliste ist leer.<br><br>Bitte fügen Sie zuerst Jobs hinzu."));
        return;
    }
    const QString start = batchFilePath.isEmpty() ? QDir::homePath() : QFileInfo(batchFilePath).path();
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Batchliste als Skript exportieren"),
                                                        QDir(start).filePath(u"batchliste.sh"_s),
                                                        tr("Shell-Skript (*.sh);;Alle Dateien (*)"));
    if (chosen.isEmpty())
        return;
    const QByteArray content = batchScript(jobs);
    QSaveFile file(chosen);
    bool written = file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
    if (written)
        written = file.commit();
    else
        file.cancelWriting();
    if (written)
        QFile::setPermissions(chosen,
                              QFile::permissions(chosen) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    if (!written)
        showErrorBox(tr("<b>Das Skript konnte nicht gespeichert werden!</b><br><br>%1<br><br>Bitte "
                        "wählen Sie einen anderen Ort.")
                         .arg(QDir::toNativeSeparators(chosen).toHtmlEscaped()),
                     file.errorString());
    else
        statusBar()->showMessage(tr("Skript mit %n Job(s) gespeichert.", nullptr, int(jobs.size())));
}
