// The questions the window asks before jobs start or enter the batch list:
// settings the converter cannot write, jobs that would write a file they read,
// and outputs that exist already.
#ifndef QUESTIONS_H
#define QUESTIONS_H

#include <QList>
#include <QStringList>

#include <functional>

#include "job.h"

class InfoCollector;
class QFont;

// Asks before converting or adding settings the converter cannot write; true
// when there is nothing to ask or the user goes on. The information run of the
// opened file describes that file's streams; other inputs are judged by their
// settings alone. `settingsProblems` are what the settings themselves cannot do
// (evening out copied sound, subtitles; see settingsProblems()), asked about
// with the rest; `burnIn`: a subtitle track is to be burned into the picture.
bool confirmCompatible(const QList<Job> &jobs, bool forBatch, const InfoCollector &infoCollector, QFont &font,
                       const QStringList &settingsProblems = {}, bool burnIn = false);

// Refuses jobs that would write a file they read (a box names the reason, and
// `refused` learns which job), then asks before existing outputs are
// overwritten; true when the jobs may start.
bool confirmOutputs(const QList<Job> &jobs, QFont &font,
                    const std::function<void(qsizetype index, const QString &reason)> &refused);

#endif
