// The colour flags a 4:2:0 video output should carry, chosen from what the
// source's video stream says about its colours.
#ifndef COLOURFLAGS_H
#define COLOURFLAGS_H

#include <QString>
#include <QStringList>

// The output options ("-colorspace", "-color_primaries", "-color_trc" and their
// values) for a 4:2:0 output of the codecs of today, placed anywhere between the
// input and the output name; empty when the flags the converter carries over
// from the source fit.
//
// `matrix` is the source's colour matrix as the converter names it ("bt709",
// "gbr", "unknown", or empty when not told), `pixelFormat` its pixel format
// ("yuv420p", "bgr0", ...), `height` its frame height (0: not known).
QStringList colourFlagOptions(const QString &matrix, const QString &pixelFormat, int height);

#endif
