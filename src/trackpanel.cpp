// The tracks of the opened file beside the information box, and the background
// look at files: the opened one for its tracks and fields, added ones before they
// become jobs, so that every job holds its final stream choice.
#include <QCheckBox>
#include <QFileInfo>
#include <QStatusBar>

#include <algorithm>
#include <utility>

#include "batchfile.h"
#include "failurereports.h"
#include "makejob.h"
#include "messagebox.h"
#include "quorvid.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

void MainWindow::setUpTracks()
{
    // Shown once a look found the opened file's video.
    deinterlaceCheckBox->hide();
    survey.setParallel(1);
    batchSurvey.setParallel(2);
    // A ticked or unticked track changes the job, and with it what a size allows.
    connect(trackList, &TrackList::checksChanged, this, [this] {
        showTracks();
        showRangeNote();
    });
    connect(deinterlaceCheckBox, &QCheckBox::clicked, this, [this] { deinterlaceChosen = true; });
    connect(&survey, &MediaSurvey::surveyed, this, [this](const QString &path, const MediaFacts &facts) {
        if (path != infoCollector.file())
            return;
        openedFacts = facts;
        trackList->setFacts(facts);
        showTracks();
        showRangeNote();
        showSizeChoice();
        showStill(false);
        lookEnded(path);
    });
    connect(&batchSurvey, &MediaSurvey::surveyed, this,
            [this](const QString &path, const MediaFacts &facts) { surveyedFacts.insert(path, facts); });
    connect(&batchSurvey, &MediaSurvey::progressChanged, this, [this](int done, int total) {
        statusBar()->showMessage(tr("Die Spuren der Dateien werden gelesen: %1 von %2").arg(done).arg(total));
    });
    connect(&batchSurvey, &MediaSurvey::finished, this, [this] {
        QStringList files;
        files.swap(surveyedFiles);
        statusBar()->clearMessage();
        files = filesToTake(files);
        // With nothing left to add the list stays as it was.
        if (!files.isEmpty() && surveyReplacesList)
            replaceBatchList(files);
        else if (!files.isEmpty())
            appendBatchList(files);
        surveyedFacts.clear();
    });
}

void MainWindow::showTracks()
{
    const StreamFacts *video = firstVideo(openedFacts);
    if (!openedFacts.valid || openedFacts.streams.isEmpty()) {
        trackList->clear();
        deinterlaceCheckBox->hide();
        return;
    }
    const PanelSettings settings = panelSettings();
    const TrackPlan plan =
        planTracks(openedFacts, settings, QFileInfo(saveLineEdit->text()).suffix(), trackList->checks());
    trackList->showPlan(plan);
    // The video row also tells what the field check found.
    for (int row = 0; video && row < trackList->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = trackList->topLevelItem(row);
        if (item->text(TrackList::KindColumn) != kindLabel(StreamFacts::Kind::Video))
            continue;
        item->setText(TrackList::DetailsColumn,
                      streamDetails(*video) + u", "_s + scanLabel(openedFacts.scan));
        break;
    }
    // The check box shows the decision until the user sets it; it means something
    // only where video is encoded.
    if (!deinterlaceChosen)
        deinterlaceCheckBox->setChecked(deinterlaces(settings, openedFacts));
    deinterlaceCheckBox->setVisible(video != nullptr);
    deinterlaceCheckBox->setEnabled(settings.videoOn && settings.videoCodec != 0 && !settings.dvdPreset);
}

bool MainWindow::isOpenedFile(const QString &source) const
{
    return source == openLineEdit->text() && source == infoCollector.file();
}

PanelSettings MainWindow::settingsFor(const QString &source) const
{
    PanelSettings settings = panelSettings();
    // The track ticks belong to the opened file; other files keep their defaults.
    if (isOpenedFile(source))
        settings.trackChecks = trackList->checks();
    return settings;
}

MediaFacts MainWindow::factsFor(const QString &source) const
{
    // What the look found: at the opened file, or at a file on its way into the list.
    return isOpenedFile(source) ? openedFacts : surveyedFacts.value(source);
}

Job MainWindow::jobFor(const QString &source, const QString &target, bool wholeFile)
{
    PanelSettings settings = settingsFor(source);
    // Jobs made of several files at once take each file whole.
    if (wholeFile)
        settings.rangeFrom = settings.rangeTo = QString();
    return makeJob(settings, source, target, factsFor(source));
}

void MainWindow::surveyForBatch(const QStringList &files, bool replacing)
{
    // Files added while others are still being looked at join them.
    if (batchSurvey.busy() && !replacing) {
        surveyedFiles += files;
        batchSurvey.add(files);
        return;
    }
    surveyedFiles = files;
    surveyReplacesList = replacing;
    surveyedFacts.clear();
    batchSurvey.stop();
    batchSurvey.add(files);
}

bool MainWindow::needsLookAtFiles() const
{
    return dependsOnSource(panelSettings());
}

bool MainWindow::waitForLook(bool convert)
{
    const QString source = openLineEdit->text();
    if (!needsLookAtFiles() || source.isEmpty() || source == lookedAtFile)
        return false;
    if (source != infoCollector.file())
        openInput(source);
    else if (!survey.busy())
        survey.add({source});
    (convert ? convertWaitsForLook : addJobWaitsForLook) = true;
    (convert ? convertButton : insertJobButton)->setEnabled(false);
    statusBar()->showMessage(convert
                                 ? tr("Die Datei wird noch untersucht (Spuren, Zeilensprung, Farben). Die "
                                      "Umwandlung beginnt, sobald das fertig ist.")
                                 : tr("Die Datei wird noch untersucht (Spuren, Zeilensprung, Farben). Der "
                                      "Job wird hinzugefügt, sobald das fertig ist."));
    return true;
}

void MainWindow::lookEnded(const QString &path)
{
    lookedAtFile = path;
    convertButton->setToolTip(QString());
    insertJobButton->setToolTip(QString());
    const bool convert = std::exchange(convertWaitsForLook, false);
    const bool addJob = std::exchange(addJobWaitsForLook, false);
    if (openedFacts.valid && !openedFacts.problem.isEmpty())
        statusBar()->showMessage(openedFacts.problem);
    else if (convert || addJob)
        statusBar()->clearMessage();
    if (addJob) {
        insertJobButton->setEnabled(!batchRunner.isRunning());
        insertBatch();
    }
    if (convert) {
        convertButton->setEnabled(!singleRunner.isRunning());
        if (convertButton->isEnabled())
            SingleConvert();
    }
}

bool MainWindow::goOnWithoutLook(bool convert)
{
    if (openedFacts.valid || !needsLookAtFiles())
        return true;
    return askYesNo(messageFont, tr("<b>Die Datei konnte nicht untersucht werden.</b><br><br>%1<br><br>Ohne diese Angaben "
                       "kann Quorvid Tonspuren, Untertitel, Zeilensprung und Farbangaben der Datei nicht "
                       "berücksichtigen.<br><br>%2")
                        .arg(unreadFilesText({{openLineEdit->text(), openedFacts.problem}}),
                             convert ? tr("Soll sie trotzdem umgewandelt werden?")
                                     : tr("Soll der Job trotzdem hinzugefügt werden?")));
}

QStringList MainWindow::filesToTake(const QStringList &files)
{
    QList<std::pair<QString, QString>> failures;
    QStringList readable;
    int partly = 0;
    for (const QString &file : files) {
        const MediaFacts facts = surveyedFacts.value(file);
        if (facts.valid)
            readable << file;
        else
            failures.append({file, facts.problem});
        partly += facts.valid && !facts.problem.isEmpty() ? 1 : 0;
    }
    if (partly > 0)
        statusBar()->showMessage(
            tr("Bei %1 Dateien wurde die Prüfung auf Zeilensprung abgebrochen; ob ihr Bild "
               "Zeilensprung hat, ist unbekannt, und er wird nicht entfernt.")
                .arg(partly));
    if (failures.isEmpty())
        return files;
    const QString headline = failures.size() == 1
                                 ? tr("Eine Datei konnte nicht untersucht werden.")
                                 : tr("%1 Dateien konnten nicht untersucht werden.").arg(failures.size());
    if (askYesNo(messageFont, u"<b>"_s + headline + u"</b><br><br>"_s + unreadFilesText(failures) + u"<br><br>"_s +
                 tr("Ohne diese Angaben kann Quorvid Tonspuren, Untertitel, Zeilensprung und Farbangaben "
                    "nicht berücksichtigen.<br><br>Sollen trotzdem Jobs für sie angelegt werden? Mit "
                    "„Nein“ werden sie ausgelassen.")))
        return files;
    statusBar()->showMessage(
        tr("%1 von %2 Dateien wurden ausgelassen, weil sie nicht untersucht werden konnten.")
            .arg(failures.size())
            .arg(files.size()));
    return readable;
}
