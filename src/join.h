// Several files joined into one output, in the order chosen: without
// re-encoding through the converter's concat demuxer when their streams match,
// otherwise re-encoded to a common size, frame rate and sample rate with the
// concat filter. A join is one job of several inputs.
#ifndef JOIN_H
#define JOIN_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "arguments.h"
#include "job.h"
#include "mediafacts.h"

// What happens to the audio tracks when the files have different numbers of them.
enum class JoinAudio {
    AllTracks,    // every track of the file with the most; missing ones are silence
    CommonTracks, // only as many tracks as every file has
};

// The question before the start: asked when the files have different numbers of
// audio tracks. `text` names the files and their counts; the answers are the two
// ways of JoinAudio (buttons "Mit Stille auffüllen", "Nur gemeinsame Spuren")
// and cancelling.
struct JoinQuestion
{
    bool ask = false;
    QString text;
};
JoinQuestion joinQuestion(const QStringList &files, const QList<MediaFacts> &facts);

// Whether the files can be joined as they are: the same kinds and numbers of
// streams with the same codecs, sizes, frame rates, sample rates and channels.
// Empty when they match; otherwise what differs (German, for the window).
QString joinDifference(const QList<MediaFacts> &facts);

// Why these files cannot be joined with these settings (German); empty when
// they can: fewer than two files, a file not readable, a name the list cannot
// hold, a target size or copied video for files that must be re-encoded.
QString joinRefusal(const PanelSettings &settings, const QStringList &files, const QList<MediaFacts> &facts);

// The list the concat demuxer reads: "file 'PATH'" per file, "'" written as
// "'\''".
QByteArray concatList(const QStringList &files);

// The job that joins `files` (absolute names, in order, with their facts) into
// `target`. Counts its progress over the sum of the files' lengths.
Job joinJob(const PanelSettings &settings, const QStringList &files, const QList<MediaFacts> &facts,
            const QString &target, JoinAudio audio = JoinAudio::AllTracks);

// The output name --convert --join gives: the first file's name with
// "-verbunden" and the suffix, beside it or in `outputDir`.
QString joinOutputName(const QString &first, const QString &outputDir, const QString &suffix);

#endif
