// The settings panel: keeping its controls consistent, reading it into an
// argument list and deriving the output name from it.
#include "arguments.h"
#include "codecs.h"
#include "makejob.h"
#include "quorvid.h"

void MainWindow::vcopywahl()
{
    const bool notCopy = vcodecComboBox->currentIndex() != 0;
    vauflspinBox->setEnabled(notCopy);
    hauflspinBox->setEnabled(notCopy);
    ratioComboBox->setEnabled(notCopy);
    vbitrateSpinBox->setEnabled(notCopy);
    fpsComboBox->setEnabled(notCopy);
    refreshFormatControls();
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
    refreshFormatControls();
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
    return settings;
}
