// The one place where a job is made: the settings panel's value, the source and
// target names, and what the background look found in the source turned into
// the converter runs. With the panel's newer fields at their defaults and nothing
// known of the source, a job is exactly the argument list of buildArguments.
#ifndef MAKEJOB_H
#define MAKEJOB_H

#include <QString>

#include "arguments.h"
#include "job.h"
#include "mediafacts.h"

// What is known of a source when its job is made: the facts of the background
// look (streams, duration, interlacing); not valid when nothing is known.
using SourceFacts = MediaFacts;

Job makeJob(const PanelSettings &settings, const QString &source, const QString &target,
            const SourceFacts &facts = SourceFacts());

// Why no job can be made of these settings for this source (German, for a box
// or a terminal line): a part of the file that is no time or lies outside it, a
// size that cannot be met. Empty when the job can be made.
QString jobRefusal(const PanelSettings &settings, const SourceFacts &facts, const QString &target);

// Empty, or why a size the job may aim at cannot be promised: the codec's
// least quality may still write more than it on a busy picture, as the video
// bitrate per pixel and picture of the source is below the codec's floor. Said
// before the start; the job still runs and never keeps a file above the size
// it could make smaller.
QString sizeCaution(const PanelSettings &settings, const SourceFacts &facts, const QString &target);

// The size in MB the job aims at; 0 when it aims at none.
double aimedSizeMB(const PanelSettings &settings, const SourceFacts &facts);

// What to tell when an output came out larger than the size it aimed at (AV1 in
// its single pass can); empty when it fits.
QString oversizeNote(const QString &output, double aimedMB);

// Whether the job deinterlaces: the user's choice, else the rule for the source.
bool deinterlaces(const PanelSettings &settings, const SourceFacts &facts);

// True when jobs of these settings depend on what the source holds (today's
// codecs: tracks, interlacing, colours; a target size: the duration and the
// audio tracks); jobs of the first codecs do not.
bool dependsOnSource(const PanelSettings &settings);

// The source's first video stream (not a cover picture); nullptr when none.
const StreamFacts *firstVideo(const SourceFacts &facts);

#endif
