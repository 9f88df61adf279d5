// Making the files a job's runs read from its private folder (job.h, WorkFile):
// subtitle files as UTF-8, the list of the files of a join.
#ifndef WORKFILES_H
#define WORKFILES_H

#include <QList>
#include <QString>

#include "job.h"

// Writes each file into `folder`; empty on success, otherwise the German reason
// (a subtitle file that cannot be read, a full disk).
QString makeWorkFiles(const QList<WorkFile> &files, const QString &folder);

#endif
