// A job of the batch list: the converter runs that make one output from one
// input, each run an argument list kept element for element. Most jobs are one
// run; a job for a target size is two (the passes). The comma-joined job text is
// only how a job is shown and how the plain list form stores it.
#ifndef JOB_H
#define JOB_H

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// A file the runner makes in a job's private folder before the job's first run,
// under a name its runs give relative to that folder: a subtitle file as UTF-8
// (`source` set), or a list of files to join (`content`).
struct WorkFile
{
    QString name;
    QString source;
    QByteArray content;
    bool operator==(const WorkFile &o) const
    {
        return name == o.name && source == o.source && content == o.content;
    }
};

struct Job
{
    QList<QStringList> runs;
    // The argument after the first "-i" of the first run, and the last argument of
    // the last run: what the job reads and what it writes.
    QString input;
    QString output;
    // For a job made to a size: the size its output must stay below, in bytes
    // (0: none). The runner measures the output against it and converts again
    // with a corrected bitrate when it missed.
    qint64 sizeLimit = 0;
    // For a job whose size is a limit rather than a target: the runs that make the
    // output to the size (the passes), started only when the runs above (at the
    // preset's quality) wrote a file of sizeLimit bytes or more. Empty for every
    // other job.
    QList<QStringList> limitRuns;
    // A join: every file joined, in order (the first is `input` as well). The
    // converter reads them through the list among `workFiles`. Empty for a job
    // of one source.
    QStringList joinedInputs;
    // Files made in the job's private folder before its first run; empty for
    // most jobs, which then run as they always did.
    QList<WorkFile> workFiles;
    // The length of everything the job reads, in seconds, where the converter
    // cannot tell it (a join); 0: the converter's own figure counts.
    double inputSeconds = 0;

    // A job of the given runs; input and output are read from them.
    static Job fromRuns(QList<QStringList> runs);
    // A job text of the plain list form: one run, split at every ",".
    static Job fromText(const QString &jobText);

    // What the Jobs column shows: the job text; the runs of a job of several runs
    // one after another, parted by " ; ".
    QString text() const;
    // True when the job text gives back exactly this job: one run, no element with
    // a "," and no line break, no size limit, so the plain list form can hold it.
    bool fitsTextForm() const;
    // True for the job of an empty line (nothing to run).
    bool isEmpty() const;
    // Every run the job may start: its runs, then its limit runs.
    QList<QStringList> allRuns() const { return runs + limitRuns; }
    // The files the job reads that no "-i" of its runs names: the files of a join,
    // the subtitle files copied as UTF-8.
    QStringList readsBesideRuns() const;
    // Whether the runs need a private folder of their own: several runs (the
    // passes), or files to make before the first run.
    bool needsWorkFolder() const { return allRuns().size() > 1 || !workFiles.isEmpty(); }

    bool operator==(const Job &other) const
    {
        return runs == other.runs && sizeLimit == other.sizeLimit && limitRuns == other.limitRuns &&
               joinedInputs == other.joinedInputs && workFiles == other.workFiles &&
               inputSeconds == other.inputSeconds;
    }
    bool operator!=(const Job &other) const { return !(*this == other); }
};
Q_DECLARE_METATYPE(Job)

// A job text: one converter argument list joined with ","; and the list of the
// text, split at every ",".
QString jobText(const QStringList &arguments);
QStringList jobArguments(const QString &jobText);

// The frame rate a job converts at, from its "-r" element; nothing when it has none.
std::optional<double> jobFrameRate(const QString &jobText);

// The part of a job text that names its input and its output file.
QString jobInput(const QString &jobText);
QString jobOutput(const QString &jobText);

// The output a run writes: its last argument.
QString runOutput(const QStringList &run);

// True for a run whose output is no file: the null muxer ("-f null"), a pipe
// ("-", "pipe:") or /dev/null (a first pass). What every run reads and writes is
// checked by checkWrites (runfiles.h) before it starts.
bool writesNoFile(const QStringList &arguments);

#endif
