// Files that are replaced only when their new content reached the disk whole:
// batch lists, scripts, presets, the recovery file.
#ifndef WHOLEFILE_H
#define WHOLEFILE_H

#include <QByteArray>
#include <QString>

class QSaveFile;

// Writes the content into the save file and replaces the file of its name only
// when every byte reached the disk: the write, the flush of the buffer and the
// rename are each checked. On failure the previous file stays untouched and the
// save file's error string says why.
bool writeWholeFile(QSaveFile &file, const QByteArray &content);

// The same for a path: empty on success, else the reason.
QString writeWholeFile(const QString &path, const QByteArray &content);

#endif
