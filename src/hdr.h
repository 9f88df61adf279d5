// HDR video (phones film HLG, streaming masters PQ): telling it from what the
// source's video stream is tagged with, and what a job does with it: keep it
// where the target can carry it, else map its tones to an ordinary (SDR) BT.709
// picture, so that no player shows a pale, washed-out video.
#ifndef HDR_H
#define HDR_H

#include <QString>
#include <QStringList>

#include "arguments.h"
#include "mediafacts.h"

enum class DynamicRange {
    Standard, // SDR: every other transfer, or none tagged
    Pq,       // SMPTE ST 2084 ("smpte2084")
    Hlg,      // ARIB STD-B67 ("arib-std-b67")
};

DynamicRange dynamicRange(const StreamFacts &video);

// The source column's words: "HDR (PQ)", "HDR (HLG)"; empty for SDR.
QString dynamicRangeLabel(DynamicRange range);

// Whether an output of this codec in this container (its suffix, without the
// dot) keeps HDR with its flags: a codec with a 10-bit format in its table
// entry, in a container that carries the colour flags.
bool targetKeepsHdr(int videoCodec, const QString &container);

// What a job does with the source's dynamic range.
enum class HdrTreatment {
    None,    // an SDR source, no video encoded ("copy", no video): untouched
    ToneMap, // HDR into a target that cannot keep it, or keeping not asked for
    Keep,    // "HDR behalten" and a target that keeps it
};

HdrTreatment hdrTreatment(const PanelSettings &settings, const StreamFacts *video, const QString &container);

// The tone-mapping chain, one filter per element (none holds a comma): the
// source's light made linear, its colours brought into BT.709, the tones mapped
// (Hable, without desaturation), and the BT.709 transfer and matrix in limited
// range as 8-bit 4:2:0.
QStringList toneMapFilters(const StreamFacts &video);

// The output options of each treatment: BT.709 flags after tone mapping; the
// codec's 10-bit format and the source's own HDR flags when kept. Empty for None.
QStringList hdrOutputOptions(HdrTreatment treatment, const StreamFacts &video, int videoCodec);

#endif
