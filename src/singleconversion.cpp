// One conversion of one file, its progress display, and the information box.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextEdit>

#include <utility>

#include "arguments.h"
#include "converter.h"
#include "dropping.h"
#include "loudness.h"
#include "makejob.h"
#include "messagebox.h"
#include "questions.h"
#include "quorvid.h"
#include "sourcecolumn.h"
#include "subtitlepanel.h"
#include "terminaltext.h"

using namespace Qt::StringLiterals;

namespace {
const QString mediaFilter = mediaDialogFilter();
// How long opening a new file waits for the previous info run to end.
constexpr int infoStopTimeoutMs = 3000;

void appendLines(QTextEdit *edit, const QStringList &lines)
{
    // Plain text, exactly as the converter wrote it: a file name holding "<b>" or
    // "&amp;" must not be shown as markup.
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    for (const QString &line : lines) {
        if (!edit->document()->isEmpty())
            cursor.insertBlock();
        cursor.insertText(line);
    }
}
} // namespace

void MainWindow::openDialog()
{
    const QString start = openLineEdit->text().isEmpty() ? remembered.startFolder(Remembered::InputFolder)
                                                         : openLineEdit->text();
    const QString chosen = QFileDialog::getOpenFileName(this, u"Open File Dialog"_s, start, mediaFilter);
    if (chosen.isEmpty())
        return;
    openInput(chosen);
}

void MainWindow::openInput(const QString &chosen)
{
    const QString previousOutput = saveLineEdit->text();
    remembered.rememberFolderOf(Remembered::InputFolder, chosen);

    // The info run of the previous file must not write into the box of this one.
    if (infoProcess.state() != QProcess::NotRunning) {
        infoProcess.blockSignals(true);
        infoProcess.kill();
        infoProcess.waitForFinished(infoStopTimeoutMs);
        infoProcess.blockSignals(false);
    }

    infoTextEdit->clear();
    // The figures of an ended run belong to the file it converted; a run still
    // going on keeps them.
    if (!singleRunner.isRunning() && !batchRunner.isRunning()) {
        setPercent(0);
        lcdNumber->display(QString());
    }
    openLineEdit->setText(chosen);
    // A name derived from the previous input would point at that file; only a
    // name the user chose keeps its folder and base name.
    saveLineEdit->setText(getOutputFile(chosen, outputChosenByUser ? previousOutput : QString()));
    infoCollector.start(chosen);
    // The tracks and fields of the new file, looked at in the background. A
    // press waiting for the previous file's look is dropped with it, and the
    // user is told.
    const bool pressDropped = look.lookAt(chosen);
    deinterlaceChosen = false;
    sourceColumn->forget();
    subtitlePanel->opened(chosen);
    showTracks();
    showSizeChoice();
    if (pressDropped) {
        insertJobButton->setEnabled(!batchRunner.isRunning());
        if (!batchRunner.isRunning()) // a start that waited for the job is dropped too
            updateStartButton();
        statusBar()->showMessage(tr("Eine andere Datei wurde geöffnet; die Umwandlung oder der Job für die "
                                    "vorige Datei wurde verworfen."));
    }
    const QString looking = tr("Die Datei wird noch untersucht (Spuren, Zeilensprung, Farben). Ein Job, der "
                               "davon abhängt, wird erst danach erstellt.");
    convertButton->setToolTip(looking);
    insertJobButton->setToolTip(looking);
    startConverter(infoProcess, converterProgram(), {u"-i"_s, chosen});
    if (!singleRunner.isRunning())
        convertButton->setEnabled(true);
}

void MainWindow::saveDialog()
{
    const QString input = openLineEdit->text();
    const QString start = saveLineEdit->text().isEmpty() ? remembered.startFolder(Remembered::OutputFolder)
                                                         : saveLineEdit->text();
    QString chosen = QFileDialog::getSaveFileName(this, u"Save File Dialog"_s, start, mediaFilter);
    if (chosen.isEmpty())
        return;
    remembered.rememberFolderOf(Remembered::OutputFolder, chosen);
    if (!input.isEmpty())
        chosen = getOutputFile(input, chosen);
    saveLineEdit->setText(chosen);
    outputChosenByUser = true;
}

void MainWindow::SingleConvert()
{
    if (!lookAllows(true))
        return;
    const QString source = openLineEdit->text();
    const QString target = saveLineEdit->text();

    // The argument list starts with "-y": check here what the converter would
    // otherwise overwrite without asking.
    if (sameFile(source, target)) {
        showErrorBox(messageFont, tr("<b>Eingabe und Ausgabe sind dieselbe Datei!</b><br><br>Bitte wählen "
                                     "Sie eine andere Ausgabedatei,<br>sonst würde die Eingabe "
                                     "überschrieben."));
        return;
    }
    if (refuseJob(source, target))
        return;
    const Job job = jobFor(source, target);
    singleAimedMB = aimedSizeMB(panelSettings(), look.openedFacts());
    if (!confirmJob(job, false))
        return;
    if (QFileInfo::exists(target) &&
        !askYesNo(messageFont, tr("Die Ausgabedatei<br><b>%1</b><br>existiert bereits.<br><br>Soll sie "
                                  "überschrieben werden?")
                                   .arg(QDir::toNativeSeparators(target).toHtmlEscaped()))) {
        return;
    }

    setPercent(0);
    lcdNumber->display(u"0"_s);
    convertButton->setEnabled(false);
    batchConvertGroupBox->setEnabled(false);
    frameRate = fpsComboBox->currentText().toDouble();
    singleRunner.setProgram(converterProgram());
    singleRunner.setFrameRate(frameRate);
    statusBar()->showMessage(tr("Konvertiere ") + printableText(source));
    singleRunner.start({job}, {JobState::Pending}, 1, false);
}

void MainWindow::showProgress(const ProgressReading &reading)
{
    if (reading.percent)
        setPercent(*reading.percent);
    if (reading.remaining)
        lcdNumber->display(*reading.remaining);
}

void MainWindow::setPercent(int percent)
{
    // A progress bar repaints itself at once on every change of its figure, which
    // costs more than anything else a batch job does in the window: the end of one
    // job (100) and the start of the next (0) would be painted one after the other.
    // With updates held back, the change is painted once, with the rest.
    if (progressBar->value() == percent)
        return;
    progressBar->setUpdatesEnabled(false);
    progressBar->setValue(percent);
    progressBar->setUpdatesEnabled(true);
}

void MainWindow::updateprocbar()
{
    if (!singleRefresh.admit())
        return; // read with what follows when the interval ends
    if (singleRunner.laneJob(0) >= 0)
        showProgress(singleRunner.readProgress(0));
}

void MainWindow::abgebrochen()
{
    // A press still waiting for the look at the file is withdrawn.
    if (look.withdraw(SourceLook::Press::Convert)) {
        convertButton->setEnabled(true);
        statusBar()->showMessage(tr("Abgebrochen!"));
    }
    singleRunner.stop();
}

void MainWindow::procbeendet(const JobEnd &end)
{
    // The run's last figures (the runner read what was still in the pipe), and
    // its report for the error box.
    // A job of several runs, or one made to a size, keeps the bar where its whole
    // was: the last run's own figure would set it back.
    ProgressReading last;
    if (const Job &job = singleRunner.job(0); job.runs.size() == 1 && job.sizeLimit == 0)
        last.percent = singleRunner.parser(0).percent();
    showProgress(last);
    ffmpegOutput = end.details;
    convertButton->setEnabled(true);
    batchConvertGroupBox->setEnabled(true);

    switch (end.outcome) {
    case RunOutcome::Crashed:
    case RunOutcome::Error:
        reportConverterFailure(end, singleEndNotice(end.outcome, saveLineEdit->text()));
        break;
    case RunOutcome::Cancelled:
        lcdNumber->display(tr("Cancel"));
        statusBar()->showMessage(tr("Abgebrochen!"));
        break;
    case RunOutcome::Success:
        setPercent(100);
        // Nothing is left to do: the last estimate of a short run would say otherwise.
        lcdNumber->display(formatRemaining(0));
        statusBar()->showMessage(tr("Konvertierung beendet."));
        if (const QString note = oversizeNote(saveLineEdit->text(), singleAimedMB); !note.isEmpty())
            statusBar()->showMessage(note);
        alertIfInactive(this, singleEndNotice(RunOutcome::Success, saveLineEdit->text()));
        break;
    }
    ffmpegOutput.clear();
}

void MainWindow::processError()
{
    lcdNumber->display(u"ERROR"_s);
    showErrorBox(messageFont, tr("<b>ffmpeg konnte nicht gestartet werden!</b><br><br>Bitte versuchen sie "
                                 "die Konvertierung<br>erneut zu starten."));
    convertButton->setEnabled(true);
    batchConvertGroupBox->setEnabled(true);
    statusBar()->showMessage(tr("Fehler!"), 5000);
}

void MainWindow::Information()
{
    const bool shownAlready = infoCollector.complete();
    if (infoCollector.feed(infoProcess.readAllStandardError()) && !shownAlready)
        appendLines(infoTextEdit, infoCollector.lines());
}

void MainWindow::infoFinished()
{
    Information();
    if (infoCollector.complete())
        return;
    // The run ended without the closing complaint: show what was described, or
    // else the converter's last words, which tell the user why.
    const QStringList lines = infoCollector.lines();
    if (!lines.isEmpty())
        appendLines(infoTextEdit, lines);
    else if (!infoCollector.lastLine().isEmpty())
        appendLines(infoTextEdit, {infoCollector.lastLine()});
}
