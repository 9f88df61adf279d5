// A batch list as a POSIX shell script: one converter command per job, for
// running the list without the window, elsewhere, or spread over machines.
#ifndef SCRIPTEXPORT_H
#define SCRIPTEXPORT_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "job.h"

// One argument for sh, single-quoted: nothing inside is special to the shell.
// A line break becomes "$nl" (defined by the script) so that every command stays
// on one line.
QString shellQuoted(const QString &argument);

// The whole script: every job's command with standard input closed; the script
// goes on after a failed job and ends with status 1 when any job failed.
QByteArray batchScript(const QStringList &jobTexts);
// The same for jobs. A job of several runs becomes one line that runs them in
// turn in a private temporary folder (where a first pass leaves its statistics
// for the second), removed afterwards.
QByteArray batchScript(const QList<Job> &jobs);

#endif
