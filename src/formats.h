// What the settings panel knows about the codecs of today that follow the first
// items of its combo boxes: which items they are, their quality scale, the
// options every player needs from them, and which audio controls mean something
// for each audio codec.
#ifndef FORMATS_H
#define FORMATS_H

#include <QString>
#include <QStringList>

// Video codec items "h264", "h265", "vp9", "av1" follow "flv".
constexpr int firstModernVideoCodec = 7;
bool isModernVideoCodec(int index);

// The "Original" items appended to the frame-rate and aspect combo boxes.
constexpr int originalFrameRateIndex = 3;
constexpr int originalRatioIndex = 2;

// The quality combo box: item 0 uses the bitrate, items 1 to 5 are constant
// quality from "sehr hoch" to "sehr niedrig"; "mittel" is each codec's own
// recommended default.
constexpr int bitrateQualityIndex = 0;
constexpr int defaultQualityIndex = 3;
constexpr int qualityLevels = 5;
// The item after the levels: the size of the whole output file instead.
constexpr int targetSizeQualityIndex = 6;

// The constant-quality options for a modern codec at a level 1 to 5, e.g.
// "-crf", "23"; empty for other codecs and levels.
QStringList qualityArguments(int videoCodec, int level);
// The constant-quality number behind a level, or -1.
int qualityNumber(int videoCodec, int level);

// Options a modern codec always gets so that common players and devices play the
// result: 4:2:0 pixels, and the "hvc1" tag for H.265 in MP4.
QStringList playerOptions(int videoCodec);

// Keeps the source's own frame size for codecs that need even sides: an odd
// width or height loses its last column or row, nothing is scaled.
QString evenSizeFilter();

// Which audio controls carry meaning for an audio codec item: the builder emits
// "-ab", "-ac" and "-ar" exactly for the enabled ones.
struct AudioControls
{
    bool bitrate = false;
    bool channels = false;
    bool frequency = false;
};
AudioControls audioControls(int audioCodec);

#endif
