#include "formatcontrols.h"

#include <QSignalBlocker>

#include "codecs.h"
#include "compatibility.h"
#include "messagebox.h"
#include "quorvid.h"

using namespace Qt::StringLiterals;

FormatControls::FormatControls(Ui::MainWindow &form, QObject *parent) : QObject(parent), m_form(form)
{
    // After the connections of the first codecs, so that their reactions run first.
    connect(m_form.vcodecComboBox, &QComboBox::currentIndexChanged, this, &FormatControls::videoCodecChanged);
    connect(m_form.originalSizeCheckBox, &QCheckBox::toggled, this, &FormatControls::refresh);
    connect(m_form.qualityComboBox, &QComboBox::currentIndexChanged, this, &FormatControls::refresh);
    // They share the line of the "Video" check box, right-aligned: the column keeps
    // room for both side by side, whatever the fonts.
    m_form.AudioVideoGridLayout->setColumnMinimumWidth(
        0, m_form.videoCheckBox->sizeHint().width() + m_form.AudioVideoGridLayout->horizontalSpacing() +
               m_form.formatWidget->sizeHint().width());
    // They go with the video frame when video is switched off.
    connect(m_form.videoCheckBox, &QCheckBox::stateChanged, this,
            [this] { m_form.formatWidget->setEnabled(m_form.videoCheckBox->isChecked()); });
    m_previousCodec = m_form.vcodecComboBox->currentIndex();
}

void FormatControls::videoCodecChanged()
{
    const int codec = m_form.vcodecComboBox->currentIndex();
    const bool modern = videoCodec(codec).modern;
    const bool wasModern = videoCodec(m_previousCodec).modern;
    m_previousCodec = codec;
    // Only the values change here. The enabled states follow when the codec is a
    // user's choice or the PAL-DVD preset, as for the first codecs.
    const QSignalBlocker sizeBlocker(m_form.originalSizeCheckBox);
    const QSignalBlocker qualityBlocker(m_form.qualityComboBox);
    if (modern && !wasModern) {
        // The codecs of today keep the source's own format and constant quality
        // unless the user chooses otherwise.
        m_form.originalSizeCheckBox->setChecked(true);
        m_form.fpsComboBox->setCurrentIndex(originalFrameRateIndex);
        m_form.ratioComboBox->setCurrentIndex(originalRatioIndex);
        m_form.qualityComboBox->setCurrentIndex(defaultQualityIndex);
    } else if (!modern && wasModern) {
        // Back to the first codecs: their own defaults instead of "Original".
        m_form.originalSizeCheckBox->setChecked(false);
        if (m_form.fpsComboBox->currentIndex() == originalFrameRateIndex)
            m_form.fpsComboBox->setCurrentIndex(1);
        if (m_form.ratioComboBox->currentIndex() == originalRatioIndex)
            m_form.ratioComboBox->setCurrentIndex(0);
    }
}

void FormatControls::refresh()
{
    // Enabled exactly when the argument builder reads them, as for the controls of
    // the first codecs; the size and bitrate follow the new choices.
    const int codec = m_form.vcodecComboBox->currentIndex();
    const bool encoding = codec != 0 && !m_form.dvdButton->isChecked();
    const bool modern = encoding && videoCodec(codec).modern;
    const bool quality = modern && m_form.qualityComboBox->currentIndex() != bitrateQualityIndex;
    m_form.originalSizeCheckBox->setEnabled(encoding);
    m_form.vauflspinBox->setEnabled(encoding && !m_form.originalSizeCheckBox->isChecked());
    m_form.hauflspinBox->setEnabled(encoding && !m_form.originalSizeCheckBox->isChecked());
    m_form.qualityLabel->setEnabled(modern);
    m_form.qualityComboBox->setEnabled(modern);
    m_form.vbitrateSpinBox->setEnabled(codec != 0 && !quality);
    m_form.targetSizeSpinBox->setEnabled(modern &&
                                         m_form.qualityComboBox->currentIndex() == targetSizeQualityIndex);
}
