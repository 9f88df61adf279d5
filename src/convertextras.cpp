#include "convertextras.h"

#include <QDir>

#include "join.h"
#include "makejob.h"
#include "subtitlefiles.h"

using namespace Qt::StringLiterals;

namespace {
QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}
} // namespace

QStringList inGivenOrder(const QStringList &files, const QStringList &given)
{
    QStringList ordered;
    for (const QString &name : given) {
        const QString path = QDir::cleanPath(QDir::current().absoluteFilePath(name));
        for (const QString &file : files)
            if (!ordered.contains(file) && (file == path || file.startsWith(path + u'/')))
                ordered << file;
    }
    for (const QString &file : files)
        if (!ordered.contains(file))
            ordered << file;
    return ordered;
}

bool convertNeedsFacts(const PanelSettings &settings, bool join, bool subtitles)
{
    return dependsOnSource(settings) || join || subtitles || settings.subtitlesBeside;
}

QString convertOptionsRefusal(qsizetype files, bool join, const QString &subtitleFile)
{
    if (!subtitleFile.isEmpty() && join)
        return u"--subtitles gilt nicht zusammen mit --join. Bitte verbinden Sie die Dateien zuerst."_s;
    if (!subtitleFile.isEmpty() && files != 1)
        return u"--subtitles gilt nur für genau eine Datei; für mehrere Dateien nimmt eine Vorlage mit "
               u"„Untertitel daneben“ die Untertiteldatei neben jeder Datei."_s;
    if (join && files < 2)
        return u"--join verbindet mindestens zwei Dateien; bitte nennen Sie sie in der gewünschten Reihenfolge."_s;
    if (!subtitleFile.isEmpty())
        return subtitleFileRefusal(subtitleFile);
    return {};
}

ConvertJobs convertJobs(const PanelSettings &settings, const QStringList &files, const QStringList &outputs,
                        const QHash<QString, MediaFacts> &facts, const QString &subtitleFile,
                        const QString &joinOutput)
{
    ConvertJobs made;
    if (!joinOutput.isEmpty()) {
        QList<MediaFacts> known;
        for (const QString &file : files)
            known << facts.value(file);
        if (const QString refusal = joinRefusal(settings, files, known); !refusal.isEmpty()) {
            made.messages << refusal;
            made.refused = int(files.size());
            return made;
        }
        // No one to ask: every audio track is kept, missing ones are silence.
        if (joinQuestion(files, known).ask)
            made.messages
                << u"Die Dateien haben unterschiedlich viele Tonspuren; fehlende Tonspuren werden mit "
                   u"Stille aufgefüllt."_s;
        made.jobs << joinJob(settings, files, known, joinOutput, JoinAudio::AllTracks);
        return made;
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        PanelSettings own = settings;
        const QStringList subtitles =
            !subtitleFile.isEmpty() ? QStringList{subtitleFile}
                                    : (settings.subtitlesBeside ? subtitlesBeside(files[i]) : QStringList());
        for (const QString &subtitle : subtitles) {
            if (const QString refusal = subtitleFileRefusal(subtitle); !refusal.isEmpty()) {
                made.messages << shown(files[i]) + u": "_s + refusal;
                continue;
            }
            own.subtitleFiles << addedSubtitle(subtitle);
            made.messages << u"%1: Untertitel aus %2 (%3)"_s.arg(shown(files[i]), shown(subtitle),
                                                                 own.subtitleFiles.last().language.isEmpty()
                                                                     ? u"Sprache unbekannt"_s
                                                                     : own.subtitleFiles.last().language);
        }
        const MediaFacts known = facts.value(files[i]);
        const QString refusal = jobRefusal(own, known, outputs[i]);
        if (!refusal.isEmpty()) {
            made.messages << shown(files[i]) + u": "_s + refusal;
            ++made.refused;
            continue;
        }
        if (const QString caution = sizeCaution(own, known, outputs[i]); !caution.isEmpty())
            made.messages << shown(files[i]) + u": "_s + caution;
        made.jobs << makeJob(own, files[i], outputs[i], known);
    }
    return made;
}
