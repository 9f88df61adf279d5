#include "wholeoutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>

#include "outputcheck.h"
#include "timerange.h"

using namespace Qt::StringLiterals;

namespace {
// ffprobe's JSON of a file, or empty when it cannot be read in time.
QByteArray probe(const QString &file, int timeLimitMs)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(u"ffprobe"_s, outputProbeArguments(file));
    if (!process.waitForFinished(timeLimitMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return process.exitStatus() == QProcess::NormalExit ? process.readAllStandardOutput() : QByteArray();
}

// Options that end a run before its input ends: its length cannot be told.
bool endsEarly(const QStringList &run)
{
    static const QStringList limits{u"-frames"_s, u"-vframes"_s, u"-aframes"_s, u"-fs"_s, u"-update"_s};
    return std::any_of(run.begin(), run.end(), [](const QString &argument) {
        return std::any_of(limits.begin(), limits.end(), [&](const QString &limit) {
            return argument == limit || argument.startsWith(limit + u':');
        });
    });
}
} // namespace

double expectedOutputSeconds(const Job &job, const QByteArray &inputProbeJson)
{
    if (job.runs.isEmpty() || endsEarly(job.runs.last()))
        return 0;
    const QJsonObject probed = QJsonDocument::fromJson(inputProbeJson).object();
    double longest = 0;
    for (const QJsonValue &stream : probed[u"streams"_s].toArray()) {
        const QString type = stream[u"codec_type"_s].toString();
        if (type == u"video"_s || type == u"audio"_s)
            longest = std::max(longest, stream[u"duration"_s].toString().toDouble());
    }
    if (longest <= 0)
        longest = probed[u"format"_s].toObject()[u"duration"_s].toString().toDouble();
    const TimeRange part = rangeOfRun(job.runs.last());
    const double from = part.from.value_or(0);
    double seconds = std::max(0.0, longest - from);
    if (const std::optional<double> length = part.length())
        seconds = longest > 0 ? std::min(seconds, *length) : *length;
    return seconds;
}

QString wholeOutputFault(const Job &job, int timeLimitMs)
{
    const QByteArray output = probe(job.output, timeLimitMs);
    if (output.isEmpty())
        return u"Die Ausgabedatei ist unvollständig: ffprobe kann sie nicht lesen."_s;
    OutputExpectation expected;
    expected.seconds = expectedOutputSeconds(job, probe(job.input, timeLimitMs));
    return checkOutput(output, expected);
}
