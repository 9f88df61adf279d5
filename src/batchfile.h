// Batch files: a plain one holds one job text (job.h) per line, each ended by
// LF; the extended form one JSON job per line.
#ifndef BATCHFILE_H
#define BATCHFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include "job.h"

class QIODevice;

// Orders chosen files: the lower-case forms compared code unit by code unit, no
// locale rules ("Äpfel" after "zebra").
bool caseInsensitiveLessThan(const QString &a, const QString &b);

// Every line is a job, empty lines included; CR before LF is dropped, a byte-order
// mark is honoured, otherwise the text is UTF-8.
QStringList readJobTexts(QIODevice &device);

// One line per non-empty job text, LF after each.
QByteArray batchFileContent(const QStringList &jobTexts);

// A whole batch list as read from a file. The plain form holds one job text per
// line; the extended form, for lists the plain one cannot hold (names with commas
// or line breaks, jobs of several runs), starts with a line naming the form and
// its version and then holds one job per line, its runs as JSON arrays of strings.
struct BatchList
{
    QList<Job> jobs;
    bool extended = false;
    // Why the file was refused (a later form, a damaged line); empty when read.
    QString error;
};
BatchList readBatchList(QIODevice &device);

// The first line of the extended form.
extern const QString extendedFormMarker;

// The file content for these jobs: the plain form, byte for byte as ever, when
// every job fits it; otherwise the extended form (`extended` tells which).
QByteArray batchListContent(const QList<Job> &jobs, bool *extended = nullptr);

// One job as a line of the extended form, and back (nothing for a damaged line).
QByteArray extendedJobLine(const Job &job);
std::optional<Job> parseExtendedJobLine(QStringView line);

// The name a list is saved under: ".btc" appended unless the name ends with it
// (case-sensitive).
QString batchFileName(const QString &chosen);

#endif
