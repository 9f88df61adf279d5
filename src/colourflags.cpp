#include "colourflags.h"

using namespace Qt::StringLiterals;

namespace {
// Pixel formats that hold red, green and blue rather than luma and chroma. A
// palette is RGB too.
bool isRgbFormat(const QString &pixelFormat)
{
    static const QStringList prefixes{u"rgb"_s,  u"bgr"_s,  u"gbr"_s,   u"argb"_s,  u"abgr"_s,
                                      u"0rgb"_s, u"0bgr"_s, u"x2rgb"_s, u"x2bgr"_s, u"pal8"_s};
    for (const QString &prefix : prefixes)
        if (pixelFormat.startsWith(prefix))
            return true;
    return false;
}

QStringList flags(const QString &matrix, const QString &primaries, const QString &transfer)
{
    return {u"-colorspace"_s, matrix, u"-color_primaries"_s, primaries, u"-color_trc"_s, transfer};
}
} // namespace

QStringList colourFlagOptions(const QString &matrix, const QString &pixelFormat, int height)
{
    const bool rgbMatrix = matrix == u"gbr"_s;
    const bool unknown = matrix.isEmpty() || matrix == u"unknown"_s || matrix == u"reserved"_s;
    // A luma/chroma matrix of the source's own describes the 4:2:0 pixels as well:
    // converting between YUV formats keeps the values.
    if (!rgbMatrix && !unknown)
        return {};
    // Real RGB pictures are turned into 4:2:0 by the converter's scaler with the
    // BT.601 matrix at every size (measured: pure red gives luma 81, not BT.709's
    // 63, whatever flags are asked for). Say so, and that the colours are sRGB.
    if (isRgbFormat(pixelFormat))
        return flags(u"smpte170m"_s, u"bt709"_s, u"iec61966-2-1"_s);
    // Luma/chroma pixels under a wrong RGB flag (cameras write it) or none at all:
    // the flags players assume for the frame size. An RGB flag must go even when
    // the size is unknown (VP9 then writes a stream no decoder accepts, SVT-AV1
    // refuses to start); most such sources today are HD.
    if (height == 0)
        return rgbMatrix ? flags(u"bt709"_s, u"bt709"_s, u"bt709"_s) : QStringList();
    if (height > 576)
        return flags(u"bt709"_s, u"bt709"_s, u"bt709"_s);
    // Standard definition: the 525-line primaries for NTSC heights, the 625-line
    // (PAL) ones otherwise. Both share the BT.601 matrix and transfer.
    const bool ntsc = height == 480 || height == 486 || height == 240;
    return flags(u"bt470bg"_s, ntsc ? u"smpte170m"_s : u"bt470bg"_s, u"smpte170m"_s);
}
