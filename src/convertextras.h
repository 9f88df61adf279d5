// The jobs of `quorvid --convert`: one per file, with the subtitle file of
// --subtitles or those a preset takes from beside each file, or one job that
// joins every file (--join). What to tell on the terminal comes with them.
#ifndef CONVERTEXTRAS_H
#define CONVERTEXTRAS_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "arguments.h"
#include "job.h"
#include "mediafacts.h"

struct ConvertJobs
{
    QList<Job> jobs;
    // Lines for standard error, without the program's name: files left out and why,
    // subtitle files taken, the choice made instead of a question.
    QStringList messages;
    // Files left out: the exit status tells of them.
    int refused = 0;
};

// `subtitleFile`: the file of --subtitles (only with one input), else empty.
// `joinOutput`: the output of --join, empty without it.
ConvertJobs convertJobs(const PanelSettings &settings, const QStringList &files, const QStringList &outputs,
                        const QHash<QString, MediaFacts> &facts, const QString &subtitleFile,
                        const QString &joinOutput);

// The files in the order the command line named them (the files found in a
// named folder in their sorted order, where the folder was named): the order
// of a join.
QStringList inGivenOrder(const QStringList &files, const QStringList &given);

// Whether the jobs need the facts of the files before they are made.
bool convertNeedsFacts(const PanelSettings &settings, bool join, bool subtitles);

// Why the call with these options cannot be made (German); empty when it can.
QString convertOptionsRefusal(qsizetype files, bool join, const QString &subtitleFile);

#endif
