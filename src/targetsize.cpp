#include "targetsize.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "codecs.h"
#include "germannumbers.h"

using namespace Qt::StringLiterals;

const QString passStatisticsName = u"quorvid-pass"_s;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("TargetSize", text);
}

// Below this the encoders give no usable picture at any frame size.
constexpr double smallestVideoKbps = 50;

// What a container spends beyond the streams' own data, measured with ffprobe's
// packet sizes against the file size: a fixed part (headers, index), a part per
// packet (block and sample table entries) and, for MPEG transport streams, a
// share of the data itself (188-byte packets with their headers and padding).
struct ContainerCost
{
    QStringList suffixes;
    double fixedBytes;
    double bytesPerPacket;
    double shareOfData;
};

const QList<ContainerCost> containerCosts = {
    {{u"mp4"_s, u"m4v"_s, u"mov"_s, u"3gp"_s}, 4000, 12.5, 0},
    {{u"mkv"_s, u"webm"_s, u"mka"_s}, 4000, 7.5, 0},
    {{u"flv"_s}, 4000, 18, 0},
    {{u"avi"_s}, 4000, 30, 0},
};
// Any other container: as much as a transport stream, the most wasteful measured.
const ContainerCost otherContainer{{}, 4000, 100, 0.05};

const ContainerCost &costOf(const QString &container)
{
    for (const ContainerCost &cost : containerCosts)
        if (cost.suffixes.contains(container.toLower()))
            return cost;
    return otherContainer;
}

// Video packets per second counted for the container's cost; sources of 60
// pictures a second cost a little more, which the encoders' share absorbs.
constexpr double videoPacketsPerSecond = 30;
// Audio encoders write 20 to 47 packets a second; each track's cost is counted
// with its bitrate, at MP4's cost per packet.
constexpr int audioPacketKbps = 5;

// Assumed for a copied track whose bit rate the source does not tell: the
// highest common bitrate of compressed stereo audio.
constexpr int unknownSourceKbps = 320;

// The bitrate of a lossy audio codec item as the converter will use it.
int lossyAudioKbps(const PanelSettings &s)
{
    if (s.audioBitrateEnabled) {
        const int panel = audioBitrateValues.value(s.audioBitrateIndex).chopped(1).toInt();
        if (panel > 0)
            return panel;
    }
    return audioCodec(s.audioCodec).defaultKbps;
}

// Uncompressed audio: 16 bits per sample; the source's rate and channels are not
// known here, so 48 kHz stereo is assumed where the panel sets neither. FLAC is
// counted the same: lossless compression never makes audio larger.
int uncompressedKbps(const PanelSettings &s)
{
    const int rate = s.frequencyEnabled ? frequencyValues.value(s.sampleRateIndex).toInt() : 48000;
    const int channels = s.channelsEnabled && !s.stereo ? 1 : 2;
    return int(std::ceil(rate * channels * 16 / 1000.0));
}

QString megabytes(double mb)
{
    return germanNumber(mb, 2) + u" MB"_s;
}

QString duration(double seconds)
{
    // "0:45 min", "12:05 min", "1:02:03 h"; to the nearest second (6.02 s is
    // 0:06, not 0:07), and a clip shorter than half a second still lasts 0:01.
    const qint64 whole = std::max<qint64>(1, std::llround(seconds));
    const QString secondsPart = u"%1"_s.arg(whole % 60, 2, 10, QChar(u'0'));
    if (whole < 3600)
        return u"%1:%2 min"_s.arg(whole / 60).arg(secondsPart);
    return u"%1:%2:%3 h"_s.arg(whole / 3600).arg((whole / 60) % 60, 2, 10, QChar(u'0')).arg(secondsPart);
}

// The options that set the video's quality or bitrate, with their values.
bool isRateOption(const QString &option)
{
    return option == u"-crf"_s || option == u"-b:v"_s || option == u"-qp"_s;
}

// Frame timing as the output's muxer chooses it when none is given: constant
// frame rate (pictures repeated or dropped) except for the muxers that take any
// timing. The null muxer of a first pass would pass every picture through, so
// the first pass is told the same, or both passes count different pictures
// (x265 then encodes at a broken constant quantizer).
QString frameTimingFor(const QString &output)
{
    static const QStringList variable{u"mkv"_s,  u"mka"_s, u"webm"_s, u"avi"_s, u"flv"_s, u"ts"_s,
                                      u"m2ts"_s, u"mts"_s, u"nut"_s,  u"ogv"_s, u"ogg"_s};
    return variable.contains(QFileInfo(output).suffix().toLower()) ? u"vfr"_s : u"cfr"_s;
}

QStringList withBeforeOutput(QStringList run, const QStringList &options)
{
    const QString output = run.takeLast();
    return run << options << output;
}
} // namespace

SizeBudget videoBitrateForSize(double targetMB, double seconds, int audioKbps, const QString &container,
                               int codecIndex)
{
    SizeBudget budget;
    const VideoCodec &codec = videoCodec(codecIndex);
    if (codecIndex == 0) {
        budget.refusal = tr("Beim Kopieren des Videos („copy“) bestimmt allein die Quelle die Größe; eine "
                            "Zielgröße lässt sich so nicht einhalten. Wählen Sie als Video-Codec H.264, "
                            "H.265, VP9 oder AV1, oder schalten Sie die Zielgröße ab.");
        return budget;
    }
    const double share = codec.sizeShare;
    if (!(share > 0)) {
        budget.refusal = tr("Eine Zielgröße lässt sich nur mit den Video-Codecs H.264, H.265, VP9 oder AV1 "
                            "einhalten. Wählen Sie einen davon, oder schalten Sie die Zielgröße ab.");
        return budget;
    }
    if (!(seconds > 0) || !std::isfinite(seconds)) {
        budget.refusal = tr("Die Dauer der Quelldatei ist unbekannt, daher lässt sich keine Bitrate für die "
                            "Zielgröße berechnen. Wählen Sie statt der Zielgröße eine Qualitätsstufe oder "
                            "eine Bitrate.");
        return budget;
    }

    const ContainerCost &cost = costOf(container);
    const double videoPacketKbps = cost.bytesPerPacket * videoPacketsPerSecond * 8 / 1000;
    const double audio = std::max(0, audioKbps);

    // The smallest size: the smallest video bitrate, as the encoder is given it,
    // beside the audio and the container's cost, rounded up to whole hundredths.
    const double smallestKbps =
        (smallestVideoKbps / share + audio + videoPacketKbps) * (1 + cost.shareOfData);
    budget.smallestMB = std::ceil((smallestKbps * 1000 / 8 * seconds + cost.fixedBytes) / 1e4) / 100;

    if (!(targetMB > 0) || !std::isfinite(targetMB)) {
        budget.refusal = tr("Die Zielgröße muss größer als 0 MB sein. Geben Sie mindestens %1 ein.")
                             .arg(megabytes(budget.smallestMB));
        return budget;
    }
    const double totalKbps = (targetMB * 1e6 - cost.fixedBytes) * 8 / 1000 / seconds;
    const double room = totalKbps / (1 + cost.shareOfData) - audio - videoPacketKbps;
    if (room <= 0) {
        budget.refusal = tr("%1 reichen bei einer Dauer von %2 nicht einmal für den Ton (%3 kbit/s). Wählen "
                            "Sie mindestens "
                            "%4, eine niedrigere Audio-Bitrate oder weniger Tonspuren.")
                             .arg(megabytes(targetMB), duration(seconds), QString::number(audioKbps),
                                  megabytes(budget.smallestMB));
        return budget;
    }
    const double video = room * share;
    if (video < smallestVideoKbps) {
        budget.refusal = tr("%1 sind bei einer Dauer von %2 zu wenig für ein brauchbares Bild: für das Video "
                            "blieben nur %3 "
                            "kbit/s. Wählen Sie mindestens %4.")
                             .arg(megabytes(targetMB), duration(seconds), QString::number(int(video)),
                                  megabytes(budget.smallestMB));
        return budget;
    }
    // Beyond a gigabit a second no encoder goes; the size is then met anyway.
    budget.videoKbps = int(std::min(video, 1e6));
    return budget;
}

int audioKbpsForSize(const PanelSettings &settings, const QList<int> &keptSourceKbps)
{
    if (!settings.audioOn)
        return 0;
    const QList<int> tracks = keptSourceKbps.isEmpty() ? QList<int>{0} : keptSourceKbps;
    const AudioCodec &codec = audioCodec(settings.audioCodec);
    int sum = 0;
    for (const int source : tracks) {
        int kbps = 0;
        if (settings.audioCodec == 0) // copy
            kbps = source > 0 ? source : unknownSourceKbps;
        else if (codec.sizedAsUncompressed)
            kbps = uncompressedKbps(settings);
        else
            kbps = lossyAudioKbps(settings);
        sum += kbps + audioPacketKbps;
    }
    return sum;
}

QStringList steadyAudioOptions(const PanelSettings &settings)
{
    const AudioCodec &codec = audioCodec(settings.audioCodec);
    if (!settings.audioOn || codec.defaultKbps == 0)
        return {};
    const QString bitrate = QString::number(lossyAudioKbps(settings)) + u'k';
    QStringList options;
    if (!settings.audioBitrateEnabled)
        options << u"-b:a"_s << bitrate;
    if (codec.steady == SteadyBitrate::VbrOff)
        options << u"-vbr"_s << u"off"_s;
    else if (codec.steady == SteadyBitrate::MinMaxRate)
        options << u"-minrate:a"_s << bitrate << u"-maxrate:a"_s << bitrate;
    return options;
}

QList<QStringList> targetSizeRuns(const QStringList &singleRun, int codecIndex, int videoKbps)
{
    const VideoCodec &codec = videoCodec(codecIndex);
    if (!(codec.sizeShare > 0) || videoKbps <= 0 || singleRun.size() < 2)
        return {singleRun};

    // The quality or bitrate options give way to the bitrate, in the place of the
    // first of them (before the output name when there is none). Only options
    // between the first "-i" and the output are looked at, never a file name.
    const QString bitrate = QString::number(videoKbps) + u'k';
    QStringList run = singleRun;
    const qsizetype input = run.indexOf(u"-i"_s);
    qsizetype at = -1;
    for (qsizetype i = input < 0 ? 0 : input + 2; i + 1 < run.size() - 1;) {
        if (isRateOption(run[i])) {
            if (at < 0)
                at = i;
            run.remove(i, 2);
        } else {
            ++i;
        }
    }
    if (at < 0)
        at = run.size() - 1;
    if (codec.sizeCap.isEmpty()) {
        run.insert(at, bitrate);
        run.insert(at, u"-b:v"_s);
    } else {
        // A quality under a cap: the cap is the bitrate; an encoder's own
        // parameters already in the run take those of the cap beside them.
        QStringList cap{u"-maxrate"_s, bitrate};
        for (qsizetype i = 0; i + 1 < codec.sizeCap.size(); i += 2) {
            const qsizetype given = run.indexOf(codec.sizeCap[i], input < 0 ? 0 : input + 2);
            if (codec.sizeCap[i].endsWith(u"-params"_s) && given >= 0 && given + 1 < run.size() - 1)
                run[given + 1] += u':' + codec.sizeCap[i + 1];
            else
                cap << codec.sizeCap[i] << codec.sizeCap[i + 1];
        }
        for (qsizetype i = cap.size() - 1; i >= 0; --i)
            run.insert(at, cap[i]);
    }

    if (codec.passes == TwoPasses::None)
        return {run};

    // Both passes name the same statistics, relative to the working folder.
    QStringList first;
    QStringList second;
    if (codec.passes == TwoPasses::X265Params) {
        // libx265 takes its passes through its own parameters, joined to any given.
        const qsizetype params = run.indexOf(u"-x265-params"_s);
        const auto passParams = [&](int pass) {
            return u"pass=%1:stats=%2"_s.arg(pass).arg(passStatisticsName);
        };
        if (params >= 0 && params + 1 < run.size() - 1) {
            QStringList one = run;
            one[params + 1] += u':' + passParams(1);
            QStringList two = run;
            two[params + 1] += u':' + passParams(2);
            first = one;
            second = two;
        } else {
            first = withBeforeOutput(run, {u"-x265-params"_s, passParams(1)});
            second = withBeforeOutput(run, {u"-x265-params"_s, passParams(2)});
        }
    } else {
        first = withBeforeOutput(run, {u"-pass"_s, u"1"_s, u"-passlogfile"_s, passStatisticsName});
        second = withBeforeOutput(run, {u"-pass"_s, u"2"_s, u"-passlogfile"_s, passStatisticsName});
    }

    // The first pass may run faster: it only gathers statistics.
    for (qsizetype i = 0; i + 1 < codec.firstPassSpeed.size(); i += 2)
        if (const qsizetype at = first.indexOf(codec.firstPassSpeed[i]);
            at > first.indexOf(u"-i"_s) + 1 && at + 1 < first.size() - 1)
            first[at + 1] = codec.firstPassSpeed[i + 1];
    // The first pass only looks at the video: no audio, subtitles or data, the
    // second pass's frame timing, and nothing written.
    const QString output = first.takeLast();
    if (!first.contains(u"-y"_s))
        first.prepend(u"-y"_s);
    first << u"-an"_s << u"-sn"_s << u"-dn"_s;
    if (!first.contains(u"-fps_mode"_s) && !first.contains(u"-vsync"_s))
        first << u"-fps_mode"_s << frameTimingFor(output);
    first << u"-f"_s << u"null"_s << u"/dev/null"_s;
    return {first, second};
}

std::optional<QStringList> correctedSizeRun(const QStringList &run, qint64 limit, qint64 bytes,
                                            double seconds, SizeTries &tries)
{
    constexpr int mostCorrections = 3;
    constexpr double aim = 0.985;
    constexpr double lowest = 0.97;
    const bool above = bytes >= limit;
    const bool below = bytes < lowest * double(limit);
    if (limit <= 0 || bytes <= 0 || !(seconds > 0) || !(above || below) || tries.retreated)
        return std::nullopt;
    // The bitrate, or the cap of a quality held under one.
    qsizetype at = run.lastIndexOf(u"-b:v"_s, run.size() - 2);
    if (at < 0)
        at = run.lastIndexOf(u"-maxrate"_s, run.size() - 2);
    if (at < 0 || at <= run.indexOf(u"-i"_s) + 1)
        return std::nullopt;
    QString value = run[at + 1];
    if (!value.endsWith(u'k'))
        return std::nullopt;
    value.chop(1);
    bool ok = false;
    const double kbps = value.toDouble(&ok);
    if (!ok || !(kbps > 0))
        return std::nullopt;
    if (!above)
        tries.belowKbps = std::max(tries.belowKbps, kbps);
    // Out of corrections and above the size: once more with the largest bitrate
    // that gave a file below it, so that the file never stays above; a cap no
    // attempt stayed below is kept and the encoder's least quality put under it.
    if (tries.corrections >= mostCorrections) {
        if (!above)
            return std::nullopt;
        QStringList again = run;
        if (tries.belowKbps > 0) {
            again[at + 1] = QString::number(int(tries.belowKbps)) + u'k';
        } else {
            // The encoder named last before the cap is the one it holds for.
            const qsizetype encoder = run.lastIndexOf(u"-vcodec"_s, at);
            const int codec = encoder > run.indexOf(u"-i"_s) + 1 ? videoCodecIndex(run[encoder + 1]) : -1;
            const QStringList retreat = codec >= 0 ? videoCodec(codec).sizeCapRetreat : QStringList();
            bool changed = false;
            for (qsizetype i = 0; i + 1 < retreat.size(); i += 2)
                if (const qsizetype option = again.indexOf(retreat[i], encoder);
                    option > encoder && option + 1 < again.size() - 1 &&
                    again[option + 1] != retreat[i + 1]) {
                    again[option + 1] = retreat[i + 1];
                    changed = true;
                }
            if (run[at] != u"-maxrate"_s || !changed)
                return std::nullopt;
        }
        tries.retreated = true;
        return again;
    }

    // What the encoder was asked for, and the rest of the file (audio, container)
    // as the size computation left room for it beside the first bitrate.
    const double plannedVideo = kbps * 1000 / 8 * seconds;
    const double rest = tries.corrections > 0 ? tries.rest : std::max(0.0, double(limit) - plannedVideo);
    const double video = double(bytes) - rest;
    const double wanted = aim * double(limit) - rest;
    // A picture that took less than half its bitrate needs no more: raising it
    // only costs another run. A cap says nothing of the need: its quality may
    // have been held far below it.
    const bool cap = run[at] == u"-maxrate"_s;
    if (video <= 0 || wanted <= 0 || (below && !cap && video < plannedVideo / 2))
        return std::nullopt;
    // Bytes per kbit/s: in proportion for the first correction; then from the
    // last two attempts, unless the encoder followed the bitrate by less than a
    // quarter of that (it cannot spend more, or the attempts say nothing).
    double slope = video / kbps;
    if (tries.corrections > 0 && tries.kbps != kbps) {
        const double measured = (video - (double(tries.bytes) - rest)) / (kbps - tries.kbps);
        if (measured >= slope / 4)
            slope = measured;
        else if (below)
            return std::nullopt;
    }
    const double corrected = std::clamp(kbps + (wanted - video) / slope, kbps * 0.4, kbps * 2.5);
    if (int(corrected) <= 0 || int(corrected) == int(kbps))
        return std::nullopt;
    QStringList again = run;
    again[at + 1] = QString::number(int(corrected)) + u'k';
    ++tries.corrections;
    tries.kbps = kbps;
    tries.bytes = bytes;
    tries.rest = rest;
    return again;
}
