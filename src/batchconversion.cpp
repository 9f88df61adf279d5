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
#include "converter.h"
#include "dropping.h"
#include "quorvid.h"
#include "terminaltext.h"

using namespace Qt::StringLiterals;

namespace {
const QString mediaFilter = mediaDialogFilter();
const QString batchFilter = u"Batch-File (*.btc);;All Files(*.*)"_s;

QTableWidgetItem *newJobItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    // The column shortens a long job in the middle; the whole text is a tooltip.
    item->setToolTip(text);
    return item;
}

void appendJob(QTableWidget *table, const QString &text)
{
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, newJobItem(text));
}

void emptyTable(QTableWidget *table)
{
    table->clearContents();
    table->setRowCount(0);
}
} // namespace

int MainWindow::firstPendingRow() const
{
    for (int row = 0; row < batchTableWidget->rowCount(); ++row)
        if (rowPending(row))
            return row;
    return -1;
}

void MainWindow::updateStartButton()
{
    // Start only when the job to run next exists and is still pending.
    batchConvertButton->setEnabled(currentJob >= 0 && currentJob < batchTableWidget->rowCount() &&
                                   batchTableWidget->item(currentJob, 0) && rowPending(currentJob));
}

void MainWindow::setBatchListActionsEnabled(bool enabled)
{
    actionMoreFiles->setEnabled(enabled);
    actionBatchdateiLaden->setEnabled(enabled);
}

void MainWindow::filesDialog()
{
    const QString start = openLineEdit->text().isEmpty() ? remembered.startFolder(Remembered::InputFolder)
                                                         : openLineEdit->text();
    const QStringList files = QFileDialog::getOpenFileNames(this, u"Open Files Dialog"_s, start, mediaFilter);
    if (files.isEmpty())
        return;
    remembered.rememberFolderOf(Remembered::InputFolder, files.first());
    replaceBatchList(files);
}

MainWindow::NewJobs MainWindow::jobsForFiles(QStringList files)
{
    std::sort(files.begin(), files.end(), caseInsensitiveLessThan);
    // A comma splits a job text: such a file cannot be stored as a job.
    NewJobs made;
    for (const QString &file : std::as_const(files)) {
        const QString output = getOutputFile(file, QString());
        if (file.contains(u',') || output.contains(u',')) {
            made.refused << QDir::toNativeSeparators(file).toHtmlEscaped();
            continue;
        }
        made.inputs << file;
        made.outputs << output;
        made.argumentLists << createArguments(file, output);
        made.jobs << jobText(made.argumentLists.last());
    }
    return made;
}

void MainWindow::replaceBatchList(QStringList files)
{
    const NewJobs made = jobsForFiles(std::move(files));
    const QStringList &jobs = made.jobs;
    if (!confirmCompatible(made.argumentLists, true))
        return;

    batchTableWidget->setUpdatesEnabled(false);
    emptyTable(batchTableWidget);
    batchTableWidget->setRowCount(int(jobs.size()));
    for (int row = 0; row < jobs.size(); ++row)
        batchTableWidget->setItem(row, 0, newJobItem(jobs[row]));
    batchTableWidget->setUpdatesEnabled(true);
    currentJob = 0;
    jobCount = batchTableWidget->rowCount();
    updateStartButton();
    saveRecovery();

    refuseCommaNames(made.refused);
}

void MainWindow::refuseCommaNames(const QStringList &refused)
{
    // The box shows rich text: a name is shown as written, never read as markup.
    QStringList names;
    for (const QString &name : refused)
        names << QDir::toNativeSeparators(name).toHtmlEscaped();
    if (!refused.isEmpty())
        showErrorBox(tr("<b>Diese Dateien wurden nicht in die Batchliste übernommen,</b><br>"
                        "weil ihr Name ein Komma enthält:<br><br>%1<br><br>Bitte benennen Sie "
                        "die Dateien um.")
                         .arg(names.join(u"<br>"_s)));
}

void MainWindow::appendBatchList(QStringList files)
{
    NewJobs made = jobsForFiles(std::move(files));
    QStringList &jobs = made.jobs;
    // Settings the converter cannot write: one question for all the new jobs.
    if (!jobs.isEmpty() && !confirmCompatible(made.argumentLists, true))
        jobs.clear();

    // A running batch goes on with jobs added at its end, so they get now the
    // check a start gives them. The run may end while the question is open.
    if (anyBatchConverterRunning() && !jobs.isEmpty() && !confirmOutputs(made.inputs, made.outputs)) {
        statusBar()->showMessage(tr("Die Jobs wurden nicht in die Batchliste übernommen."));
        jobs.clear();
    }
    if (!jobs.isEmpty()) {
        batchTableWidget->setUpdatesEnabled(false);
        for (const QString &job : std::as_const(jobs))
            appendJob(batchTableWidget, job);
        batchTableWidget->setUpdatesEnabled(true);
        jobCount = batchTableWidget->rowCount();
        // The running job stays the current one; otherwise the first pending job
        // is the next to run, as after adding a single job.
        if (!anyBatchConverterRunning()) {
            currentJob = firstPendingRow();
            updateStartButton();
        } else {
            // The running batch takes them on: a free converter starts at once.
            batchQueue.append(int(jobs.size()));
            advanceBatch();
        }
        saveRecovery();
    }
    refuseCommaNames(made.refused);
}

void MainWindow::insertBatch()
{
    const QString input = openLineEdit->text();
    const QString output = saveLineEdit->text();
    if (input.isEmpty() || output.isEmpty())
        return;
    if (input.contains(u',') || output.contains(u',')) {
        showErrorBox(tr("<b>Der Job wurde nicht hinzugefügt!</b><br><br>Ein Dateiname mit "
                        "Komma kann nicht in der Batchliste<br>gespeichert werden. Bitte benennen "
                        "Sie die Datei um."));
        return;
    }
    const QStringList arguments = createArguments(input, output);
    if (!confirmCompatible({arguments}, true))
        return;
    appendJob(batchTableWidget, jobText(arguments));
    jobCount = batchTableWidget->rowCount();
    currentJob = firstPendingRow();
    updateStartButton();
    saveRecovery();
}

void MainWindow::delJob()
{
    // Collect the selected rows once, then rebuild the table from the rows that
    // stay: removing rows one by one costs time in proportion to the list for
    // every row removed, which makes long lists crawl.
    std::vector<bool> removed(size_t(batchTableWidget->rowCount()), false);
    bool any = false;
    for (const QTableWidgetItem *item : batchTableWidget->selectedItems()) {
        if (item->column() == 0) {
            removed[size_t(item->row())] = true;
            any = true;
        }
    }
    if (any) {
        QList<std::pair<QTableWidgetItem *, QTableWidgetItem *>> kept;
        for (int row = 0; row < batchTableWidget->rowCount(); ++row)
            if (!removed[size_t(row)])
                kept.append(
                    std::make_pair(batchTableWidget->takeItem(row, 0), batchTableWidget->takeItem(row, 1)));
        batchTableWidget->setUpdatesEnabled(false);
        batchTableWidget->clearSelection();
        emptyTable(batchTableWidget);
        batchTableWidget->setRowCount(int(kept.size()));
        for (int row = 0; row < kept.size(); ++row) {
            if (kept[row].first)
                batchTableWidget->setItem(row, 0, kept[row].first);
            if (kept[row].second)
                batchTableWidget->setItem(row, 1, kept[row].second);
        }
        batchTableWidget->setUpdatesEnabled(true);
    }

    for (int row = 0; row < jobCount; ++row) {
        if (row >= batchTableWidget->rowCount() || rowPending(row)) {
            currentJob = row;
            break;
        }
    }
    jobCount = batchTableWidget->rowCount();
    updateStartButton();
    saveRecovery();
}

bool MainWindow::confirmOutputs(const QStringList &inputs, const QStringList &outputs)
{
    int existing = 0;
    for (int i = 0; i < inputs.size(); ++i) {
        if (sameFile(inputs[i], outputs[i])) {
            showErrorBox(tr("<b>Eingabe und Ausgabe sind dieselbe Datei!</b><br><br>%1<br><br>"
                            "Der Job würde seine Eingabe überschreiben. Bitte löschen Sie ihn.")
                             .arg(QDir::toNativeSeparators(inputs[i]).toHtmlEscaped()));
            return false;
        }
        if (QFileInfo::exists(outputs[i]))
            ++existing;
    }
    if (existing == 0)
        return true;
    return askYesNo(tr("%n Ausgabedatei(en) der Batchliste existieren bereits.<br><br>Sollen sie "
                       "überschrieben werden?",
                       nullptr, existing));
}

void MainWindow::batchFirstStart()
{
    if (currentJob < 0 || currentJob >= batchTableWidget->rowCount())
        return;
    QStringList inputs, outputs;
    for (int row = currentJob; row < batchTableWidget->rowCount(); ++row) {
        if (!rowPending(row) || !batchTableWidget->item(row, 0))
            continue;
        const QString text = batchTableWidget->item(row, 0)->text();
        inputs << jobInput(text);
        outputs << jobOutput(text);
    }
    if (!confirmOutputs(inputs, outputs))
        return;

    insertJobButton->setEnabled(false);
    delJobButton->setEnabled(false);
    batchConvertButton->setEnabled(false);
    singleConvertGroupBox->setEnabled(false);
    setBatchListActionsEnabled(false);
    // Looked up once for the whole run: searching the path before every job
    // costs more than the rest of starting it.
    batchProgram = converterProgram();
    // The run's jobs, how many at once, and whether a failure ends it; the first
    // job goes to batchConvert.
    beginBatchRun();
    advanceBatch();
}

void MainWindow::batchConvert()
{
    // With several jobs at once, the bar and the display show the whole run.
    if (batchQueue.parallel() == 1) {
        setPercent(0);
        lcdNumber->display(u"0"_s);
    }
    const QTableWidgetItem *cell = batchTableWidget->item(currentJob, 0);
    const QString text = cell ? cell->text() : QString();
    if (const auto rate = jobFrameRate(text))
        frameRate = *rate;
    batchParser.startRun();
    batchStopRequested = false;
    startConverter(batchProcess, batchProgram, jobArguments(text));
    statusBar()->showMessage(tr("Konvertiere ") + printableText(jobInput(text)));
}

void MainWindow::batchbeendet(int exitCode, QProcess::ExitStatus exitStatus)
{
    const ProgressReading reading = batchParser.feed(batchProcess.readAllStandardError(), frameRate);
    if (batchQueue.parallel() == 1)
        showProgress(batchParser, reading);
    ffmpegOutput = batchParser.tail();
    // Marks the row, starts what comes next or ends the run (batchrun.cpp).
    batchJobEnded(0, exitCode, exitStatus);
}

void MainWindow::batchError(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart)
        return;
    batchJobUnstarted(0);
}

void MainWindow::batchstop()
{
    if (batchProcess.state() != QProcess::NotRunning)
        batchStopRequested = true;
    batchProcess.terminate();
    stopBatchConverters();
}

void MainWindow::batchLoad()
{
    if (batchTableWidget->rowCount() > 0) {
        messageFont.setPointSize(12);
        QMessageBox box;
        box.setFont(messageFont);
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(u"Quorvid"_s);
        box.setText(tr("<p>Durch Öffnen einer neuen Batchliste<br>werden die momentanen "
                       "Batcheinträge gelöscht.</p>Möchten Sie eine neue Batchliste öffnen?"));
        if (box.exec() == QMessageBox::Cancel)
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
    QFile file(chosen);
    if (QFileInfo(chosen).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        showErrorBox(tr("<b>Die Batchdatei konnte nicht gelesen werden!</b><br><br>%1<br><br>Die "
                        "Batchliste bleibt unverändert.")
                         .arg(QDir::toNativeSeparators(chosen).toHtmlEscaped()),
                     file.errorString());
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QStringList jobs = readJobTexts(file);
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        QApplication::restoreOverrideCursor();
        showErrorBox(tr("<b>Die Batchdatei konnte nicht gelesen werden!</b><br><br>%1<br><br>Die "
                        "Batchliste bleibt unverändert.")
                         .arg(QDir::toNativeSeparators(chosen).toHtmlEscaped()),
                     file.errorString());
        return;
    }
    batchTableWidget->setUpdatesEnabled(false);
    emptyTable(batchTableWidget);
    batchTableWidget->setRowCount(int(jobs.size()));
    for (int row = 0; row < jobs.size(); ++row)
        batchTableWidget->setItem(row, 0, newJobItem(jobs[row]));
    batchTableWidget->setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();

    currentJob = 0;
    jobCount = batchTableWidget->rowCount();
    updateStartButton();
    saveRecovery();
}

void MainWindow::batchSave()
{
    if (batchTableWidget->rowCount() == 0) {
        messageFont.setPointSize(12);
        QMessageBox box;
        box.setFont(messageFont);
        box.setStandardButtons(QMessageBox::Ok);
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(u"Quorvid"_s);
        box.setText(tr("Leider sind noch keine Einträge in der Batchliste,<br>daher kann sie "
                       "nicht gespeichert werden."));
        box.exec();
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
    const QString name = batchFileName(chosen);

    QStringList jobs;
    jobs.reserve(batchTableWidget->rowCount());
    for (int row = 0; row < batchTableWidget->rowCount(); ++row)
        if (const QTableWidgetItem *item = batchTableWidget->item(row, 0))
            jobs << item->text();

    // The previous file stays intact until the new one is completely written.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QSaveFile file(name);
    const bool written = writeWholeFile(file, batchFileContent(jobs));
    QApplication::restoreOverrideCursor();
    if (!written)
        showErrorBox(
            tr("<b>Die Batchdatei konnte nicht gespeichert werden!</b><br><br>%1<br><br>"
               "Grund: %2<br><br>Eine bereits vorhandene Datei ist unverändert geblieben. "
               "Bitte wählen Sie einen anderen Ort oder schaffen Sie Platz.")
                .arg(QDir::toNativeSeparators(name).toHtmlEscaped(), file.errorString().toHtmlEscaped()),
            file.errorString());
}
