// Batch files: a list of job texts written and read back is the same list, and a
// job text split into arguments and joined again is the same text. Job texts hold
// no line breaks (the window refuses such file names) and no byte-order marks
// (which a reader takes for the file's encoding).
#include <QBuffer>
#include <QString>
#include <QStringList>

#include <cstdlib>

#include "batchfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList jobs;
    for (QString job : text.split(QChar(u'\n'))) {
        job.remove(QChar(u'\r'));
        job.remove(QChar(0xFEFF));
        if (!job.isEmpty())
            jobs << job;
    }

    for (const QString &job : std::as_const(jobs))
        if (jobText(jobArguments(job)) != job)
            std::abort();

    QByteArray content = batchFileContent(jobs);
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    if (readJobTexts(buffer) != jobs)
        std::abort();

    // Any bytes at all can be read without harm.
    QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer rawBuffer(&raw);
    rawBuffer.open(QIODevice::ReadOnly | QIODevice::Text);
    for (const QString &job : readJobTexts(rawBuffer)) {
        jobInput(job);
        jobOutput(job);
        jobFrameRate(job);
    }
    return 0;
}
