#include "makejob.h"

bool deinterlaces(const PanelSettings &settings, const SourceFacts &facts)
{
    return settings.deinterlace.value_or(deinterlaceByDefault(facts.scan, settings.videoCodec));
}

Job makeJob(const PanelSettings &settings, const QString &source, const QString &target, const SourceFacts &facts)
{
    QStringList arguments = buildArguments(settings, source, target);
    // One video filter chain: deinterlace first, then the size limit, then the
    // builder's own crop to even sides.
    const QString deinterlace = deinterlaces(settings, facts) ? deinterlaceFilter(facts.scan) : QString();
    arguments = withVideoFilters(arguments, deinterlace, sizeLimitFilter(settings.maxHeight, facts.height));
    return Job::fromRuns({arguments});
}
