#include "makejob.h"

#include <QFileInfo>

#include "colourflags.h"
#include "formats.h"
#include "interlace.h"
#include "timerange.h"
#include "tracks.h"

const StreamFacts *firstVideo(const SourceFacts &facts)
{
    for (const StreamFacts &stream : facts.streams)
        if (stream.kind == StreamFacts::Kind::Video)
            return &stream;
    return nullptr;
}

bool dependsOnSource(const PanelSettings &settings)
{
    constexpr int firstModernAudioCodec = 5;
    return (settings.videoOn && !settings.dvdPreset && isModernVideoCodec(settings.videoCodec)) ||
           (settings.audioOn && settings.audioCodec >= firstModernAudioCodec);
}

QString jobRefusal(const PanelSettings &settings, const SourceFacts &facts)
{
    return checkRange(settings.rangeFrom, settings.rangeTo, facts.durationSeconds).refusal;
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

Job makeJob(const PanelSettings &settings, const QString &source, const QString &target,
            const SourceFacts &facts)
{
    QStringList arguments = buildArguments(settings, source, target);
    const StreamFacts *video = firstVideo(facts);
    const int height = video ? video->height : 0;
    // One video filter chain: deinterlace first, then the size limit, then the
    // builder's own crop to even sides.
    const QString deinterlace = deinterlaces(settings, facts) ? deinterlaceFilter(facts.scan) : QString();
    arguments = withVideoFilters(arguments, deinterlace, sizeLimitFilter(settings.maxHeight, height));
    if (facts.valid) {
        // Every track the user wants and the target holds.
        const TrackPlan plan = planTracks(facts, settings, QFileInfo(target).suffix(), settings.trackChecks);
        arguments = withTracks(arguments, plan);
        // Colour flags that fit a 4:2:0 output of today's codecs.
        const bool encodesVideo =
            settings.videoOn && !settings.dvdPreset && isModernVideoCodec(settings.videoCodec);
        if (encodesVideo && video)
            arguments =
                beforeOutput(arguments, colourFlagOptions(video->colourSpace, video->pixelFormat, height));
    }
    // The part of the file, read precisely from the input.
    const RangeCheck range = checkRange(settings.rangeFrom, settings.rangeTo, facts.durationSeconds);
    if (range.refusal.isEmpty())
        arguments = withRange(arguments, range.range);
    return Job::fromRuns({arguments});
}
