// The tracks of the opened file beside the information box, and the background
// look at files: the opened one for its tracks and fields, added ones before they
// become jobs, so that every job holds its final stream choice.
#include <QCheckBox>
#include <QFileInfo>
#include <QStatusBar>

#include <algorithm>
#include <utility>

#include "batchfile.h"
#include "blackbars.h"
#include "failurereports.h"
#include "hdr.h"
#include "joindialog.h"
#include "loudness.h"
#include "makejob.h"
#include "messagebox.h"
#include "questions.h"
#include "quorvid.h"
#include "sourcecolumn.h"
#include "sourcelook.h"
#include "subtitlechoice.h"
#include "subtitlepanel.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

void MainWindow::setUpTracks()
{
    // Shown once a look found the opened file's video; evening out the loudness
    // is a choice for every job, with or without picture.
    deinterlaceCheckBox->hide();
    loudnessLabel->show();
    loudnessComboBox->show();
    // A ticked or unticked track changes the job, and with it what a size allows.
    connect(trackList, &TrackList::checksChanged, this, [this] {
        showTracks();
        sourceColumn->showRangeNote();
    });
    connect(deinterlaceCheckBox, &QCheckBox::clicked, this, [this] { deinterlaceChosen = true; });
    subtitlePanel = new SubtitlePanel(*this, messageFont, this);
    connect(subtitlePanel, &SubtitlePanel::changed, this, [this] { showTracks(); });
    connect(subtitlePanel, &SubtitlePanel::message, this,
            [this](const QString &text) { statusBar()->showMessage(text); });
    connect(actionDateienVerbinden, &QAction::triggered, this, [this] {
        const std::optional<Job> job =
            joinedJob(panelSettings(), messageFont, remembered.startFolder(Remembered::InputFolder), this);
        if (job && confirmCompatible({*job}, true, infoCollector, messageFont,
                                     {loudnessCopyProblem(panelSettings())}))
            addJobs({*job});
    });
    connect(&look, &SourceLook::openedLooked, this,
            [this](const QString &, bool convert, bool addJob) { lookEnded(convert, addJob); });
    connect(&look, &SourceLook::batchProgress, this, [this](int done, int total) {
        statusBar()->showMessage(tr("Die Spuren der Dateien werden gelesen: %1 von %2").arg(done).arg(total));
    });
    connect(&look, &SourceLook::message, this,
            [this](const QString &text) { statusBar()->showMessage(text); });
    connect(&look, &SourceLook::batchLooked, this, [this](const QStringList &files, bool replacing) {
        if (replacing)
            replaceBatchList(files);
        else
            appendBatchList(files);
    });
}

void MainWindow::showTracks()
{
    const MediaFacts &openedFacts = look.openedFacts();
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
        QString details = streamDetails(*video) + u", "_s + scanLabel(openedFacts.scan);
        if (const QString range = dynamicRangeLabel(dynamicRange(*video)); !range.isEmpty())
            details += u", "_s + range;
        item->setText(TrackList::DetailsColumn, details);
        break;
    }
    // The check box shows the decision until the user sets it; it means something
    // only where video is encoded.
    if (!deinterlaceChosen)
        deinterlaceCheckBox->setChecked(deinterlaces(settings, openedFacts));
    deinterlaceCheckBox->setVisible(video != nullptr);
    const bool encodesVideo = settings.videoOn && settings.videoCodec != 0 && !settings.dvdPreset;
    deinterlaceCheckBox->setEnabled(encodesVideo);
    // Black bars and HDR are said about the picture, and chosen where it is encoded.
    removeBarsCheckBox->setVisible(video != nullptr);
    removeBarsCheckBox->setEnabled(encodesVideo);
    barsLabel->setVisible(video != nullptr);
    if (video)
        barsLabel->setText(openedFacts.barsLooked
                               ? ::barsLabel(openedFacts.bars, video->shownWidth(), video->shownHeight())
                               : tr("Schwarze Ränder: werden gesucht …"));
    keepHdrCheckBox->setVisible(video && dynamicRange(*video) != DynamicRange::Standard);
    keepHdrCheckBox->setEnabled(
        encodesVideo && targetKeepsHdr(settings.videoCodec, QFileInfo(saveLineEdit->text()).suffix()));
}

bool MainWindow::isOpenedFile(const QString &source) const
{
    return source == openLineEdit->text() && source == look.opened();
}

PanelSettings MainWindow::settingsFor(const QString &source) const
{
    PanelSettings settings = panelSettings();
    // The track ticks belong to the opened file; other files keep their defaults.
    if (isOpenedFile(source))
        settings.trackChecks = trackList->checks();
    return subtitlesForSource(settings, isOpenedFile(source), source);
}

Job MainWindow::jobFor(const QString &source, const QString &target, bool wholeFile)
{
    PanelSettings settings = settingsFor(source);
    // Jobs made of several files at once take each file whole.
    if (wholeFile)
        settings.rangeFrom = settings.rangeTo = QString();
    return makeJob(settings, source, target, look.factsFor(source, isOpenedFile(source)));
}

bool MainWindow::confirmJob(const Job &job, bool forBatch)
{
    const PanelSettings settings = settingsFor(job.input);
    const MediaFacts facts = look.factsFor(job.input, isOpenedFile(job.input));
    return confirmCompatible({job}, forBatch, infoCollector, messageFont,
                             settingsProblems(settings, facts, QFileInfo(job.output).suffix()),
                             settings.burnIn.isSet());
}

bool MainWindow::lookAllows(bool convert)
{
    // Jobs of the first codecs do not depend on what the file holds.
    const QString source = openLineEdit->text();
    const PanelSettings settings = panelSettings();
    if (!dependsOnSource(settings) || source.isEmpty())
        return true;
    const bool withBars = settings.videoOn && settings.removeBars;
    if (look.lookedAt(source, withBars))
        return look.goOnWithout(convert);
    // A name typed into the field is opened first, as "Öffnen" does.
    if (source != look.opened())
        openInput(source);
    else
        look.lookAgain();
    look.wait(convert ? SourceLook::Press::Convert : SourceLook::Press::AddJob, withBars);
    (convert ? convertButton : insertJobButton)->setEnabled(false);
    statusBar()->showMessage(convert
                                 ? tr("Die Datei wird noch untersucht (Spuren, Zeilensprung, Farben). Die "
                                      "Umwandlung beginnt, sobald das fertig ist.")
                                 : tr("Die Datei wird noch untersucht (Spuren, Zeilensprung, Farben). Der "
                                      "Job wird hinzugefügt, sobald das fertig ist."));
    return false;
}

void MainWindow::lookEnded(bool convert, bool addJob)
{
    const MediaFacts &openedFacts = look.openedFacts();
    trackList->setFacts(openedFacts);
    subtitlePanel->showFacts(openedFacts);
    showTracks();
    sourceColumn->showRangeNote();
    showSizeChoice();
    sourceColumn->showStill(false);
    convertButton->setToolTip(QString());
    insertJobButton->setToolTip(QString());
    if (openedFacts.valid && !openedFacts.problem.isEmpty())
        statusBar()->showMessage(openedFacts.problem);
    else if (convert || addJob)
        statusBar()->clearMessage();
    if (addJob) {
        insertJobButton->setEnabled(!batchRunner.isRunning());
        insertBatch();
    }
    // A start pressed while the job waited goes on now, with or without it.
    if (look.takeStartAfterAddedJob()) {
        if (!batchRunner.isRunning()) {
            updateStartButton();
            if (batchConvertButton->isEnabled())
                batchFirstStart();
        }
    }
    if (convert) {
        convertButton->setEnabled(!singleRunner.isRunning());
        if (convertButton->isEnabled())
            SingleConvert();
    }
}
