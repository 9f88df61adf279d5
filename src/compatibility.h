// Which panel states the converter cannot write, known before it runs: one table
// of measured limits of containers and encoders, applied to the argument list of
// a conversion and, where known, to the streams of its input.
#ifndef COMPATIBILITY_H
#define COMPATIBILITY_H

#include <QList>
#include <QString>
#include <QStringList>

// The first video and audio stream of an input, as the information run described
// them. Nothing is known when `known` is false.
struct SourceStreams
{
    bool known = false;
    QString videoCodec; // the converter's codec name, e.g. "h264"; empty: no video
    int width = 0;
    int height = 0;
    QString pixelFormat;  // e.g. "yuv420p", "bgr0"; empty: not told
    QString colourMatrix; // e.g. "bt709", "gbr"; empty: not told (unknown)
    QString audioCodec;   // e.g. "aac", "pcm_s16le"; empty: no audio
    int sampleRate = 0;
};

// Reads the stream lines of the information box ("Stream #0:0: Video: h264 ...").
SourceStreams parseStreams(const QStringList &infoLines);

// The pixel format and colour matrix a video stream line tells, read from its
// text after the codec name (" (Main), yuv420p(tv, gbr/unknown/unknown), ...").
// Empty where the line does not say.
struct PictureFormat
{
    QString pixelFormat;
    QString colourMatrix;
};
PictureFormat readPictureFormat(QStringView streamText);

// What a conversion would write, in the converter's codec names. 0 and empty
// mean unknown or not set.
struct OutputFacts
{
    QString container; // the output name's suffix, lower case
    bool dvd = false;
    bool video = false;
    QString videoCodec;
    int width = 0;
    int height = 0;
    bool sizeChosen = false; // a size was asked for ("-s" or the DVD preset)
    int videoBitrate = 0;    // kbit/s
    bool audio = false;
    QString audioCodec;
    int sampleRate = 0;
    int channels = 0;
    int audioBitrate = 0;     // kbit/s
    bool videoCopied = false; // "copy": the picture is passed on undecoded
    // Set by the caller: a subtitle track is to be burned into the picture.
    bool burnIn = false;
};

OutputFacts outputFacts(const QStringList &arguments, const SourceStreams &source);

// One state the converter refuses: why, and what to choose instead (German).
struct Problem
{
    QString reason;
    QString instead;
};

QList<Problem> findProblems(const OutputFacts &facts);

#endif
