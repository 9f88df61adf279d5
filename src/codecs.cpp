#include "codecs.h"

#include <algorithm>

using namespace Qt::StringLiterals;

// Every value was measured with Debian 12's ffmpeg 5.1.
//
// Quality numbers: the middle one is the encoder's recommended default; smaller
// numbers give better pictures and bigger files. Encoders keep an RGB or 4:4:4
// source as it is (libx265 then writes "Main 4:4:4"), which most players and
// devices refuse, so the codecs of today write 4:2:0 pixels; Apple's players
// accept H.265 in MP4 only under the "hvc1" tag.
//
// Share of a size: what the encoder is given of the room left for the video, so
// that its first output most often lands in the band the runner keeps (up to 3 %
// below the size) and needs no correction. Measured with bench/sizebench.cpp:
// two-pass x264, x265 and VP9 miss their bitrate by a few per cent either way on
// short clips; SVT-AV1 in its single pass often by 5 to 10 %, and on long noisy
// clips by far more (see README, "Target sizes").
const QList<VideoCodec> &videoCodecs()
{
    constexpr TwoPasses none = TwoPasses::None, passLog = TwoPasses::PassLog, x265 = TwoPasses::X265Params;
    const QString yuv420 = u"yuv420p"_s, tenBit = u"yuv420p10le"_s;
    // libvpx by default works on one row of blocks at a time at its slowest
    // useful speed: rows in parallel and speed 2 take a third to a half of the
    // time for 1 to 5 % more bytes at the same picture; its first pass gives the
    // same statistics at speed 4. Its default tile columns already follow the width.
    const QStringList vp9Speed{u"-row-mt"_s, u"1"_s, u"-cpu-used"_s, u"2"_s},
        vp9FirstPass{u"-cpu-used"_s, u"4"_s};
    // SVT-AV1 defaults to its preset 10; preset 8 takes 1.6 to 1.8 times that on
    // small pictures and makes files 5 to 15 % smaller at the same or a better
    // picture (measured 2026-12-10, README).
    const QStringList av1Speed{u"-preset"_s, u"8"_s};
    // SVT-AV1's own average bitrate, in one pass and in two alike, does not follow
    // the bitrate on noisy pictures (600k asked, 1060 to 2069 kbit/s written).
    // Its best quality level held under a cap stays below the cap on every picture
    // measured, at 65 to 86 % of it and in proportion: it is given 110 % of the
    // room, and the runner's correction fills the rest.
    const QStringList av1SizeCap{u"-crf"_s, u"27"_s, u"-svtav1-params"_s, u"mbr-overshoot-pct=0"_s};
    // Below some bitrate a quality level writes no less whatever the cap: on a
    // noisy 2-minute 320x180 clip about 90 kbit/s at CRF 27 to 45; its least
    // quality, CRF 63, goes down to about 50 (measured 2026-12-10, README).
    const QStringList av1CapRetreat{u"-crf"_s, u"63"_s};
    // Even at CRF 63 the noisy 320x180 clip took 50 to 57 kbit/s: 0.035 to 0.04
    // bits per pixel and picture.
    constexpr double av1CapFloor = 0.045;
    // clang-format off
    static const QList<VideoCodec> table = {
    //   item           encoder           writes            suffix      today  "-crf" per level      "-b:v 0" pixels  tag         passes   share  HDR     speed     first pass    size        size at last   floor
        {u"copy"_s,       u"copy"_s,        {},               {},         false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"huffyuv"_s,    u"huffyuv"_s,     u"huffyuv"_s,     u".avi"_s,  false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"mjpeg"_s,      u"mjpeg"_s,       u"mjpeg"_s,       u".avi"_s,  false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"mpeg1video"_s, u"mpeg1video"_s,  u"mpeg1video"_s,  u".mpg"_s,  false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"mpeg2video"_s, u"mpeg2video"_s,  u"mpeg2video"_s,  u".mpg"_s,  false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"mpeg4"_s,      u"mpeg4"_s,       u"mpeg4"_s,       u".mp4"_s,  false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"flv"_s,        u"flv"_s,         u"flv1"_s,        u".flv"_s,  false, {},                   false, {},     {},         none,    0,    {},     {},       {},           {}, {}, 0},
        {u"h264"_s,       u"libx264"_s,     u"h264"_s,        u".mp4"_s,  true,  {18, 20, 23, 26, 29}, false, yuv420, {},         passLog, 0.99, {},     {},       {},           {}, {}, 0},
        {u"h265"_s,       u"libx265"_s,     u"hevc"_s,        u".mp4"_s,  true,  {23, 25, 28, 31, 34}, false, yuv420, u"hvc1"_s,  x265,    0.99, tenBit, {},       {},           {}, {}, 0},
        {u"vp9"_s,        u"libvpx-vp9"_s,  u"vp9"_s,         u".webm"_s, true,  {24, 28, 31, 36, 42}, true,  yuv420, {},         passLog, 0.99, tenBit, vp9Speed, vp9FirstPass, {}, {}, 0},
        {u"av1"_s,        u"libsvtav1"_s,   u"av1"_s,         u".mkv"_s,  true,  {27, 31, 35, 41, 47}, false, yuv420, {},         none,    1.1,  tenBit, av1Speed, {},           av1SizeCap, av1CapRetreat, av1CapFloor},
    };
    // clang-format on
    return table;
}

// Default bitrates: the encoders' own defaults for stereo, except where the
// default depends on the channels (mp2 384k, ac3 up to 448k): there 192k, which
// every channel layout accepts. Opus and Vorbis vary their bitrate with the
// sound (Opus up to a seventh above it) unless told otherwise. libopus refuses
// 44.1 and 22.05 kHz, so the panel offers no rate for it: without "-ar" it
// takes 48 kHz.
const QList<AudioCodec> &audioCodecs()
{
    constexpr AudioControls all{true, true, true}, noBitrate{false, true, true}, noRate{true, true, false};
    constexpr SteadyBitrate asIs = SteadyBitrate::AsIs;
    // clang-format off
    static const QList<AudioCodec> table = {
    //   item       label         encoder            writes           suffix      today  controls   kbps uncompressed steady                      refused rates
        {u"copy"_s,   {},           u"copy"_s,         {},              {},         false, {},        0,   false,       asIs,                       {}},
        {u"wav"_s,    u"WAV"_s,     u"pcm_s16le"_s,    u"pcm_s16le"_s,  u".wav"_s,  false, noBitrate, 0,   true,        asIs,                       {}},
        {u"mp3"_s,    u"MP3"_s,     u"libmp3lame"_s,   u"mp3"_s,        u".mp3"_s,  false, all,       128, false,       asIs,                       {}},
        {u"mp2"_s,    u"MP2"_s,     u"mp2"_s,          u"mp2"_s,        u".mp2"_s,  false, all,       192, false,       asIs,                       {}},
        {u"ac3"_s,    u"AC3"_s,     u"ac3"_s,          u"ac3"_s,        u".ac3"_s,  false, all,       192, false,       asIs,                       {22050}},
        {u"aac"_s,    u"AAC"_s,     u"aac"_s,          u"aac"_s,        u".m4a"_s,  true,  all,       128, false,       asIs,                       {}},
        {u"opus"_s,   u"Opus"_s,    u"libopus"_s,      u"opus"_s,       u".opus"_s, true,  noRate,    96,  false,       SteadyBitrate::VbrOff,      {44100, 22050}},
        {u"flac"_s,   u"FLAC"_s,    u"flac"_s,         u"flac"_s,       u".flac"_s, true,  noBitrate, 0,   true,        asIs,                       {}},
        {u"vorbis"_s, u"Vorbis"_s,  u"libvorbis"_s,    u"vorbis"_s,     u".ogg"_s,  true,  all,       128, false,       SteadyBitrate::MinMaxRate,  {}},
    };
    // clang-format on
    return table;
}

bool containerCarriesColourFlags(const QString &suffix)
{
    // Measured: MP4 and MOV write a "colr" box, Matroska and WebM their colour
    // elements; MPEG, AVI and FLV files keep no transfer at all.
    static const QStringList carrying{u"mp4"_s, u"m4v"_s, u"mov"_s, u"mkv"_s, u"webm"_s};
    return carrying.contains(suffix.toLower());
}

namespace {
template <typename Entry> const Entry &entryAt(const QList<Entry> &table, int index)
{
    static const Entry unknown;
    return index >= 0 && index < table.size() ? table[index] : unknown;
}

template <typename Entry>
int indexWith(const QList<Entry> &table, QString Entry::*field, const QString &value)
{
    if (value.isEmpty())
        return -1;
    const auto found =
        std::find_if(table.begin(), table.end(), [&](const Entry &entry) { return entry.*field == value; });
    return found == table.end() ? -1 : int(found - table.begin());
}

template <typename Entry> const Entry *entryNamed(const QList<Entry> &table, const QString &codecName)
{
    const int index = indexWith(table, &Entry::codecName, codecName);
    return index < 0 ? nullptr : &table[index];
}
} // namespace

const VideoCodec &videoCodec(int index)
{
    return entryAt(videoCodecs(), index);
}

const AudioCodec &audioCodec(int index)
{
    return entryAt(audioCodecs(), index);
}

int videoCodecIndex(const QString &encoder)
{
    return indexWith(videoCodecs(), &VideoCodec::encoder, encoder);
}

int audioCodecIndex(const QString &encoder)
{
    return indexWith(audioCodecs(), &AudioCodec::encoder, encoder);
}

const VideoCodec *videoCodecNamed(const QString &codecName)
{
    return entryNamed(videoCodecs(), codecName);
}

const AudioCodec *audioCodecNamed(const QString &codecName)
{
    return entryNamed(audioCodecs(), codecName);
}
