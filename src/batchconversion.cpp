// The batch list, the runner that converts its pending jobs one after another,
// and batch files.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QStatusBar>

#include <algorithm>
#include <vector>

#include "arguments.h"
#include "batchfile.h"
#include "batchtable.h"
#include "converter.h"
#include "dropping.h"
#include "listfiles.h"
#include "loudness.h"
#include "makejob.h"
#include "messagebox.h"
#include "questions.h"
#include "quorvid.h"
#include "runfiles.h"
#include "terminaltext.h"
#include "wholefile.h"

using namespace Qt::StringLiterals;

namespace {
const QString mediaFilter = mediaDialogFilter();
const QString batchFilter = u"Batch-File (*.btc);;All Files(*.*)"_s;
} // namespace

void MainWindow::updateStartButton()
{
    // Start only when the job to run next exists and is still pending.
    batchConvertButton->setEnabled(batchJobs.pending(currentJob));
}

void MainWindow::setBatchRunning(bool running)
{
    // While a batch runs its list only grows: nothing is removed or replaced, and
    // the single conversion waits.
    for (QWidget *widget :
         std::initializer_list<QWidget *>{insertJobButton, delJobButton, singleConvertGroupBox,
                                          keepGoingCheckBox, parallelLabel, parallelSpinBox})
        widget->setEnabled(!running);
    actionMoreFiles->setEnabled(!running);
    actionBatchdateiLaden->setEnabled(!running);
    if (running)
        batchConvertButton->setEnabled(false);
    else
        updateStartButton();
}

void MainWindow::filesDialog()
{
    const QString start = openLineEdit->text().isEmpty() ? remembered.startFolder(Remembered::InputFolder)
                                                         : openLineEdit->text();
    const QStringList files = QFileDialog::getOpenFileNames(this, u"Open Files Dialog"_s, start, mediaFilter);
    if (files.isEmpty())
        return;
    remembered.rememberFolderOf(Remembered::InputFolder, files.first());
    if (dependsOnSource(panelSettings()))
        look.lookAtBatch(files, true);
    else
        replaceBatchList(files);
}

QList<Job> MainWindow::jobsForFiles(QStringList files)
{
    std::sort(files.begin(), files.end(), caseInsensitiveLessThan);
    QList<Job> jobs;
    jobs.reserve(files.size());
    for (const QString &file : std::as_const(files)) {
        const QString output = getOutputFile(file, QString());
        jobs << jobFor(file, output, true);
    }
    return jobs;
}

void MainWindow::replaceBatchList(QStringList files)
{
    const QList<Job> jobs = jobsForFiles(std::move(files));
    if (!confirmCompatible(jobs, true, infoCollector, messageFont, {loudnessCopyProblem(panelSettings())}))
        return;
    batchJobs.replace(jobs);
    currentJob = 0;
    jobCount = batchJobs.size();
    updateStartButton();
}

void MainWindow::appendBatchList(QStringList files)
{
    QList<Job> jobs = jobsForFiles(std::move(files));
    // Settings the converter cannot write: one question for all the new jobs.
    if (!jobs.isEmpty() &&
        !confirmCompatible(jobs, true, infoCollector, messageFont, {loudnessCopyProblem(panelSettings())}))
        jobs.clear();
    addJobs(std::move(jobs));
}

void MainWindow::addJobs(QList<Job> jobs)
{
    // A running batch goes on with jobs added at its end, so they get now the
    // check a start gives them. The run may end while the question is open.
    if (batchRunner.isRunning() && !jobs.isEmpty() &&
        !confirmOutputs(jobs, messageFont, [](qsizetype, const QString &) {})) {
        statusBar()->showMessage(tr("Die Jobs wurden nicht in die Batchliste übernommen."));
        jobs.clear();
    }
    if (jobs.isEmpty())
        return;
    batchJobs.append(jobs);
    jobCount = batchJobs.size();
    // The running job stays the current one; otherwise the first pending job is
    // the next to run, as after adding a single job.
    if (!batchRunner.isRunning()) {
        currentJob = batchJobs.firstPending();
        updateStartButton();
    } else {
        // The running batch takes them on: a free converter starts at once.
        batchRunner.append(jobs);
    }
}

void MainWindow::insertBatch()
{
    const QString input = openLineEdit->text();
    const QString output = saveLineEdit->text();
    if (input.isEmpty() || output.isEmpty())
        return;
    if (!lookAllows(false))
        return;
    if (refuseJob(input, output))
        return;
    const Job job = jobFor(input, output);
    if (confirmJob(job, true))
        addJobs({job});
}

void MainWindow::delJob()
{
    batchJobs.remove(BatchTable::selectedRows(batchTableWidget));
    for (int row = 0; row < jobCount; ++row) {
        if (row >= batchJobs.size() || batchJobs.pending(row)) {
            currentJob = row;
            break;
        }
    }
    jobCount = batchJobs.size();
    updateStartButton();
}

void MainWindow::batchFirstStart()
{
    // "Job hinzufügen" pressed before still waits for the look at the file: the
    // start waits for that job, which would otherwise be left out of the run.
    if (look.waits(SourceLook::Press::AddJob)) {
        look.startAfterAddedJob();
        batchConvertButton->setEnabled(false);
        statusBar()->showMessage(tr("Der Batch startet, sobald der Job hinzugefügt ist."));
        return;
    }
    if (currentJob < 0 || currentJob >= batchJobs.size())
        return;
    // The run covers the pending rows from currentJob down; rows above it are
    // neither run nor changed.
    const QList<Job> jobs = batchJobs.jobs();
    QList<JobState> states(jobs.size(), JobState::Done);
    QList<Job> toRun;
    QList<int> rows;
    for (int row = currentJob; row < jobs.size(); ++row) {
        if (!batchJobs.pending(row))
            continue;
        states[row] = JobState::Pending;
        toRun << jobs[row];
        rows << row;
    }
    if (!confirmOutputs(toRun, messageFont, [this, &rows](qsizetype i, const QString &reason) {
            batchJobs.setState(rows[i], ListedState::Refused, reason);
        }))
        return;

    setBatchRunning(true);
    // Looked up once for the whole run: searching the path before every job
    // costs more than the rest of starting it.
    batchRunner.setProgram(converterProgram());
    batchRunner.setFrameRate(frameRate);
    const int parallel = std::clamp(parallelSpinBox->value(), 1, parallelSpinBox->maximum());
    batchRunner.start(jobs, states, parallel, keepGoingCheckBox->isChecked());
}

void MainWindow::batchConvert()
{
    // The runner has started the job in row currentJob. With several jobs at once,
    // the bar and the display show the whole run.
    if (batchRunner.queue().parallel() == 1) {
        setPercent(0);
        lcdNumber->display(u"0"_s);
    }
    frameRate = batchRunner.frameRate();
    statusBar()->showMessage(tr("Konvertiere ") + printableText(batchJobs.job(currentJob).input));
}

void MainWindow::updatebatchbar()
{
    if (batchRefresh.admit())
        showBatchProgress();
}

void MainWindow::batchstop()
{
    batchRunner.stop();
}

void MainWindow::batchLoad()
{
    if (!batchJobs.isEmpty()) {
        const BoxContent question{QMessageBox::Question,
                                  u"Quorvid"_s,
                                  tr("<p>Durch Öffnen einer neuen Batchliste<br>werden die momentanen "
                                     "Batcheinträge gelöscht.</p>Möchten Sie eine neue Batchliste öffnen?"),
                                  QString(),
                                  QMessageBox::Ok | QMessageBox::Cancel,
                                  QMessageBox::Ok};
        if (execBox(question, messageFont) == QMessageBox::Cancel)
            return;
    }
    if (batchFilePath.isEmpty())
        batchFilePath = remembered.startFolder(Remembered::BatchFileFolder);
    const QString chosen =
        QFileDialog::getOpenFileName(this, u"Open Batch File"_s, batchFilePath, batchFilter);
    if (chosen.isEmpty())
        return;
    remembered.rememberFolderOf(Remembered::BatchFileFolder, chosen);
    batchFilePath = chosen;
    loadBatchList(chosen);
}

void MainWindow::loadBatchList(const QString &chosen)
{
    const std::optional<QList<Job>> jobs = readListFile(chosen, messageFont);
    if (!jobs)
        return;
    batchJobs.replace(*jobs);
    currentJob = 0;
    jobCount = batchJobs.size();
    updateStartButton();
}

void MainWindow::batchSave()
{
    if (batchJobs.isEmpty()) {
        showBox(messageFont, QMessageBox::Information, u"Quorvid"_s,
                tr("Leider sind noch keine Einträge in der Batchliste,<br>daher kann sie "
                   "nicht gespeichert werden."));
        return;
    }
    if (batchFilePath.isEmpty())
        batchFilePath = remembered.startFolder(Remembered::BatchFileFolder);
    const QString chosen =
        QFileDialog::getSaveFileName(this, u"Save Batch File"_s, batchFilePath, batchFilter);
    if (chosen.isEmpty())
        return;
    remembered.rememberFolderOf(Remembered::BatchFileFolder, chosen);
    batchFilePath = chosen;
    saveBatchList(chosen);
}

void MainWindow::saveBatchList(const QString &chosen)
{
    if (const QString said = writeListFile(chosen, batchJobs.jobs(), messageFont); !said.isEmpty())
        statusBar()->showMessage(said);
}
