#include "makejob.h"

#include <QFileInfo>

#include <algorithm>

#include "codecs.h"
#include "colourflags.h"
#include "germannumbers.h"
#include "hdr.h"
#include "interlace.h"
#include "loudness.h"
#include "subtitlejob.h"
#include "targetsize.h"
#include "timerange.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

const StreamFacts *firstVideo(const SourceFacts &facts)
{
    for (const StreamFacts &stream : facts.streams)
        if (stream.kind == StreamFacts::Kind::Video)
            return &stream;
    return nullptr;
}

bool dependsOnSource(const PanelSettings &settings)
{
    return (settings.videoOn && !settings.dvdPreset && videoCodec(settings.videoCodec).modern) ||
           (settings.videoOn && settings.targetSizeMB > 0) ||
           (settings.audioOn && audioCodec(settings.audioCodec).modern) ||
           (settings.videoOn && settings.removeBars) || normalisesLoudness(settings) ||
           !settings.subtitleFiles.isEmpty() || settings.burnIn.isSet() || settings.subtitlesBeside;
}

namespace {
// Whether the job aims at a size: asked for, with video to encode in the source
// (a sound file keeps its own size).
bool aimsAtSize(const PanelSettings &settings, const SourceFacts &facts)
{
    return settings.targetSizeMB > 0 && settings.videoOn && !settings.dvdPreset &&
           !(facts.valid && !firstVideo(facts));
}

// The bitrate that meets the size over the part converted, with room for every
// audio track the job keeps.
SizeBudget sizeBudget(const PanelSettings &settings, const SourceFacts &facts, const QString &target,
                      const TimeRange &range)
{
    if (facts.durationSeconds <= 0) {
        SizeBudget unknown;
        unknown.refusal =
            QObject::tr("Die Dauer der Datei ist nicht bekannt, daher lässt sich keine Zielgröße "
                        "berechnen. Bitte wählen Sie eine Qualitätsstufe oder eine Bitrate.");
        return unknown;
    }
    QList<int> keptAudio;
    const QString container = QFileInfo(target).suffix();
    const TrackPlan plan = planTracks(facts, settings, container, settings.trackChecks);
    // The length of what is kept: a subtitle may run on after picture and sound
    // have ended, and the header counts it; the bits go to the picture only.
    const StreamFacts *video = firstVideo(facts);
    double kept = video ? video->durationSeconds : 0;
    for (const TrackDecision &track : plan.tracks)
        if (track.kind == StreamFacts::Kind::Audio && track.kept)
            for (const StreamFacts &stream : facts.streams)
                if (stream.index == track.index) {
                    keptAudio << stream.bitRateKbps;
                    kept = std::max(kept, stream.durationSeconds);
                }
    const double length = kept > 0 ? std::min(kept, facts.durationSeconds) : facts.durationSeconds;
    const double seconds = std::min(range.to.value_or(length), length) - range.from.value_or(0);
    const int audioKbps = settings.audioOn ? audioKbpsForSize(settings, keptAudio) : 0;
    return videoBitrateForSize(settings.targetSizeMB, seconds, audioKbps, container, settings.videoCodec);
}
} // namespace

double aimedSizeMB(const PanelSettings &settings, const SourceFacts &facts)
{
    return aimsAtSize(settings, facts) ? settings.targetSizeMB : 0;
}

QString oversizeNote(const QString &output, double aimedMB)
{
    const qint64 bytes = QFileInfo(output).size();
    if (aimedMB <= 0 || double(bytes) <= aimedMB * 1e6)
        return {};
    return QObject::tr("Die Datei ist mit %1 MB größer geworden als die Zielgröße von %2 MB. Wählen Sie eine "
                       "etwas kleinere Zielgröße oder H.264, H.265 oder VP9, die die Größe genauer treffen.")
        .arg(germanNumber(double(bytes) / 1e6, 2), germanNumber(aimedMB, 2));
}

QString jobRefusal(const PanelSettings &settings, const SourceFacts &facts, const QString &target)
{
    const RangeCheck range = checkRange(settings.rangeFrom, settings.rangeTo, facts.durationSeconds);
    // Added or burned subtitles need the source's streams named.
    if (range.refusal.isEmpty() && (!settings.subtitleFiles.isEmpty() || settings.burnIn.isSet()) &&
        !facts.valid)
        return QObject::tr(
                   "Was die Datei enthält, ist nicht bekannt (%1); Untertitel lassen sich daher nicht "
                   "hinzufügen oder einbrennen. Bitte prüfen Sie die Datei.")
            .arg(facts.problem.isEmpty() ? QObject::tr("ffprobe konnte sie nicht lesen") : facts.problem);
    if (!range.refusal.isEmpty() || !aimsAtSize(settings, facts))
        return range.refusal;
    return sizeBudget(settings, facts, target, range.range).refusal;
}

QString sizeCaution(const PanelSettings &settings, const SourceFacts &facts, const QString &target)
{
    const VideoCodec &codec = videoCodec(settings.videoCodec);
    const StreamFacts *video = firstVideo(facts);
    if (!(codec.sizeCapFloorBits > 0) || !aimsAtSize(settings, facts) || !video || video->width <= 0 ||
        video->height <= 0)
        return {};
    const RangeCheck range = checkRange(settings.rangeFrom, settings.rangeTo, facts.durationSeconds);
    const SizeBudget budget = sizeBudget(settings, facts, target, range.range);
    const double pictures = video->frameRate > 0 ? video->frameRate : 25;
    const double bits = budget.videoKbps * 1000.0 / (double(video->width) * video->height * pictures);
    if (budget.videoKbps <= 0 || bits >= codec.sizeCapFloorBits)
        return {};
    return QObject::tr(
               "Für diese Zielgröße bleiben dem Video nur %1 kbit/s. Bei unruhigem Bild schreibt SVT-AV1 "
               "so wenig nicht, und die Datei kann größer werden als %2 MB. Genau treffen sie H.264, "
               "H.265 und VP9; oder wählen Sie eine größere Zielgröße.")
        .arg(budget.videoKbps)
        .arg(germanNumber(settings.targetSizeMB, 2));
}

bool deinterlaces(const PanelSettings &settings, const SourceFacts &facts)
{
    return settings.deinterlace.value_or(deinterlaceByDefault(facts.scan, settings.videoCodec));
}

namespace {
QStringList beforeOutput(QStringList arguments, const QStringList &options)
{
    if (!options.isEmpty() && !arguments.isEmpty()) {
        const QString output = arguments.takeLast();
        arguments << options << output;
    }
    return arguments;
}
} // namespace

namespace {
// The bars to crop: asked for, and found by the look at the source.
Bars barsToCrop(const PanelSettings &settings, const SourceFacts &facts)
{
    return settings.removeBars && facts.barsLooked ? facts.bars : Bars();
}

// The "-pix_fmt" of the options replaces the builder's own.
QStringList withOutputOptions(QStringList arguments, const QStringList &options)
{
    if (options.contains(u"-pix_fmt"_s))
        for (qsizetype i = arguments.size() - 3; i >= 0; --i)
            if (arguments[i] == u"-pix_fmt"_s)
                arguments.remove(i, 2);
    return beforeOutput(arguments, options);
}

// The job's runs with the sound normalised: a measuring run first, and the
// filter in every run that writes the output (a first pass writes none).
QList<QStringList> withLoudnessRuns(const PanelSettings &settings, const QString &source,
                                    const QString &target, const SourceFacts &facts, QList<QStringList> runs,
                                    QList<QStringList> &limitRuns)
{
    QStringList maps;
    QList<int> rates;
    const AudioCodec &codec = audioCodec(settings.audioCodec);
    const auto rateOf = [&](int sourceRate) {
        if (settings.frequencyEnabled)
            return frequencyValues.value(settings.sampleRateIndex).toInt();
        return sourceRate > 0 && !codec.refusedRates.contains(sourceRate) ? sourceRate : 48000;
    };
    if (facts.valid) {
        const TrackPlan plan = planTracks(facts, settings, QFileInfo(target).suffix(), settings.trackChecks);
        for (const TrackDecision &track : plan.tracks)
            if (track.kind == StreamFacts::Kind::Audio && track.kept)
                for (const StreamFacts &stream : facts.streams)
                    if (stream.index == track.index) {
                        maps << u"0:%1"_s.arg(stream.index);
                        rates << rateOf(stream.sampleRate);
                    }
        if (maps.isEmpty())
            return runs; // no sound in the output
    }
    for (QList<QStringList> *list : {&runs, &limitRuns})
        for (QStringList &run : *list)
            if (!writesNoFile(run))
                run = withLoudness(run, settings.loudnessTarget, rates, rateOf(0));
    runs.prepend(loudnessMeasureRun(source, maps, settings.loudnessTarget));
    return runs;
}
} // namespace

Job makeJob(const PanelSettings &settings, const QString &source, const QString &target,
            const SourceFacts &facts)
{
    QStringList arguments = buildArguments(settings, source, target);
    const StreamFacts *video = firstVideo(facts);
    const int shownWidth = video ? video->shownWidth() : 0;
    const int shownHeight = video ? video->shownHeight() : 0;
    const Bars bars = barsToCrop(settings, facts);
    const int height = video ? video->height : 0;
    const QString container = QFileInfo(target).suffix();
    const HdrTreatment hdr = hdrTreatment(settings, video, container);
    const RangeCheck range = checkRange(settings.rangeFrom, settings.rangeTo, facts.durationSeconds);
    const TimeRange part = range.refusal.isEmpty() ? range.range : TimeRange();
    // One video filter chain: deinterlace first (whole frames, their field order
    // kept by the even crop), then the bars, the tones of HDR, a text subtitle
    // burned into the picture as it will be seen, the size limit on the cropped
    // picture, and the builder's own crop to even sides.
    QStringList filters{deinterlaces(settings, facts) ? deinterlaceFilter(facts.scan) : QString(),
                        barsCropFilter(bars, shownWidth, shownHeight)};
    if (hdr == HdrTreatment::ToneMap)
        filters << toneMapFilters(*video);
    filters << textBurnFilter(settings, facts, source, part);
    filters << sizeLimitFilter(settings.maxHeight, video ? shownHeight - bars.top - bars.bottom : 0,
                               video ? shownWidth - bars.left - bars.right : 0);
    arguments = withVideoFilters(arguments, filters);
    if (facts.valid) {
        // Every track the user wants and the target holds.
        const TrackPlan plan = planTracks(facts, settings, container, settings.trackChecks);
        arguments = withTracks(arguments, plan);
        // Subtitle files as tracks; a picture subtitle laid over the picture.
        arguments = withAddedSubtitles(arguments, settings, container, plan, part);
        arguments = withPictureBurn(arguments, settings, facts, plan);
        // Colour flags that fit a 4:2:0 output of today's codecs; an HDR source's
        // flags are those of its treatment.
        const bool encodesVideo =
            settings.videoOn && !settings.dvdPreset && videoCodec(settings.videoCodec).modern;
        if (hdr != HdrTreatment::None)
            arguments = withOutputOptions(arguments, hdrOutputOptions(hdr, *video, settings.videoCodec));
        else if (encodesVideo && video)
            arguments =
                beforeOutput(arguments, colourFlagOptions(video->colourSpace, video->pixelFormat, height));
    }
    QList<QStringList> runs{arguments};
    // A size: the bitrate that meets it, in two passes where the encoder has them;
    // the runner measures the output against the size and corrects a miss.
    qint64 sizeLimit = 0;
    QList<QStringList> limitRuns;
    if (aimsAtSize(settings, facts)) {
        const SizeBudget budget = sizeBudget(settings, facts, target, range.range);
        if (budget.videoKbps > 0) {
            const QList<QStringList> sizeRuns = targetSizeRuns(
                beforeOutput(arguments, steadyAudioOptions(settings)), settings.videoCodec, budget.videoKbps);
            // A limit: the quality run first; the passes only when its file is too large.
            (settings.sizeIsLimit ? limitRuns : runs) = sizeRuns;
            sizeLimit = qint64(settings.targetSizeMB * 1e6);
        }
    }
    if (normalisesLoudness(settings))
        runs = withLoudnessRuns(settings, source, target, facts, runs, limitRuns);
    // The part of the file, read precisely from the input by every run.
    if (range.refusal.isEmpty())
        for (QList<QStringList> *list : {&runs, &limitRuns})
            for (QStringList &run : *list)
                run = withRange(run, range.range);
    Job job = Job::fromRuns(runs);
    job.sizeLimit = sizeLimit;
    job.limitRuns = limitRuns;
    if (facts.valid)
        job.workFiles = subtitleWorkFiles(settings);
    return job;
}
