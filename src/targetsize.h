// A whole output of a chosen size ("passt in 25 MB"): the video bitrate that
// leaves room for the audio tracks and the container, the audio options that
// make the audio keep the bitrate counted for it, and the converter runs (two
// passes where the encoder has them) that reach the size. Plain functions over
// plain values.
#ifndef TARGETSIZE_H
#define TARGETSIZE_H

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "arguments.h"

struct SizeBudget
{
    int videoKbps = 0;     // > 0 when the size can be met
    double smallestMB = 0; // the smallest size that can be met (for the message)
    QString refusal;       // German, empty when fine
};

// The video bitrate for a whole output of targetMB (10^6 bytes) over `seconds`,
// with audioKbps the sum over all kept audio tracks, for the output's container
// (suffix without dot, any case) and the video codec's combo index. Only the
// codecs with a share of a size (H.264, H.265, VP9, AV1) can aim at one; every
// other codec, "copy" included, is refused.
SizeBudget videoBitrateForSize(double targetMB, double seconds, int audioKbps, const QString &container,
                               int codecIndex);

// The audio bitrate the size computation counts for the kept audio tracks: per
// track the panel's audio bitrate when it sets one, the codec's default bitrate
// otherwise, for "copy" the source track's bit rate (keptSourceKbps, 0 when
// unknown: a safe value is assumed), and for each track what the container
// spends on its packets. An empty list while audio is on counts one track of
// unknown bit rate (the one the converter picks when nothing is known).
int audioKbpsForSize(const PanelSettings &settings, const QList<int> &keptSourceKbps);

// Options placed just before the output name so that the audio really takes the
// bitrate counted above: the codec's default bitrate spelled out when the panel
// sets none, and constant bitrate for the encoders that would otherwise vary it
// (Opus, Vorbis). Empty for copy, uncompressed and lossless audio, or no audio.
QStringList steadyAudioOptions(const PanelSettings &settings);

// The converter runs of a target-size job made from the one-run argument list
// the job maker built: the quality options ("-crf", "-b:v") replaced by the
// bitrate; two passes where the codec's entry has them (x264, x265 and VP9),
// the first writing nothing ("-f null /dev/null", no audio, subtitles or data);
// one run for AV1. The pass statistics go to files named "quorvid-pass..." in
// the working folder. A list that cannot aim at a size (another codec, no
// bitrate) comes back unchanged.
QList<QStringList> targetSizeRuns(const QStringList &singleRun, int codecIndex, int videoKbps);

// The corrections made so far to the output of one job with a size limit, the
// attempt before the last one (its video bitrate and the bytes it wrote), and
// the bytes of the file that are not video, as the first attempt left room for.
struct SizeTries
{
    int corrections = 0;
    double kbps = 0;
    qint64 bytes = 0;
    double rest = 0;
    // The largest bitrate that gave a file below the size, and whether the last
    // run went back to it after the corrections ran out.
    double belowKbps = 0;
    bool retreated = false;
};

// After the last run of a job with a size limit (bytes) wrote `bytes` for
// `seconds` of picture: that run again with its video bitrate ("-b:v") corrected
// towards 98.5 % of the limit, when the output reached the limit or stayed more
// than 3 % below it and a correction is left (three in all). The first
// correction takes the size as proportional to the bitrate; later ones follow
// the line through the last two attempts. Still above the limit after them: once
// more with the largest bitrate that gave a file below it, if one did, or, under
// a cap that none stayed below, with the codec's `sizeCapRetreat`. Nothing
// when the output is kept: it fits, the picture needs no more bits, or nothing
// is known to correct with.
std::optional<QStringList> correctedSizeRun(const QStringList &run, qint64 limit, qint64 bytes,
                                            double seconds, SizeTries &tries);

// The relative name of the pass statistics, in the runs' working folder.
extern const QString passStatisticsName;

#endif
