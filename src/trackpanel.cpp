// The tracks of the opened file beside the information box, and the background
// look at files: the opened one for its tracks and fields, added ones before they
// become jobs, so that every job holds its final stream choice.
#include <QCheckBox>
#include <QFileInfo>
#include <QStatusBar>

#include <algorithm>

#include "batchfile.h"
#include "formats.h"
#include "makejob.h"
#include "quorvid.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

void MainWindow::setUpTracks()
{
    // Shown once a look found the opened file's video.
    deinterlaceCheckBox->hide();
    survey.setParallel(1);
    batchSurvey.setParallel(2);
    connect(trackList, &TrackList::checksChanged, this, [this] { showTracks(); });
    connect(deinterlaceCheckBox, &QCheckBox::clicked, this, [this] { deinterlaceChosen = true; });
    connect(&survey, &MediaSurvey::surveyed, this, [this](const QString &path, const MediaFacts &facts) {
        if (path != openLineEdit->text())
            return;
        openedFacts = facts;
        trackList->setFacts(facts);
        showTracks();
        showRangeNote();
        showStill(false);
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
        if (surveyReplacesList)
            replaceBatchList(files);
        else
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

Job MainWindow::jobFor(const QString &source, const QString &target, bool wholeFile)
{
    PanelSettings settings = panelSettings();
    // Jobs made of several files at once take each file whole.
    if (wholeFile)
        settings.rangeFrom = settings.rangeTo = QString();
    // What the look found: at the opened file, or at a file on its way into the list.
    MediaFacts facts;
    if (source == openLineEdit->text() && source == infoCollector.file()) {
        facts = openedFacts;
        settings.trackChecks = trackList->checks();
    } else {
        facts = surveyedFacts.value(source);
    }
    return makeJob(settings, source, target, facts);
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
