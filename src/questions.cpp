#include "questions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "compatibility.h"
#include "mediainfo.h"
#include "messagebox.h"
#include "runfiles.h"
#include "unfinished.h"

using namespace Qt::StringLiterals;

namespace {
// More lines would hide the question; the same reasons repeat for many jobs.
constexpr int maxReasonsShown = 8;
} // namespace

bool confirmCompatible(const QList<Job> &jobs, bool forBatch, const InfoCollector &infoCollector, QFont &font,
                       const QStringList &settingsProblems, bool burnIn)
{
    // Every run of every job is judged: a first pass as much as the last.
    QList<QStringList> argumentLists;
    // The burned subtitles are asked about for the run that writes the output,
    // not for a run that only measures.
    QList<bool> writesOutput;
    for (const Job &job : jobs) {
        argumentLists += job.runs;
        for (qsizetype run = 0; run < job.runs.size(); ++run)
            writesOutput << (run + 1 == job.runs.size());
    }
    // The information run describes the file opened last; other inputs are judged
    // by their settings alone.
    const SourceStreams opened = parseStreams(infoCollector.lines());
    QStringList reasons;
    for (const QString &problem : settingsProblems)
        if (!problem.isEmpty() && !reasons.contains(problem.toHtmlEscaped()))
            reasons << problem.toHtmlEscaped();
    for (qsizetype i = 0; i < argumentLists.size(); ++i) {
        const QStringList &arguments = argumentLists[i];
        const bool described = !infoCollector.file().isEmpty() && arguments.value(2) == infoCollector.file();
        OutputFacts facts = outputFacts(arguments, described ? opened : SourceStreams());
        facts.burnIn = burnIn && writesOutput[i];
        const QList<Problem> problems = findProblems(facts);
        for (const Problem &problem : problems) {
            const QString line = QString(problem.reason + u' ' + problem.instead).toHtmlEscaped();
            if (!reasons.contains(line))
                reasons << line;
        }
    }
    if (reasons.isEmpty())
        return true;
    const qsizetype hidden = reasons.size() - maxReasonsShown;
    if (hidden > 0) {
        reasons.resize(maxReasonsShown);
        reasons << QCoreApplication::translate("MainWindow", "… und %n weitere Gründe.", nullptr,
                                               int(hidden));
    }
    const QString question =
        forBatch ? QCoreApplication::translate(
                       "MainWindow", "Sollen die Jobs trotzdem in die Batchliste aufgenommen werden?")
                 : QCoreApplication::translate("MainWindow", "Soll die Konvertierung trotzdem starten?");
    return askYesNo(
        font, QCoreApplication::translate(
                  "MainWindow", "<b>Diese Einstellungen kann ffmpeg nicht umsetzen:</b><br><br>%1<br><br>%2")
                  .arg(reasons.join(u"<br><br>"_s), question));
}

bool confirmOutputs(const QList<Job> &jobs, QFont &font,
                    const std::function<void(qsizetype, const QString &)> &refused)
{
    int existing = 0;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Job &job = jobs[i];
        const WriteVerdict verdict = checkWrites(job, jobWorkFolder(job));
        if (verdict.sameAsInput) {
            refused(i, QCoreApplication::translate("MainWindow", "Eingabe und Ausgabe sind dieselbe Datei"));
            showErrorBox(font, QCoreApplication::translate(
                                   "MainWindow",
                                   "<b>Eingabe und Ausgabe sind dieselbe Datei!</b><br><br>%1<br><br>"
                                   "Der Job würde seine Eingabe überschreiben. Bitte löschen Sie ihn.")
                                   .arg(QDir::toNativeSeparators(job.input).toHtmlEscaped()));
            return false;
        }
        if (verdict.refused) {
            refused(i, verdict.reason);
            showErrorBox(
                font,
                QCoreApplication::translate(
                    "MainWindow",
                    "<b>Ein Job wird nicht gestartet!</b><br><br>%1<br><br>Job: %2<br><br>Quorvid "
                    "startet keinen Lauf, der eine Datei überschreiben könnte, die der Job liest. Bitte "
                    "ändern oder löschen Sie den Job.")
                    .arg(verdict.reason.toHtmlEscaped(), job.text().toHtmlEscaped()));
            return false;
        }
        if (QFileInfo::exists(job.output))
            ++existing;
    }
    if (existing == 0)
        return true;
    return askYesNo(font, QCoreApplication::translate(
                              "MainWindow",
                              "%n Ausgabedatei(en) der Batchliste existieren bereits.<br><br>Sollen sie "
                              "überschrieben werden?",
                              nullptr, existing));
}
