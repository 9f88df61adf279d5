#include "job.h"

#include <QRegularExpression>

#include "arguments.h"

using namespace Qt::StringLiterals;

namespace {
QString inputOf(const QStringList &run)
{
    const qsizetype at = run.indexOf(u"-i"_s);
    return at >= 0 ? run.value(at + 1) : QString();
}
} // namespace

QString jobText(const QStringList &arguments)
{
    return arguments.join(u',');
}

QStringList jobArguments(const QString &jobText)
{
    return jobText.split(u',');
}

std::optional<double> jobFrameRate(const QString &jobText)
{
    static const QRegularExpression rate(u"-r,[2-3][0-9]"_s);
    const QRegularExpressionMatch match = rate.match(jobText);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured().mid(3, 2).toDouble();
}

QString jobInput(const QString &jobText)
{
    return jobText.section(u',', 2, 2);
}

QString jobOutput(const QString &jobText)
{
    return jobText.section(u',', -1);
}

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

QStringList Job::readsBesideRuns() const
{
    QStringList reads = joinedInputs;
    for (const WorkFile &file : workFiles)
        if (!file.source.isEmpty())
            reads << file.source;
    return reads;
}

bool Job::fitsTextForm() const
{
    if (runs.size() != 1 || sizeLimit > 0 || !joinedInputs.isEmpty() || !workFiles.isEmpty() ||
        inputSeconds > 0)
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

bool writesNoFile(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return true;
    const QString &output = arguments.last();
    if (output == u"-"_s || output.startsWith(u"pipe:"_s) || output == u"/dev/null"_s)
        return true;
    const qsizetype format = arguments.lastIndexOf(u"-f"_s, arguments.size() - 2);
    return format >= 0 && format > arguments.lastIndexOf(u"-i"_s) && arguments.value(format + 1) == u"null"_s;
}
