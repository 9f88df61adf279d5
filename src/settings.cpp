// The settings panel: keeping its controls consistent, reading it into an
// argument list and deriving the output name from it.
#include "arguments.h"
#include "codecs.h"
#include "formatcontrols.h"
#include "loudness.h"
#include "makejob.h"
#include "presetchooser.h"
#include "quorvid.h"
#include "sizechoice.h"
#include "subtitlepanel.h"

void MainWindow::vcopywahl()
{
    const bool notCopy = vcodecComboBox->currentIndex() != 0;
    vauflspinBox->setEnabled(notCopy);
    hauflspinBox->setEnabled(notCopy);
    ratioComboBox->setEnabled(notCopy);
    vbitrateSpinBox->setEnabled(notCopy);
    fpsComboBox->setEnabled(notCopy);
    formatControls->refresh();
}

void MainWindow::acopywahl()
{
    const AudioControls controls = audioCodec(acodecComboBox->currentIndex()).controls;
    abitrateComboBox->setEnabled(controls.bitrate);
    channelButtonGroup->setEnabled(controls.channels);
    freqComboBox->setEnabled(controls.frequency);
}

void MainWindow::dvdwahl()
{
    if (dvdButton->isChecked()) {
        vauflspinBox->setEnabled(false);
        vauflspinBox->setValue(720);
        hauflspinBox->setEnabled(false);
        hauflspinBox->setValue(576);
        vcodecComboBox->setEnabled(false);
        vcodecComboBox->setCurrentIndex(4);
        ratioComboBox->setEnabled(true);
        vbitrateSpinBox->setEnabled(true);
        fpsComboBox->setEnabled(false);
        fpsComboBox->setCurrentIndex(1);
        acodecComboBox->setCurrentIndex(4);
        abitrateComboBox->setEnabled(true);
        channelButtonGroup->setEnabled(true);
        freqComboBox->setCurrentIndex(0);
        freqComboBox->setEnabled(true);
    } else {
        vauflspinBox->setEnabled(true);
        hauflspinBox->setEnabled(true);
        vcodecComboBox->setEnabled(true);
        fpsComboBox->setEnabled(true);
    }
    formatControls->refresh();
}

void MainWindow::VideoOnOff()
{
    videoFrame->setEnabled(videoCheckBox->isChecked());
    setOutputFile();
}

void MainWindow::AudioOnOff()
{
    audioFrame->setEnabled(audioCheckBox->isChecked());
}

QString MainWindow::getOutputFile(QString Eingabe, QString Ausgabe)
{
    QString codecSuffix;
    if (videoCheckBox->isChecked())
        codecSuffix = vcodecComboBox->currentIndex() == 0
                          ? QString()
                          : videoExtensions.value(vcodecComboBox->currentIndex());
    else
        codecSuffix = acodecComboBox->currentIndex() == 0
                          ? QString()
                          : audioExtensions.value(acodecComboBox->currentIndex());
    return proposeOutputName(Eingabe, Ausgabe, codecSuffix);
}

void MainWindow::setOutputFile()
{
    const QString input = openLineEdit->text();
    if (input.isEmpty())
        return;
    saveLineEdit->setText(getOutputFile(input, saveLineEdit->text()));
    showTracks();
}

QStringList MainWindow::createArguments(QString sourceFile, QString targetFile)
{
    // The last run is the one that writes the output.
    return jobFor(sourceFile, targetFile).runs.last();
}

PanelSettings MainWindow::widgetSettings() const
{
    PanelSettings settings;
    settings.videoOn = videoCheckBox->isChecked();
    settings.videoCodec = vcodecComboBox->currentIndex();
    settings.dvdPreset = dvdButton->isChecked();
    settings.width = vauflspinBox->text();
    settings.height = hauflspinBox->text();
    settings.frameRateIndex = fpsComboBox->currentIndex();
    settings.ratio = ratioComboBox->currentIndex();
    settings.videoBitrate = vbitrateSpinBox->text();
    settings.originalSize = originalSizeCheckBox->isChecked();
    settings.quality = qualityComboBox->isEnabled() ? qualityComboBox->currentIndex() : 0;
    if (settings.quality == targetSizeQualityIndex) {
        // A size is met with a bitrate the job computes.
        settings.quality = bitrateQualityIndex;
        settings.targetSizeMB = targetSizeSpinBox->value();
    }
    settings.audioOn = audioCheckBox->isChecked();
    settings.audioCodec = acodecComboBox->currentIndex();
    settings.frequencyEnabled = freqComboBox->isEnabled();
    settings.sampleRateIndex = freqComboBox->currentIndex();
    settings.audioBitrateEnabled = abitrateComboBox->isEnabled();
    settings.audioBitrateIndex = abitrateComboBox->currentIndex();
    settings.channelsEnabled = channelButtonGroup->isEnabled();
    settings.stereo = stereoButton->isChecked();
    settings.rangeFrom = rangeFromLineEdit->text().trimmed();
    settings.rangeTo = rangeToLineEdit->text().trimmed();
    if (deinterlaceChosen)
        settings.deinterlace = deinterlaceCheckBox->isChecked();
    settings.removeBars = removeBarsCheckBox->isChecked();
    settings.keepHdr = keepHdrCheckBox->isChecked();
    settings.loudnessTarget = loudnessTargets().value(loudnessComboBox->currentIndex());
    subtitlePanel->readInto(settings);
    settings.subtitlesBeside = subtitlesBesideCheckBox->isChecked();
    return settings;
}

void MainWindow::applyPanelSettings(const PanelSettings &s)
{
    // In the order a user would go: video on or off, the codec (whose reactions
    // set their own defaults), the PAL-DVD preset, then the single values.
    videoCheckBox->setChecked(s.videoOn);
    if (dvdButton->isChecked() && !s.dvdPreset) {
        dvdButton->setChecked(false);
        dvdwahl();
    }
    vcodecComboBox->setCurrentIndex(s.videoCodec);
    vcopywahl();
    if (s.dvdPreset) {
        dvdButton->setChecked(true);
        dvdwahl();
    }
    originalSizeCheckBox->setChecked(s.originalSize);
    vauflspinBox->setValue(s.width.toInt());
    hauflspinBox->setValue(s.height.toInt());
    fpsComboBox->setCurrentIndex(s.frameRateIndex);
    ratioComboBox->setCurrentIndex(s.ratio);
    vbitrateSpinBox->setValue(s.videoBitrate.toInt());
    qualityComboBox->setCurrentIndex(s.targetSizeMB > 0 ? targetSizeQualityIndex : s.quality);
    if (s.targetSizeMB > 0)
        targetSizeSpinBox->setValue(s.targetSizeMB);
    audioCheckBox->setChecked(s.audioOn);
    acodecComboBox->setCurrentIndex(s.audioCodec);
    acopywahl();
    freqComboBox->setCurrentIndex(s.sampleRateIndex);
    abitrateComboBox->setCurrentIndex(s.audioBitrateIndex);
    (s.stereo ? stereoButton : monoButton)->setChecked(true);
    removeBarsCheckBox->setChecked(s.removeBars);
    keepHdrCheckBox->setChecked(s.keepHdr);
    loudnessComboBox->setCurrentIndex(loudnessTargetIndex(s.loudnessTarget));
    subtitlesBesideCheckBox->setChecked(s.subtitlesBeside);
    formatControls->refresh();
    setOutputFile();
}

PanelSettings MainWindow::panelSettings() const
{
    return presetChooser->complete(widgetSettings());
}

void MainWindow::showSizeMeaning()
{
    // The same box holds a size to fill or, under a preset's limit, one never to
    // exceed; its label and tip say which.
    const PanelSettings settings = panelSettings();
    if (settings.sizeIsLimit) {
        targetSizeLabel->setText(tr("Höchstgröße"));
        targetSizeSpinBox->setToolTip(
            tr("Größte Größe der ganzen Ausgabedatei in MB (1 MB = 1.000.000 Byte). Die Datei wird in der "
               "Qualität der Vorlage umgewandelt; nur wenn sie dabei größer würde, wandelt Quorvid das Video "
               "in zwei Durchgängen so um, dass sie diese Größe knapp unterschreitet."));
    } else {
        targetSizeLabel->setText(tr("Zielgröße"));
        targetSizeSpinBox->setToolTip(
            tr("Größe der ganzen Ausgabedatei in MB (1 MB = 1.000.000 Byte). Das Video wird in zwei "
               "Durchgängen so umgewandelt, dass die Datei diese Größe knapp unterschreitet."));
    }
    targetSizeLabel->setToolTip(targetSizeSpinBox->toolTip());
}

void MainWindow::showSizeChoice()
{
    const StreamFacts *video = firstVideo(look.openedFacts());
    const SizeChoice choice = sizeChoice(panelSettings().maxHeight, video ? video->shownWidth() : 0,
                                         video ? video->shownHeight() : 0);
    originalSizeCheckBox->setText(choice.text);
    originalSizeCheckBox->setToolTip(choice.toolTip);
    // The Video line keeps room for the check box and its neighbours; it only
    // grows, so that the panel does not jump from one file to the next.
    const int needed = videoCheckBox->sizeHint().width() + AudioVideoGridLayout->horizontalSpacing() +
                       formatWidget->sizeHint().width();
    if (AudioVideoGridLayout->columnMinimumWidth(0) < needed)
        AudioVideoGridLayout->setColumnMinimumWidth(0, needed);
}
