// Job texts and batch files: a job is one converter argument list joined with
// ","; a batch file holds one job text per line, each ended by LF.
#ifndef BATCHFILE_H
#define BATCHFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;
class QSaveFile;

// Orders chosen files: the lower-case forms compared code unit by code unit, no
// locale rules ("Äpfel" after "zebra").
bool caseInsensitiveLessThan(const QString &a, const QString &b);

QString jobText(const QStringList &arguments);
QStringList jobArguments(const QString &jobText);

// The frame rate a job converts at, from its "-r" element; nothing when it has none.
std::optional<double> jobFrameRate(const QString &jobText);

// The part of a job text that names its input and its output file.
QString jobInput(const QString &jobText);
QString jobOutput(const QString &jobText);

// Every line is a job, empty lines included; CR before LF is dropped, a byte-order
// mark is honoured, otherwise the text is UTF-8.
QStringList readJobTexts(QIODevice &device);

// One line per non-empty job text, LF after each.
QByteArray batchFileContent(const QStringList &jobTexts);

// The name a list is saved under: ".btc" appended unless the name ends with it
// (case-sensitive).
QString batchFileName(const QString &chosen);

// Writes the content into the save file and replaces the file of its name only
// when every byte reached the disk: the write, the flush of the buffer and the
// rename are each checked. On failure the previous file stays untouched and the
// save file's error string says why.
bool writeWholeFile(QSaveFile &file, const QByteArray &content);

#endif
