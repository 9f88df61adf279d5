#include "sourcecolumn.h"

#include <QFileInfo>
#include <QPixmap>

#include "sourcelook.h"
#include "timerange.h"
#include "ui_mainwindow.h"

using namespace Qt::StringLiterals;

namespace {
// The picture's room: a small 16:9 frame beside the information.
constexpr QSize stillBounds{160, 90};
} // namespace

SourceColumn::SourceColumn(Ui::MainWindow &form, const SourceLook &look,
                           std::function<PanelSettings(const QString &)> settingsFor, QObject *parent)
    : QObject(parent), m_form(form), m_look(look), m_settingsFor(std::move(settingsFor))
{
    m_form.stillLabel->setFixedSize(stillBounds);
    connect(&m_still, &StillPicture::pictureReady, this, [this](const QString &path, const QImage &picture) {
        if (path == m_form.openLineEdit->text())
            m_form.stillLabel->setPixmap(QPixmap::fromImage(picture));
    });
    connect(&m_still, &StillPicture::noPicture, this, [this](const QString &path) {
        if (path == m_form.openLineEdit->text())
            m_form.stillLabel->clear();
    });
    // The picture follows the start after a pause in typing; the note follows
    // every change.
    connect(m_form.rangeFromLineEdit, &QLineEdit::textEdited, this, [this] {
        showRangeNote();
        showStill(true);
    });
    connect(m_form.rangeToLineEdit, &QLineEdit::textEdited, this, [this] { showRangeNote(); });
    connect(m_form.vcodecComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(m_form.videoCheckBox, &QCheckBox::toggled, this, [this] { showRangeNote(); });
    connect(m_form.qualityComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(m_form.targetSizeSpinBox, &QDoubleSpinBox::valueChanged, this, [this] { showRangeNote(); });
    // What the sound needs, and which tracks the target holds, decide what a size allows.
    connect(m_form.audioCheckBox, &QCheckBox::toggled, this, [this] { showRangeNote(); });
    connect(m_form.acodecComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(m_form.abitrateComboBox, &QComboBox::currentIndexChanged, this, [this] { showRangeNote(); });
    connect(m_form.saveLineEdit, &QLineEdit::textChanged, this, [this] { showRangeNote(); });
}

void SourceColumn::forget()
{
    m_still.cancel();
    m_form.stillLabel->clear();
    // A part of one file means nothing for the next.
    m_form.rangeFromLineEdit->clear();
    m_form.rangeToLineEdit->clear();
    showRangeNote();
}

void SourceColumn::showStill(bool soon)
{
    const QString path = m_form.openLineEdit->text();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    const RangeCheck range =
        checkRange(m_form.rangeFromLineEdit->text(), QString(), m_look.openedFacts().durationSeconds);
    const double seconds = stillSeconds(m_look.openedFacts().durationSeconds,
                                        range.refusal.isEmpty() ? range.range.from : std::nullopt);
    if (soon)
        m_still.requestSoon(path, seconds, stillBounds);
    else
        m_still.request(path, seconds, stillBounds);
}

void SourceColumn::showRangeNote()
{
    // What the fields mean for the job, before anything runs: a time or a size
    // that cannot be, a size that cannot be promised, or where a copy really begins.
    // Judged as the job that would run: with the ticks of the track list.
    const PanelSettings settings = m_settingsFor(m_form.openLineEdit->text());
    const MediaFacts &openedFacts = m_look.openedFacts();
    const QString refusal = openedFacts.valid ? jobRefusal(settings, openedFacts, m_form.saveLineEdit->text())
                                              : checkRange(settings.rangeFrom, settings.rangeTo, 0).refusal;
    const bool copiesVideo = settings.videoOn && settings.videoCodec == 0;
    QString note = refusal;
    if (note.isEmpty() && openedFacts.valid)
        note = sizeCaution(settings, openedFacts, m_form.saveLineEdit->text());
    if (note.isEmpty() && copiesVideo && !settings.rangeFrom.isEmpty())
        note = copyCutNote();
    m_form.rangeNoteLabel->setText(note);
    m_form.rangeNoteLabel->setVisible(!note.isEmpty());
}
