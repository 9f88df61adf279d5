// The one place where a job is made: the settings panel's value, the source and
// target names, and what is known of the source turned into the converter runs.
// With the panel's newer fields at their defaults and nothing known of the
// source, a job is exactly the argument list of buildArguments.
#ifndef MAKEJOB_H
#define MAKEJOB_H

#include <QString>

#include "arguments.h"
#include "interlace.h"
#include "job.h"

// What the background look at a source found; every field may be unknown.
struct SourceFacts
{
    // The interlacing the field check decided on.
    Scan scan = Scan::Unknown;
    // The first video stream's frame height; 0 when unknown.
    int height = 0;
};

Job makeJob(const PanelSettings &settings, const QString &source, const QString &target,
            const SourceFacts &facts = SourceFacts());

// Whether the job deinterlaces: the user's choice, else the rule for the source.
bool deinterlaces(const PanelSettings &settings, const SourceFacts &facts);

#endif
