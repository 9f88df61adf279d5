#include "hdr.h"

#include <QCoreApplication>

#include "codecs.h"

using namespace Qt::StringLiterals;

DynamicRange dynamicRange(const StreamFacts &video)
{
    if (video.colourTransfer == u"smpte2084"_s)
        return DynamicRange::Pq;
    if (video.colourTransfer == u"arib-std-b67"_s)
        return DynamicRange::Hlg;
    return DynamicRange::Standard;
}

QString dynamicRangeLabel(DynamicRange range)
{
    switch (range) {
    case DynamicRange::Pq:
        return QCoreApplication::translate("Hdr", "HDR (PQ)");
    case DynamicRange::Hlg:
        return QCoreApplication::translate("Hdr", "HDR (HLG)");
    case DynamicRange::Standard:
        break;
    }
    return {};
}

bool targetKeepsHdr(int codecIndex, const QString &container)
{
    return !videoCodec(codecIndex).hdrPixelFormat.isEmpty() && containerCarriesColourFlags(container);
}

HdrTreatment hdrTreatment(const PanelSettings &settings, const StreamFacts *video, const QString &container)
{
    // "copy" (index 0) passes the stream on as it is, flags and all.
    if (!video || !settings.videoOn || settings.videoCodec == 0 ||
        dynamicRange(*video) == DynamicRange::Standard)
        return HdrTreatment::None;
    if (settings.keepHdr && !settings.dvdPreset && targetKeepsHdr(settings.videoCodec, container))
        return HdrTreatment::Keep;
    return HdrTreatment::ToneMap;
}

QStringList toneMapFilters(const StreamFacts &video)
{
    // The source's own matrix and primaries when tagged, else those every HDR
    // video uses; the transfer is what made it HDR. Named explicitly, so that an
    // untagged matrix never stops the chain.
    const QString matrix =
        video.colourSpace.isEmpty() || video.colourSpace == u"unknown"_s ? u"bt2020nc"_s : video.colourSpace;
    const QString primaries = video.colourPrimaries.isEmpty() ? u"bt2020"_s : video.colourPrimaries;
    const QString range = video.colourRange == u"pc"_s ? u"pc"_s : u"tv"_s;
    return {u"zscale=tin=%1:min=%2:pin=%3:rin=%4:t=linear:npl=100"_s.arg(video.colourTransfer, matrix,
                                                                         primaries, range),
            u"format=gbrpf32le"_s,
            u"zscale=p=bt709"_s,
            u"tonemap=tonemap=hable:desat=0"_s,
            u"zscale=t=bt709:m=bt709:r=tv"_s,
            u"format=yuv420p"_s};
}

QStringList hdrOutputOptions(HdrTreatment treatment, const StreamFacts &video, int codecIndex)
{
    if (treatment == HdrTreatment::ToneMap)
        return {u"-colorspace"_s, u"bt709"_s, u"-color_primaries"_s, u"bt709"_s, u"-color_trc"_s, u"bt709"_s};
    if (treatment != HdrTreatment::Keep)
        return {};
    const QString matrix =
        video.colourSpace.isEmpty() || video.colourSpace == u"unknown"_s ? u"bt2020nc"_s : video.colourSpace;
    return {u"-pix_fmt"_s,         videoCodec(codecIndex).hdrPixelFormat,
            u"-colorspace"_s,      matrix,
            u"-color_primaries"_s, video.colourPrimaries.isEmpty() ? u"bt2020"_s : video.colourPrimaries,
            u"-color_trc"_s,       video.colourTransfer};
}
