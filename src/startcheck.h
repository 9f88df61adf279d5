// What is refused before a converter starts because the system could not hand it
// over or the converter would wait on it for ever: inputs that are no regular
// files (a named pipe, a device, a folder) and argument lists the system cannot
// pass to a program.
#ifndef STARTCHECK_H
#define STARTCHECK_H

#include <QString>
#include <QStringList>

#include "job.h"

// The longest single argument and the longest list (with the environment) that
// Linux passes to a program; beyond them starting fails with E2BIG.
inline constexpr qsizetype longestArgumentBytes = 131072;

// Empty when every run of the job can be started; otherwise a German reason.
// `workingFolder` is where relative input names of the runs lie.
QString startRefusal(const Job &job, const QString &workingFolder = QString());

// The reason for a converter that could not be started, from QProcess's error
// text: a list too long for the system is named as such.
QString unstartedReason(const QString &processError);

#endif
