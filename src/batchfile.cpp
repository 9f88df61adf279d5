#include "batchfile.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

bool caseInsensitiveLessThan(const QString &a, const QString &b)
{
    return a.toLower() < b.toLower();
}

QStringList readJobTexts(QIODevice &device)
{
    QTextStream in(&device);
    in.setAutoDetectUnicode(true);
    QStringList texts;
    QString line;
    while (in.readLineInto(&line))
        texts << line;
    return texts;
}

QByteArray batchFileContent(const QStringList &jobTexts)
{
    QByteArray content;
    for (const QString &text : jobTexts) {
        if (text.isEmpty())
            continue;
        content += text.toUtf8();
        content += '\n';
    }
    return content;
}

const QString extendedFormMarker = u"#QUORVID-BATCHLISTE 2"_s;
// The extended form of lists that hold a job with a size limit; the version
// before cannot run such a job as meant, so it is told the list is newer.
const QString sizeLimitFormMarker = u"#QUORVID-BATCHLISTE 3"_s;
// The extended form of lists that hold a join or a job with files made before its
// runs (subtitles from a file): versions before would run such a job wrongly.
const QString workFilesFormMarker = u"#QUORVID-BATCHLISTE 4"_s;

namespace {
// The version a first line names when it marks the extended form: -1 when it
// marks none (a plain list, whose first line is a job like every other).
int markedVersion(const QString &firstLine)
{
    static const QRegularExpression marker(u"^#QUORVID-BATCHLISTE ([0-9]{1,6})$"_s);
    const QRegularExpressionMatch match = marker.match(firstLine);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

const QString runsKey = u"runs"_s;
const QString sizeLimitKey = u"sizeLimit"_s;
// The runs that make the output to the size when the first ones wrote too much.
const QString limitRunsKey = u"limitRuns"_s;
const QString joinedKey = u"joined"_s;
const QString workFilesKey = u"workFiles"_s;
const QString inputSecondsKey = u"inputSeconds"_s;

bool hasWorkFiles(const Job &job)
{
    return !job.joinedInputs.isEmpty() || !job.workFiles.isEmpty() || job.inputSeconds > 0;
}

QJsonArray workFileArray(const QList<WorkFile> &files)
{
    QJsonArray array;
    for (const WorkFile &file : files) {
        QJsonObject object{{u"name"_s, file.name}};
        if (!file.source.isEmpty())
            object.insert(u"source"_s, file.source);
        else
            object.insert(u"content"_s, QString::fromUtf8(file.content));
        array.append(object);
    }
    return array;
}

// The join, the work files and the length of a job's line into the job;
// false when any of them is damaged.
bool readWorkFiles(const QJsonObject &object, Job &job)
{
    const QJsonValue joined = object.value(joinedKey);
    const QJsonValue files = object.value(workFilesKey);
    const QJsonValue seconds = object.value(inputSecondsKey);
    if ((!joined.isUndefined() && !joined.isArray()) || (!files.isUndefined() && !files.isArray()) ||
        (!seconds.isUndefined() && (!seconds.isDouble() || seconds.toDouble() < 0)))
        return false;
    for (const QJsonValue &input : joined.toArray()) {
        if (!input.isString() || input.toString().isEmpty())
            return false;
        job.joinedInputs << input.toString();
    }
    for (const QJsonValue &value : files.toArray()) {
        const QJsonObject file = value.toObject();
        WorkFile work{file.value(u"name"_s).toString(), file.value(u"source"_s).toString(),
                      file.value(u"content"_s).toString().toUtf8()};
        if (!value.isObject() || work.name.isEmpty())
            return false;
        job.workFiles << work;
    }
    job.inputSeconds = seconds.toDouble(0);
    return true;
}

QJsonArray runArray(const QList<QStringList> &runs)
{
    QJsonArray array;
    for (const QStringList &run : runs)
        array.append(QJsonArray::fromStringList(run));
    return array;
}

// Runs from their JSON form: nothing unless every run is a non-empty list of texts.
std::optional<QList<QStringList>> runsOf(const QJsonArray &runValues)
{
    QList<QStringList> runs;
    for (const QJsonValue &runValue : runValues) {
        if (!runValue.isArray() || runValue.toArray().isEmpty())
            return std::nullopt;
        QStringList run;
        for (const QJsonValue &argument : runValue.toArray()) {
            if (!argument.isString())
                return std::nullopt;
            run << argument.toString();
        }
        runs << run;
    }
    return runs;
}
} // namespace

QByteArray extendedJobLine(const Job &job)
{
    const QJsonArray runs = runArray(job.runs);
    // Compact JSON escapes quotes, backslashes and line breaks, so every job stays
    // on its one line whatever its names hold. A job with a size limit is an
    // object holding its runs and the limit (and, for a limit, the runs made only
    // when the first ones wrote too much); every other job is its runs alone.
    if (job.sizeLimit > 0 || hasWorkFiles(job)) {
        QJsonObject object{{runsKey, runs}};
        if (job.sizeLimit > 0)
            object.insert(sizeLimitKey, double(job.sizeLimit));
        if (!job.limitRuns.isEmpty())
            object.insert(limitRunsKey, runArray(job.limitRuns));
        if (!job.joinedInputs.isEmpty())
            object.insert(joinedKey, QJsonArray::fromStringList(job.joinedInputs));
        if (!job.workFiles.isEmpty())
            object.insert(workFilesKey, workFileArray(job.workFiles));
        if (job.inputSeconds > 0)
            object.insert(inputSecondsKey, job.inputSeconds);
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
    return QJsonDocument(runs).toJson(QJsonDocument::Compact);
}

std::optional<Job> parseExtendedJobLine(QStringView line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
    QJsonArray runValues;
    qint64 sizeLimit = 0;
    QList<QStringList> limitRuns;
    Job extras;
    if (document.isObject()) {
        const QJsonValue limit = document.object().value(sizeLimitKey);
        if (!readWorkFiles(document.object(), extras))
            return std::nullopt;
        // Whole bytes, at least one, within what a double holds exactly; only a
        // job with a join or work files may have none.
        if ((!limit.isUndefined() || !hasWorkFiles(extras)) &&
            (!limit.isDouble() || limit.toDouble() < 1 || limit.toDouble() > 9e15 ||
             limit.toDouble() != std::floor(limit.toDouble())))
            return std::nullopt;
        sizeLimit = qint64(limit.toDouble(0));
        runValues = document.object().value(runsKey).toArray();
        if (const QJsonValue limited = document.object().value(limitRunsKey); !limited.isUndefined()) {
            const std::optional<QList<QStringList>> runs = runsOf(limited.toArray());
            if (!limited.isArray() || limited.toArray().isEmpty() || !runs)
                return std::nullopt;
            limitRuns = *runs;
        }
    } else if (document.isArray()) {
        runValues = document.array();
    }
    if (runValues.isEmpty())
        return std::nullopt;
    std::optional<QList<QStringList>> runs = runsOf(runValues);
    if (!runs)
        return std::nullopt;
    Job job = Job::fromRuns(*std::move(runs));
    job.sizeLimit = sizeLimit;
    job.limitRuns = limitRuns;
    job.joinedInputs = extras.joinedInputs;
    job.workFiles = extras.workFiles;
    job.inputSeconds = extras.inputSeconds;
    // A join reads its first file, not the list that names them.
    if (!job.joinedInputs.isEmpty())
        job.input = job.joinedInputs.first();
    return job;
}

BatchList readBatchList(QIODevice &device)
{
    const QStringList lines = readJobTexts(device);
    BatchList list;
    const int version = lines.isEmpty() ? -1 : markedVersion(lines.first());
    if (version < 0) {
        list.jobs.reserve(lines.size());
        for (const QString &line : lines)
            list.jobs << Job::fromText(line);
        return list;
    }
    if (version > 4) {
        list.error =
            QCoreApplication::translate(
                "MainWindow", "Die Batchdatei wurde von einer neueren Quorvid-Version in der Form %1 "
                              "gespeichert, die diese Version nicht lesen kann. Bitte öffnen Sie sie "
                              "mit einer neueren Version von Quorvid.")
                .arg(version);
        return list;
    }
    // A marker with a form number no version wrote is no job to run.
    if (version < 2) {
        list.error =
            QCoreApplication::translate(
                "MainWindow", "Die Batchdatei beginnt mit der Form %1, die Quorvid nicht kennt; die "
                              "Datei wurde nicht geladen. Bitte prüfen Sie, ob die Datei beschädigt ist.")
                .arg(version);
        return list;
    }
    list.extended = true;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        const std::optional<Job> job = parseExtendedJobLine(lines[i]);
        if (!job) {
            list.jobs.clear();
            list.error =
                QCoreApplication::translate("MainWindow", "Zeile %1 der Batchdatei ist beschädigt; die Datei "
                                                          "wurde nicht geladen.")
                    .arg(i + 1);
            return list;
        }
        list.jobs << *job;
    }
    return list;
}

QByteArray batchListContent(const QList<Job> &jobs, bool *extended)
{
    const bool plain = std::all_of(jobs.cbegin(), jobs.cend(),
                                   [](const Job &job) { return job.isEmpty() || job.fitsTextForm(); });
    if (extended)
        *extended = !plain;
    if (plain) {
        QStringList texts;
        texts.reserve(jobs.size());
        for (const Job &job : jobs)
            texts << (job.isEmpty() ? QString() : jobText(job.runs.first()));
        return batchFileContent(texts);
    }
    const bool limited =
        std::any_of(jobs.cbegin(), jobs.cend(), [](const Job &job) { return job.sizeLimit > 0; });
    const bool worked = std::any_of(jobs.cbegin(), jobs.cend(), hasWorkFiles);
    QByteArray content = (worked    ? workFilesFormMarker
                          : limited ? sizeLimitFormMarker
                                    : extendedFormMarker)
                             .toUtf8() +
                         '\n';
    for (const Job &job : jobs) {
        if (job.isEmpty())
            continue;
        content += extendedJobLine(job);
        content += '\n';
    }
    return content;
}

QString batchFileName(const QString &chosen)
{
    return chosen.endsWith(u".btc"_s) ? chosen : chosen + u".btc"_s;
}
