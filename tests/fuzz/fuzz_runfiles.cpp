// The write check over arbitrary argument lists: it never crashes, and the same
// job gets the same verdict twice. Words are parted by NUL bytes, runs by a word
// that is a single byte 0x01.
#include <QString>
#include <QStringList>

#include <cstdlib>

#include "runfiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QStringList> runs{{}};
    for (const QString &word : text.split(QChar(u'\0'))) {
        if (word == QString(QChar(1)))
            runs.append(QStringList());
        else
            runs.last() << word;
    }
    const Job job = Job::fromRuns(runs);
    const QString folder = QStringLiteral("/nonexistent/working folder");
    const WriteVerdict first = checkWrites(job, folder);
    const WriteVerdict second = checkWrites(job, folder);
    if (first.refused != second.refused || first.reason != second.reason ||
        first.sameAsInput != second.sameAsInput)
        std::abort();
    // Every refusal says why.
    if (first.refused && first.reason.isEmpty() && !first.sameAsInput)
        std::abort();
    for (const QStringList &run : runs) {
        const RunFiles files = runFiles(run, folder);
        for (const QList<FileUse> *uses : {&files.reads, &files.writes})
            for (const FileUse &use : *uses)
                if (!use.path.startsWith(QChar(u'/')))
                    std::abort(); // every name is taken in a folder
    }
    return 0;
}
