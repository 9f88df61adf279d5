// Subtitles in a job beyond the source's own tracks: subtitle files added as
// tracks, and one subtitle track burned into the picture. The pieces makeJob puts
// into the argument list, and what the window asks before the start.
#ifndef SUBTITLEJOB_H
#define SUBTITLEJOB_H

#include <QList>
#include <QString>
#include <QStringList>

#include "arguments.h"
#include "compatibility.h"
#include "job.h"
#include "mediafacts.h"
#include "timerange.h"

struct TrackPlan;

// Whether the settings burn a subtitle track into the picture: one is chosen
// and the video is encoded (a copied picture cannot be drawn on).
bool burnsSubtitles(const PanelSettings &settings);

// The source's stream that is burned in; nullptr when the burned track is an
// added file or none is.
const StreamFacts *burnedSourceStream(const PanelSettings &settings, const MediaFacts &facts);

// The name of an added subtitle file's UTF-8 copy in the job's private folder:
// "untertitel1.srt" for the first file of the list.
QString subtitleWorkName(const PanelSettings &settings, int index);

// The copies every added subtitle file gets in the job's private folder: the
// converter reads the copy, always as UTF-8, whatever the file's encoding.
QList<WorkFile> subtitleWorkFiles(const PanelSettings &settings);

// The "subtitles" filter for a text track burned in (empty for none, for a
// picture track, or when the video is copied). `range` keeps the text in time
// with a part of the source: "-ss" before "-i" starts the picture's time stamps
// at 0, the filter counts in the file's own time.
QString textBurnFilter(const PanelSettings &settings, const MediaFacts &facts, const QString &source,
                       const TimeRange &range);

// The argument list with the added subtitle files as inputs (after the source,
// each with the range's input options) and tracks (mapped after the source's
// streams, converted to what the container holds, with language, title and the
// forced mark). Unchanged when none is added, or when the plan names no streams.
QStringList withAddedSubtitles(const QStringList &arguments, const PanelSettings &settings,
                               const QString &container, const TrackPlan &plan, const TimeRange &range);

// A picture subtitle of the source burned in: the video chain ("-vf") becomes a
// "-filter_complex" that lays the subtitle over the picture first, and its
// output replaces the mapped video stream. Unchanged for a text or no track.
QStringList withPictureBurn(const QStringList &arguments, const PanelSettings &settings,
                            const MediaFacts &facts, const TrackPlan &plan);

// What to ask before the start: added files the output cannot hold (they would
// be left out), a burned track that is gone or cannot be burned.
QList<Problem> subtitleProblems(const PanelSettings &settings, const MediaFacts &facts,
                                const QString &container);

// A value for a filter option inside a filter graph: ":" "'" "\" and the graph's
// "," ";" "[" "]" escaped, so that any file name reaches the filter intact.
QString filterValue(const QString &text);

#endif
