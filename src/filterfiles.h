// The files named inside option values of the converter that have a syntax of
// their own: filter graphs ("movie=a.mp4,metadata=print:file=m.txt") and encoder
// parameter lists ("pass=1:stats=x.log"). Part of the write check (runfiles.h).
#ifndef FILTERFILES_H
#define FILTERFILES_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// A file named in an option value, as written there.
struct NamedFile
{
    QString name;
    bool writes = false;
    // What names it, for a message ("der Filter metadata (file)").
    QString origin;
    // The name may hold a number pattern ("%03d") that the converter fills in.
    bool numbered = false;
    // A regular expression for what the converter appends to the name when it
    // makes more than one file of it (statistics: ".temp", ".mbtree"); empty: none.
    QString tail;
};

// One token the way the converter's own parser reads it: leading white space
// skipped, up to the first of `terms` outside quotes ('...') and escapes (\x),
// which are removed; trailing white space dropped unless quoted or escaped.
// `at` moves to the terminating character (or the end).
QString takeToken(QStringView text, qsizetype &at, QStringView terms);

// The files the filters of a graph read and write, for the filters known to name
// files. Filters after a syntax error are not made by the converter either.
QList<NamedFile> filterGraphFiles(const QString &graph);

// The files of an encoder's parameter list ("-x265-params", "-x264-params",
// "-x264opts", "-svtav1-params"): key=value pairs parted by ":".
QList<NamedFile> encoderParameterFiles(const QString &parameters, const QString &option);

// The text of a regular file of at most a MiB (a filter script, a concat list);
// nothing for anything else. Opened without waiting, so that a FIFO or a kernel
// file that blocks never holds up the check.
std::optional<QByteArray> smallFile(const QString &path);

#endif
