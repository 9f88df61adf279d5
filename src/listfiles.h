// The batch list's files as the window handles them: a batch file read or saved,
// and the list exported as a shell script, each failure told in a box.
#ifndef LISTFILES_H
#define LISTFILES_H

#include <QList>
#include <QString>

#include <optional>

#include "job.h"

class JobList;
class QFont;
class QWidget;

// The jobs of a batch file; nothing (after an error box naming the reason) when it
// cannot be read, which leaves the list as it was.
std::optional<QList<Job>> readListFile(const QString &chosen, QFont &font);
// Saves the jobs; a failure is told in a box and leaves an existing file as it
// was. Returns what the status bar should say (about the extended form), if anything.
QString writeListFile(const QString &chosen, const QList<Job> &jobs, QFont &font);
// Asks for a file and saves the list as a shell script; a job the runner would
// refuse is marked in the list and named instead. Returns what the status bar
// should say, if anything.
QString exportListScript(JobList &list, QWidget *parent, QFont &font, const QString &batchFilePath);

#endif
