// What Quorvid knows about each codec the settings panel offers, in one table:
// one entry per item of the video and of the audio codec combo box, in the
// order of the items. The argument builder, the target size, the track plan,
// the compatibility questions and the presets all read their entry here.
#ifndef CODECS_H
#define CODECS_H

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The quality combo box: item 0 uses the bitrate, items 1 to 5 are constant
// quality from "sehr hoch" to "sehr niedrig"; "mittel" is each codec's own
// recommended default.
constexpr int bitrateQualityIndex = 0;
constexpr int defaultQualityIndex = 3;
constexpr int qualityLevels = 5;
// The item after the levels: the size of the whole output file instead.
constexpr int targetSizeQualityIndex = 6;

// How an encoder makes the two passes that aim at a size.
enum class TwoPasses {
    None,       // one run only
    PassLog,    // "-pass 1" and "-pass 2" with "-passlogfile"
    X265Params, // "pass=1" and "pass=2" with "stats=" inside "-x265-params"
};

struct VideoCodec
{
    QString item;      // the combo box's item, and the codec's name in messages
    QString encoder;   // the "-vcodec" value
    QString codecName; // the converter's name for the stream it writes
    QString suffix;    // of the output name, with its dot; empty: the input's own
    // The codecs of today: the source's own format, constant quality, the
    // streams Quorvid chooses, deinterlacing and colour flags.
    bool modern = false;
    // "-crf" per quality level, from "sehr hoch" to "sehr niedrig"; modern only.
    std::array<int, qualityLevels> quality{};
    // libvpx-vp9 counts "-crf" as a cap on its default bitrate unless the bitrate
    // is 0, which makes it pure constant quality.
    bool crfNeedsZeroBitrate = false;
    // What every player needs: the pixel format, and a tag for the stream.
    QString pixelFormat;
    QString tag;
    TwoPasses passes = TwoPasses::None;
    // The share of the room left for the video that the encoder is given when
    // aiming at a size; 0: the codec cannot aim at a size.
    double sizeShare = 0;
    // The 10-bit pixel format that keeps an HDR source as HDR (H.265 Main 10,
    // VP9 profile 2, AV1 Main 10); empty: the codec makes 8-bit pictures only.
    QString hdrPixelFormat;
    // The encoder's speed, given with every encode: chosen by measuring time
    // against size and picture at the same quality level (README, "Encoder
    // speed"); empty: the encoder's own default.
    QStringList speed;
    // Options that take the place of the same options of `speed` in the first
    // of two passes, which only gathers statistics; empty: as `speed`.
    QStringList firstPassSpeed;
    // How a size is aimed at: empty, an average bitrate ("-b:v"); otherwise a
    // constant quality held under the bitrate as a cap ("-maxrate"), with these
    // options (the quality, and what keeps the encoder from going above the cap).
    QStringList sizeCap;
    // Options that take the place of those of `sizeCap` in one last run when the
    // cap alone never gave a file below the size: the encoder's least quality,
    // which follows the cap where its best quality cannot.
    QStringList sizeCapRetreat;
    // Below this video bitrate per pixel and picture (bits), even the least
    // quality under a cap may write more than the size on a busy picture: the
    // size is then said to be uncertain before the start. 0: no such floor.
    double sizeCapFloorBits = 0;
};

// The containers (suffixes) that carry a video stream's colour flags, which an
// HDR stream needs to be shown as HDR.
bool containerCarriesColourFlags(const QString &suffix);

// Which audio controls carry meaning for an audio codec: the builder emits
// "-ab", "-ac" and "-ar" exactly for the enabled ones.
struct AudioControls
{
    bool bitrate = false;
    bool channels = false;
    bool frequency = false;
};

// What keeps an encoder at the bitrate counted for a size.
enum class SteadyBitrate {
    AsIs,       // the encoder keeps its bitrate by itself
    VbrOff,     // "-vbr off"
    MinMaxRate, // "-minrate:a" and "-maxrate:a" at the bitrate
};

struct AudioCodec
{
    QString item;        // the combo box's item
    QString label;       // the codec's name inside a sentence ("Opus-Ton")
    QString encoder;     // the "-acodec" value
    QString codecName;   // the converter's name for the stream it writes
    QString suffix;      // of an audio-only output name, with its dot; empty: the input's own
    bool modern = false; // the codecs of today: the streams Quorvid chooses
    AudioControls controls;
    // The bitrate counted and spelled out when the panel sets none; 0 for copy
    // and for audio without a bitrate.
    int defaultKbps = 0;
    // Counted at the size of uncompressed audio: lossless compression never makes
    // audio larger.
    bool sizedAsUncompressed = false;
    SteadyBitrate steady = SteadyBitrate::AsIs;
    // Sample rates the encoder refuses.
    QList<int> refusedRates;
};

// The entry of a combo box index. An index the table does not know gives an
// empty entry, whose empty encoder the converter rejects, rather than a crash.
const VideoCodec &videoCodec(int index);
const AudioCodec &audioCodec(int index);

// All entries, in the order of the combo box items.
const QList<VideoCodec> &videoCodecs();
const QList<AudioCodec> &audioCodecs();

// The combo box index of the entry with that encoder, or -1.
int videoCodecIndex(const QString &encoder);
int audioCodecIndex(const QString &encoder);

// The entry whose written stream the converter calls `codecName`; nullptr when
// the panel offers none.
const VideoCodec *videoCodecNamed(const QString &codecName);
const AudioCodec *audioCodecNamed(const QString &codecName);

#endif
