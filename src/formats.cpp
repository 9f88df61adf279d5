#include "formats.h"

using namespace Qt::StringLiterals;

namespace {
// Constant-quality numbers per modern codec (h264, h265, vp9, av1), from "sehr
// hoch" to "sehr niedrig". The middle one is the encoder's recommended default;
// smaller numbers give better pictures and bigger files.
constexpr int qualityTable[4][qualityLevels] = {
    {18, 20, 23, 26, 29}, // libx264
    {23, 25, 28, 31, 34}, // libx265
    {24, 28, 31, 36, 42}, // libvpx-vp9
    {27, 31, 35, 41, 47}, // libsvtav1
};
constexpr int vp9 = 9;
constexpr int h265 = 8;
} // namespace

bool isModernVideoCodec(int index)
{
    return index >= firstModernVideoCodec && index < firstModernVideoCodec + 4;
}

int qualityNumber(int videoCodec, int level)
{
    if (!isModernVideoCodec(videoCodec) || level < 1 || level > qualityLevels)
        return -1;
    return qualityTable[videoCodec - firstModernVideoCodec][level - 1];
}

QStringList qualityArguments(int videoCodec, int level)
{
    const int number = qualityNumber(videoCodec, level);
    if (number < 0)
        return {};
    QStringList args{u"-crf"_s, QString::number(number)};
    // libvpx-vp9 counts "-crf" as a cap on top of its default bitrate unless the
    // bitrate is set to 0, which makes it pure constant quality.
    if (videoCodec == vp9)
        args << u"-b:v"_s << u"0"_s;
    return args;
}

QStringList playerOptions(int videoCodec)
{
    if (!isModernVideoCodec(videoCodec))
        return {};
    // Encoders keep an RGB or 4:4:4 source as it is (libx265 then writes "Main
    // 4:4:4"), which most players and devices refuse.
    QStringList args{u"-pix_fmt"_s, u"yuv420p"_s};
    // Apple's players accept H.265 in MP4 only under the "hvc1" tag.
    if (videoCodec == h265)
        args << u"-tag:v"_s << u"hvc1"_s;
    return args;
}

QString evenSizeFilter()
{
    // No comma inside: a job text is split at commas.
    return u"crop=trunc(iw/2)*2:trunc(ih/2)*2"_s;
}

AudioControls audioControls(int audioCodec)
{
    // Items: copy, wav, mp3, mp2, ac3, aac, opus, flac, vorbis.
    switch (audioCodec) {
    case 0: // copy: nothing to choose
        return {false, false, false};
    case 1: // wav and flac are lossless: no bitrate
    case 7:
        return {false, true, true};
    case 6: // libopus refuses 44.1 and 22.05 kHz; without "-ar" it takes 48 kHz
        return {true, true, false};
    default:
        return {true, true, true};
    }
}
