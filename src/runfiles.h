// Every file a converter run reads and every file it writes, told from its
// argument list alone before it starts, and the one rule over them: no run of a
// job writes a file the job reads. The converter's own command line decides what
// is an option, an option's value or an output; which options take a value is
// measured data (resources/converteroptions.txt), read once when first needed.
#ifndef RUNFILES_H
#define RUNFILES_H

#include <QList>
#include <QString>
#include <QStringList>

#include "job.h"

// One file a run reads or writes.
struct FileUse
{
    // Absolute and cleaned ("." and ".." parts and doubled separators gone),
    // relative names taken in the run's working folder. For numbered or dated
    // files ("img%03d.png") the name as written, and `pattern` below.
    QString path;
    // A regular expression over the whole absolute path for files whose names a
    // run makes up (numbered pictures, segments, statistics); empty for one file.
    QString pattern;
    // What names the file, for a message: "-i", "die Ausgabe", "-passlogfile", ...
    QString origin;
};

struct RunFiles
{
    QList<FileUse> reads;
    QList<FileUse> writes;
    // Why what the run writes cannot be told (an option the converter does not
    // know, an output over the network, ...), in German; empty when it can.
    QString unclear;
};

// What one run reads and writes. Relative names are taken in `workFolder`;
// `reportSetting` is the FFREPORT variable the converter will see (null: unset).
RunFiles runFiles(const QStringList &run, const QString &workFolder,
                  const QString &reportSetting = QString());

// The verdict over a whole job, before any of its runs starts.
struct WriteVerdict
{
    bool refused = false;
    // The plain case: the job's output is its input (the old, short message fits).
    bool sameAsInput = false;
    // Why it is refused, in German: which run, which option, which file.
    QString reason;
};

// `workFolder`: where the runs are started (see jobWorkFolder). The environment's
// FFREPORT is taken into account.
WriteVerdict checkWrites(const Job &job, const QString &workFolder);

// The folder a job's runs are started in as far as it is known before the start:
// the current folder for a job of one run; a job of several runs gets a new,
// empty private folder, which this stands for.
QString jobWorkFolder(const Job &job);

// True when the two uses name the same file: the same cleaned name, the same file
// after following links, the same device and inode, or a name the pattern makes.
bool sameFileUse(const FileUse &a, const FileUse &b);

#endif
