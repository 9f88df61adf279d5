#include "scriptexport.h"

#include "batchfile.h"
#include "runfiles.h"

#include <algorithm>

using namespace Qt::StringLiterals;

QString shellQuoted(const QString &argument)
{
    QStringList lines = argument.split(u'\n');
    for (QString &line : lines)
        line = u'\'' + QString(line).replace(u"'"_s, u"'\\''"_s) + u'\'';
    return lines.join(u"\"$nl\""_s);
}

QByteArray batchScript(const QStringList &jobTexts)
{
    QList<Job> jobs;
    for (const QString &text : jobTexts)
        if (!text.isEmpty())
            jobs << Job::fromText(text);
    return batchScript(jobs);
}

namespace {
// The script line that runs a job's runs: one run alone, several as passes.
QString jobLine(const QList<QStringList> &runs)
{
    QString line;
    if (runs.size() == 1) {
        line += u"job ffmpeg"_s;
        for (const QString &argument : runs.first())
            line += u' ' + shellQuoted(argument);
    } else {
        line += u"job passes"_s;
        for (const QStringList &run : runs) {
            line += u' ' + QString::number(run.size() + 1) + u" ffmpeg"_s;
            for (const QString &argument : run)
                line += u' ' + shellQuoted(argument);
        }
    }
    // Standard input closed: the converter can never wait at a question.
    return line + u" </dev/null\n"_s;
}
} // namespace

QByteArray batchScript(const QList<Job> &jobs)
{
    QString script = uR"(#!/bin/sh
# Batchliste aus Quorvid: ein ffmpeg-Aufruf je Zeile "job ...".
# Das Skript macht nach einem fehlgeschlagenen Job weiter und endet mit
# Status 1, wenn ein Job fehlgeschlagen ist, sonst mit 0.
nl='
'
failed=0
job() {
    "$@"
    status=$?
    if [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        printf 'Fehler (Status %s): %s\n' "$status" "$4" >&2
    fi
}
# Mehrere Durchgänge eines Jobs: "passes N1 AUFRUF1... N2 AUFRUF2..." führt die
# Aufrufe (je N Wörter) nacheinander in einem eigenen temporären Ordner aus.
passes() {
    dir=$(mktemp -d) || return 1
    (
        cd "$dir" || exit 1
        while [ "$#" -gt 0 ]; do
            n=$1
            shift
            cmd=""
            i=0
            while [ "$i" -lt "$n" ]; do
                i=$((i + 1))
                eval "a$i=\$1"
                cmd="$cmd \"\$a$i\""
                shift
            done
            eval "$cmd" </dev/null || exit $?
        done
    )
    status=$?
    rm -rf "$dir"
    return $status
}
)"_s;
    // Jobs made to a size are not measured and made again here, as Quorvid does:
    // the script says when such a file missed its size.
    if (std::any_of(jobs.cbegin(), jobs.cend(), [](const Job &job) { return job.sizeLimit > 0; }))
        script += uR"sh(# Ein Job mit Zielgröße (in Byte): "oversize GRÖSSE DATEI" meldet eine Datei, die
# nicht kleiner als die Zielgröße geworden ist.
oversize() {
    if [ -f "$2" ] && [ "$(wc -c <"$2")" -ge "$1" ]; then
        printf 'Größer als die Zielgröße (%s Byte): %s\n' "$1" "$2" >&2
    fi
}
)sh"_s;
    // A limit: the runs that make the size follow only when the file made at the
    // quality reached it.
    if (std::any_of(jobs.cbegin(), jobs.cend(), [](const Job &job) { return !job.limitRuns.isEmpty(); }))
        script += uR"sh(# "atlimit GRÖSSE DATEI" gilt, wenn die Datei mindestens GRÖSSE Byte groß ist.
atlimit() {
    [ -f "$2" ] && [ "$(wc -c <"$2")" -ge "$1" ]
}
)sh"_s;
    // A job Quorvid refuses to run (it would write a file it reads, or what it
    // writes cannot be told) is not run by the script either: the script names it
    // and counts it as failed.
    QList<WriteVerdict> verdicts;
    for (const Job &job : jobs)
        verdicts << (job.isEmpty() ? WriteVerdict() : checkWrites(job, jobWorkFolder(job)));
    // Files that Quorvid makes before a job's first run (a join's list, subtitles
    // as UTF-8) the script does not make: such a job is named, not run half.
    for (qsizetype i = 0; i < jobs.size(); ++i)
        if (!verdicts[i].refused && !jobs[i].workFiles.isEmpty())
            verdicts[i] = {
                true, false,
                u"Dieser Job (verbundene Dateien oder Untertitel aus einer Datei) lässt sich nur in "
                u"Quorvid ausführen."_s};
    if (std::any_of(verdicts.cbegin(), verdicts.cend(), [](const WriteVerdict &v) { return v.refused; }))
        script +=
            uR"sh(# Ein Job, den Quorvid nicht startet: "refused GRUND" nennt ihn und zählt ihn als Fehler.
refused() {
    printf 'Verweigert: %s\n' "$1" >&2
    failed=$((failed + 1))
}
)sh"_s;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Job &job = jobs[i];
        if (job.isEmpty())
            continue;
        if (verdicts[i].refused) {
            const QString reason =
                job.input + u": "_s +
                (verdicts[i].sameAsInput ? u"Eingabe und Ausgabe sind dieselbe Datei"_s : verdicts[i].reason);
            script += u"refused "_s + shellQuoted(reason) + u'\n';
            continue;
        }
        script += jobLine(job.runs);
        if (!job.limitRuns.isEmpty())
            // Only after a quality run that succeeded: a half file of a failed one
            // says nothing about its size.
            script += u"if [ \"$status\" -eq 0 ] && atlimit %1 %2; then\n    "_s.arg(job.sizeLimit)
                          .arg(shellQuoted(job.output)) +
                      jobLine(job.limitRuns) + u"fi\n"_s;
        if (job.sizeLimit > 0)
            script += u"oversize %1 %2\n"_s.arg(job.sizeLimit).arg(shellQuoted(job.output));
    }
    script += uR"(if [ "$failed" -ne 0 ]; then
    printf '%s Job(s) fehlgeschlagen.\n' "$failed" >&2
    exit 1
fi
exit 0
)"_s;
    return script.toUtf8();
}
