// The column beside the information about the opened file: a picture of it, and
// the part of it to convert ("Von" / "Bis") with what the fields mean for the job.
#include <QFileInfo>
#include <QPixmap>

#include "makejob.h"
#include "messagebox.h"
#include "quorvid.h"
#include "stillpicture.h"
#include "timerange.h"

using namespace Qt::StringLiterals;

namespace {
// The picture's room: a small 16:9 frame beside the information.
constexpr QSize stillBounds{160, 90};
} // namespace

void MainWindow::setUpSource()
{
    stillLabel->setFixedSize(stillBounds);
    connect(&still, &StillPicture::pictureReady, this, [this](const QString &path, const QImage &picture) {
        if (path == openLineEdit->text())
            stillLabel->setPixmap(QPixmap::fromImage(picture));
    });
    connect(&still, &StillPicture::noPicture, this, [this](const QString &path) {
        if (path == openLineEdit->text())
            stillLabel->clear();
    });
    // The picture follows the start after a pause in typing; the note follows
    // every change.
    connect(rangeFromLineEdit, &QLineEdit::textEdited, this, [this] {
        showRangeNote();
        showStill(true);
    });
    connect(rangeToLineEdit, &QLineEdit::textEdited, this, [this] { showRangeNote(); });
    connect(vcodecComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(videoCheckBox, &QCheckBox::toggled, this, [this] { showRangeNote(); });
    connect(qualityComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(targetSizeSpinBox, &QDoubleSpinBox::valueChanged, this, [this] { showRangeNote(); });
    // What the sound needs, and which tracks the target holds, decide what a size allows.
    connect(audioCheckBox, &QCheckBox::toggled, this, [this] { showRangeNote(); });
    connect(acodecComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(abitrateComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(saveLineEdit, &QLineEdit::textChanged, this, [this] { showRangeNote(); });
}

void MainWindow::forgetSource()
{
    still.cancel();
    stillLabel->clear();
    // A part of one file means nothing for the next.
    rangeFromLineEdit->clear();
    rangeToLineEdit->clear();
    showRangeNote();
}

void MainWindow::showStill(bool soon)
{
    const QString path = openLineEdit->text();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    const RangeCheck range =
        checkRange(rangeFromLineEdit->text(), QString(), look.openedFacts().durationSeconds);
    const double seconds = stillSeconds(look.openedFacts().durationSeconds,
                                        range.refusal.isEmpty() ? range.range.from : std::nullopt);
    if (soon)
        still.requestSoon(path, seconds, stillBounds);
    else
        still.request(path, seconds, stillBounds);
}

void MainWindow::showRangeNote()
{
    // What the fields mean for the job, before anything runs: a time or a size
    // that cannot be, or where a copy really begins.
    // Judged as the job that would run: with the ticks of the track list.
    const PanelSettings settings = settingsFor(openLineEdit->text());
    const MediaFacts &openedFacts = look.openedFacts();
    const QString refusal = openedFacts.valid ? jobRefusal(settings, openedFacts, saveLineEdit->text())
                                              : checkRange(settings.rangeFrom, settings.rangeTo, 0).refusal;
    const bool copiesVideo = settings.videoOn && settings.videoCodec == 0;
    QString note;
    if (!refusal.isEmpty())
        note = refusal;
    else if (copiesVideo && !settings.rangeFrom.isEmpty())
        note = copyCutNote();
    rangeNoteLabel->setText(note);
    rangeNoteLabel->setVisible(!note.isEmpty());
}

bool MainWindow::refuseJob(const QString &source, const QString &target)
{
    const QString refusal =
        jobRefusal(settingsFor(source), look.factsFor(source, isOpenedFile(source)), target);
    if (refusal.isEmpty())
        return false;
    showErrorBox(messageFont, refusal.toHtmlEscaped());
    return true;
}
