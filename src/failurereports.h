// What the window tells the user when something went wrong, as plain German text
// built from plain values: the cause a runner named for a failed job, files whose
// look failed, and damaged presets. No widget in sight; the window shows these.
#ifndef FAILUREREPORTS_H
#define FAILUREREPORTS_H

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

struct JobEnd;
struct PresetProblem;

// The cause the runner named for a failed job (a full disk, an incomplete
// output, an input the job would overwrite), or empty when its reason only
// repeats the converter's last line: then the converter's own words in the
// details are all there is to tell.
QString namedCause(const JobEnd &end);

// The error box's text for a named cause (rich text).
QString namedCauseBoxText(const QString &cause);

// A box's text naming files whose look failed, each with its reason: the first
// few, then how many more (rich text). `failures` holds (file, reason) pairs.
QString unreadFilesText(const QList<std::pair<QString, QString>> &failures);

// The box about damaged preset files: a count and the first few names in the
// text, every name with its reason in the details; it fits any screen.
struct PresetProblemReport
{
    QString text; // rich text
    QString details;
};
PresetProblemReport presetProblemReport(const QList<PresetProblem> &problems, const QString &folder);

// The damaged preset files as a set (sorted names), to tell whether it changed
// since it was last named.
QStringList presetProblemSet(const QList<PresetProblem> &problems);

#endif
