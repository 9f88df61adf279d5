#include "interlace.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

#include "codecs.h"

using namespace Qt::StringLiterals;

namespace {
// Files at least this long are looked at a tenth into them: films and TV
// recordings open with titles, logos or black, which show no fields at all.
constexpr double lookFurtherInSeconds = 10.0;

// A source counts as interlaced when at least one in this many of the frames
// looked at shows woven fields. Measured with the detector's multi-frame report:
// progressive pictures (camera-like test clips, and a TV capture flagged
// interlaced) give 0 interlaced frames, interlaced ones with movement give every
// frame, even when the movement stops after the first half second, and film
// telecined to 30 frames gives 57 of 61, scrolling sharp text 5 of 51. A
// quarter lies far from both.
constexpr int interlacedShareDivisor = 4;

// A stream marked progressive still holds woven fields when an earlier
// conversion kept them in full frames, or when the container marks interlaced
// video progressive (H.264 written into Matroska by the converter itself, and
// every frame of it woven). Such a stream counts as interlaced when at least
// nine in ten frames show one field order.
constexpr int wovenShareOfMarkedProgressive = 10;

QString translated(const char *text)
{
    return QCoreApplication::translate("Interlace", text);
}

} // namespace

bool encodesVideo(const QStringList &arguments)
{
    static const QStringList codecOptions{u"-vcodec"_s, u"-c:v"_s, u"-codec:v"_s, u"-c"_s, u"-codec"_s};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"-vn")
            return false;
        if (codecOptions.contains(arguments[i]) && i + 1 < arguments.size() && arguments[i + 1] == u"copy")
            return false;
    }
    return true;
}

QString joinFilters(const QStringList &filters)
{
    const QString all = filters.join(u';');
    QString chain;
    int number = 0;
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (i > 0) {
            QString link;
            do
                link = u"[f%1]"_s.arg(++number);
            while (all.contains(link));
            chain += link + u';' + link;
        }
        chain += filters[i];
    }
    return chain;
}

Scan declaredScan(QStringView fieldOrder)
{
    // "tb" is coded top first but shown bottom first, "bt" the other way round;
    // only the order on screen matters for deinterlacing.
    if (fieldOrder == u"progressive")
        return Scan::Progressive;
    if (fieldOrder == u"tt" || fieldOrder == u"bt")
        return Scan::TopFieldFirst;
    if (fieldOrder == u"bb" || fieldOrder == u"tb")
        return Scan::BottomFieldFirst;
    return Scan::Unknown;
}

QStringList fieldDetectionArguments(const QString &source, double durationSeconds)
{
    QStringList args{u"-hide_banner"_s, u"-nostdin"_s, u"-nostats"_s};
    if (durationSeconds >= lookFurtherInSeconds)
        args << u"-ss"_s << QString::number(durationSeconds / 10, 'f', 3);
    // Only the first video stream is decoded; the detector's report comes at the
    // end, at the normal message level.
    args << u"-an"_s << u"-sn"_s << u"-dn"_s << u"-i"_s << source << u"-map"_s << u"0:v:0"_s << u"-frames:v"_s
         << QString::number(fieldDetectionFrames) << u"-vf"_s << u"idet"_s << u"-f"_s << u"null"_s << u"-"_s;
    return args;
}

FieldDetection parseFieldDetection(QStringView output)
{
    // The detector prints a single-frame and a multi-frame report; the
    // multi-frame one also weighs the neighbouring frames and is the steadier.
    static const QRegularExpression report(
        u"Multi frame detection: *TFF: *(\\d+) *BFF: *(\\d+) *Progressive: *(\\d+) *Undetermined: *(\\d+)"_s);
    FieldDetection detection;
    // The last report counts; a number too large to hold reads as 0.
    QRegularExpressionMatchIterator it = report.globalMatch(output);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        detection.counts = {match.capturedView(1).toInt(), match.capturedView(2).toInt(),
                            match.capturedView(3).toInt(), match.capturedView(4).toInt()};
        detection.found = true;
    }
    return detection;
}

Scan decideScan(Scan declared, const FieldDetection &detection)
{
    const FieldCounts &counts = detection.counts;
    if (!detection.found || counts.total() <= 0)
        return declared == Scan::Progressive ? Scan::Progressive : Scan::Unknown;
    // A stream marked progressive must show woven fields in nearly every frame,
    // and in one order: sharp synthetic pictures (thin lines, small text) fool the
    // detector in up to four of five frames, in both orders.
    const bool woven =
        declared == Scan::Progressive
            ? std::max(counts.topFieldFirst, counts.bottomFieldFirst) * wovenShareOfMarkedProgressive >=
                  counts.total() * (wovenShareOfMarkedProgressive - 1)
            : counts.interlaced() * interlacedShareDivisor >= counts.total();
    if (!woven)
        return Scan::Progressive;
    // The order the pictures show wins over the declared one; a tie leaves the
    // declared order, and without one top first, as the converter assumes.
    if (counts.topFieldFirst != counts.bottomFieldFirst)
        return counts.topFieldFirst > counts.bottomFieldFirst ? Scan::TopFieldFirst : Scan::BottomFieldFirst;
    return declared == Scan::BottomFieldFirst ? Scan::BottomFieldFirst : Scan::TopFieldFirst;
}

QString scanLabel(Scan scan)
{
    switch (scan) {
    case Scan::TopFieldFirst:
        return translated("Zeilensprung, oberes Halbbild zuerst");
    case Scan::BottomFieldFirst:
        return translated("Zeilensprung, unteres Halbbild zuerst");
    case Scan::Progressive:
        return translated("progressiv");
    case Scan::Unknown:
        break;
    }
    return translated("Bildaufbau unbekannt");
}

bool deinterlaceByDefault(Scan decided, int codecIndex)
{
    return (decided == Scan::TopFieldFirst || decided == Scan::BottomFieldFirst) &&
           videoCodec(codecIndex).modern;
}

QString deinterlaceFilter(Scan scan)
{
    // send_frame keeps the frame rate (one frame from two fields); deint=all also
    // treats frames the source did not mark as interlaced, since the decision
    // rests on what the pictures show. The output frames are marked progressive,
    // and every encoder of today writes them so without a further option.
    QString parity = u"auto"_s;
    if (scan == Scan::TopFieldFirst)
        parity = u"tff"_s;
    else if (scan == Scan::BottomFieldFirst)
        parity = u"bff"_s;
    return u"bwdif=mode=send_frame:parity=%1:deint=all"_s.arg(parity);
}

QString sizeLimitFilter(int maxHeight, int sourceHeight, int sourceWidth)
{
    if (sourceWidth > 0 && sourceHeight > sourceWidth) {
        if (maxHeight <= 0 || sourceWidth <= maxHeight)
            return {};
        return u"scale=%1:-2"_s.arg(maxHeight);
    }
    if (maxHeight <= 0 || (sourceHeight > 0 && sourceHeight <= maxHeight))
        return {};
    // -2: the width that keeps the shape, rounded to an even number.
    if (sourceHeight > 0)
        return u"scale=-2:%1"_s.arg(maxHeight);
    // The smaller of the height and the limit, written without a comma.
    return u"scale=-2:(ih+%1-abs(ih-%1))/2"_s.arg(maxHeight);
}

QStringList withVideoFilters(const QStringList &arguments, const QString &deinterlace,
                             const QString &sizeLimit)
{
    return withVideoFilters(arguments, QStringList{deinterlace, sizeLimit});
}

QStringList withVideoFilters(const QStringList &arguments, const QStringList &filters)
{
    QStringList front;
    for (const QString &filter : filters)
        if (!filter.isEmpty())
            front << filter;
    if (front.isEmpty() || arguments.isEmpty() || !encodesVideo(arguments))
        return arguments;

    // The converter uses only the last "-vf" it is given, so the builder's own
    // filter joins the chain, at its end.
    QStringList result = arguments;
    const qsizetype at = result.lastIndexOf(u"-vf"_s);
    if (at >= 0 && at + 1 < result.size()) {
        result[at + 1] = joinFilters(front << result[at + 1]);
    } else {
        const qsizetype output = result.size() - 1;
        result.insert(output, joinFilters(front));
        result.insert(output, u"-vf"_s);
    }
    return result;
}
