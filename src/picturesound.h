// The picture-and-sound choices of `quorvid --convert`: black bars, HDR and
// loudness given on the command line over what the preset says, and what the
// look at the files must find before their jobs are made.
#ifndef PICTURESOUND_H
#define PICTURESOUND_H

#include <QCommandLineParser>
#include <QString>

#include "arguments.h"

// Sets the choices given with --bars, --hdr and --loudness; returns the German
// reason when a value is not one of those offered, or when the loudness is to be
// evened out of sound that is copied (settings then unchanged).
QString applyPictureSoundOptions(const QCommandLineParser &parser, PanelSettings &settings);

// Whether --convert looks at the files before making their jobs: whenever a job
// depends on the source, and whenever video is encoded (an HDR source is
// tone-mapped even by the first codecs).
bool looksBeforeJobs(const PanelSettings &settings);

// Whether that look includes the search for black bars: only when they are to be
// removed.
bool looksForBars(const PanelSettings &settings);

#endif
