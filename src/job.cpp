#include "job.h"

#include "arguments.h"
#include "batchfile.h"
#include "outputcheck.h"

using namespace Qt::StringLiterals;

namespace {
QString inputOf(const QStringList &run)
{
    const qsizetype at = run.indexOf(u"-i"_s);
    return at >= 0 ? run.value(at + 1) : QString();
}
} // namespace

Job Job::fromRuns(QList<QStringList> runs)
{
    Job job;
    job.runs = std::move(runs);
    if (!job.runs.isEmpty()) {
        job.input = inputOf(job.runs.first());
        job.output = runOutput(job.runs.last());
    }
    return job;
}

Job Job::fromText(const QString &jobText)
{
    return fromRuns({jobArguments(jobText)});
}

QString Job::text() const
{
    QStringList texts;
    texts.reserve(runs.size());
    for (const QStringList &run : runs)
        texts << jobText(run);
    return texts.join(u" ; "_s);
}

bool Job::fitsTextForm() const
{
    if (runs.size() != 1)
        return false;
    for (const QString &argument : runs.first())
        if (argument.contains(u',') || argument.contains(u'\n') || argument.contains(u'\r'))
            return false;
    // An empty list would come back as one empty element.
    return !runs.first().isEmpty();
}

bool Job::isEmpty() const
{
    return runs.isEmpty() || (runs.size() == 1 && runs.first().size() == 1 && runs.first().first().isEmpty());
}

QString runOutput(const QStringList &run)
{
    return run.isEmpty() ? QString() : run.last();
}

bool writesOntoInput(const Job &job)
{
    if (job.input.isEmpty())
        return false;
    for (const QStringList &run : job.runs)
        if (!writesNoFile(run) && sameFile(job.input, runOutput(run)))
            return true;
    return false;
}
