// The settings panel's controls for the codecs of today, and the question before
// a conversion or a job that the converter cannot write.
#include <QSignalBlocker>

#include "codecs.h"
#include "compatibility.h"
#include "messagebox.h"
#include "quorvid.h"

using namespace Qt::StringLiterals;

namespace {
// More lines would hide the question; the same reasons repeat for many jobs.
constexpr int maxReasonsShown = 8;
} // namespace

void MainWindow::connectFormatControls()
{
    // After the connections of the first codecs, so that their reactions run first.
    connect(vcodecComboBox, &QComboBox::currentIndexChanged, this, &MainWindow::videoCodecChanged);
    connect(originalSizeCheckBox, &QCheckBox::toggled, this, &MainWindow::refreshFormatControls);
    connect(qualityComboBox, &QComboBox::currentIndexChanged, this, &MainWindow::refreshFormatControls);
    // They share the line of the "Video" check box, right-aligned: the column keeps
    // room for both side by side, whatever the fonts.
    AudioVideoGridLayout->setColumnMinimumWidth(0, videoCheckBox->sizeHint().width() +
                                                       AudioVideoGridLayout->horizontalSpacing() +
                                                       formatWidget->sizeHint().width());
    // They go with the video frame when video is switched off.
    connect(videoCheckBox, &QCheckBox::stateChanged, this,
            [this] { formatWidget->setEnabled(videoCheckBox->isChecked()); });
    previousVideoCodec = vcodecComboBox->currentIndex();
}

void MainWindow::videoCodecChanged()
{
    const int codec = vcodecComboBox->currentIndex();
    const bool modern = videoCodec(codec).modern;
    const bool wasModern = videoCodec(previousVideoCodec).modern;
    previousVideoCodec = codec;
    // Only the values change here. The enabled states follow when the codec is a
    // user's choice or the PAL-DVD preset, as for the first codecs.
    const QSignalBlocker sizeBlocker(originalSizeCheckBox);
    const QSignalBlocker qualityBlocker(qualityComboBox);
    if (modern && !wasModern) {
        // The codecs of today keep the source's own format and constant quality
        // unless the user chooses otherwise.
        originalSizeCheckBox->setChecked(true);
        fpsComboBox->setCurrentIndex(originalFrameRateIndex);
        ratioComboBox->setCurrentIndex(originalRatioIndex);
        qualityComboBox->setCurrentIndex(defaultQualityIndex);
    } else if (!modern && wasModern) {
        // Back to the first codecs: their own defaults instead of "Original".
        originalSizeCheckBox->setChecked(false);
        if (fpsComboBox->currentIndex() == originalFrameRateIndex)
            fpsComboBox->setCurrentIndex(1);
        if (ratioComboBox->currentIndex() == originalRatioIndex)
            ratioComboBox->setCurrentIndex(0);
    }
}

void MainWindow::refreshFormatControls()
{
    // Enabled exactly when the argument builder reads them, as for the controls of
    // the first codecs; the size and bitrate follow the new choices.
    const int codec = vcodecComboBox->currentIndex();
    const bool encoding = codec != 0 && !dvdButton->isChecked();
    const bool modern = encoding && videoCodec(codec).modern;
    const bool quality = modern && qualityComboBox->currentIndex() != bitrateQualityIndex;
    originalSizeCheckBox->setEnabled(encoding);
    vauflspinBox->setEnabled(encoding && !originalSizeCheckBox->isChecked());
    hauflspinBox->setEnabled(encoding && !originalSizeCheckBox->isChecked());
    qualityLabel->setEnabled(modern);
    qualityComboBox->setEnabled(modern);
    vbitrateSpinBox->setEnabled(codec != 0 && !quality);
    targetSizeSpinBox->setEnabled(modern && qualityComboBox->currentIndex() == targetSizeQualityIndex);
}

bool MainWindow::confirmCompatible(const QList<Job> &jobs, bool forBatch)
{
    // Every run of every job is judged: a first pass as much as the last.
    QList<QStringList> argumentLists;
    for (const Job &job : jobs)
        argumentLists += job.runs;
    return confirmCompatible(argumentLists, forBatch);
}

bool MainWindow::confirmCompatible(const QList<QStringList> &argumentLists, bool forBatch)
{
    // The information run describes the file opened last; other inputs are judged
    // by their settings alone.
    const SourceStreams opened = parseStreams(infoCollector.lines());
    QStringList reasons;
    for (const QStringList &arguments : argumentLists) {
        const bool described = !infoCollector.file().isEmpty() && arguments.value(2) == infoCollector.file();
        const QList<Problem> problems =
            findProblems(outputFacts(arguments, described ? opened : SourceStreams()));
        for (const Problem &problem : problems) {
            const QString line = QString(problem.reason + u' ' + problem.instead).toHtmlEscaped();
            if (!reasons.contains(line))
                reasons << line;
        }
    }
    if (reasons.isEmpty())
        return true;
    const qsizetype hidden = reasons.size() - maxReasonsShown;
    if (hidden > 0) {
        reasons.resize(maxReasonsShown);
        reasons << tr("… und %n weitere Gründe.", nullptr, int(hidden));
    }
    const QString question = forBatch ? tr("Sollen die Jobs trotzdem in die Batchliste aufgenommen werden?")
                                      : tr("Soll die Konvertierung trotzdem starten?");
    return askYesNo(messageFont, tr("<b>Diese Einstellungen kann ffmpeg nicht umsetzen:</b><br><br>%1<br><br>%2")
                        .arg(reasons.join(u"<br><br>"_s), question));
}
