#include "workfiles.h"

#include <QDir>
#include <QSaveFile>

#include "subtitlefiles.h"

using namespace Qt::StringLiterals;

QString makeWorkFiles(const QList<WorkFile> &files, const QString &folder)
{
    for (const WorkFile &file : files) {
        QByteArray content = file.content;
        if (!file.source.isEmpty()) {
            QString error;
            content = utf8SubtitleText(file.source, &error);
            if (!error.isEmpty())
                return error;
        }
        // Only plain names: a work file never leaves the private folder.
        if (file.name.isEmpty() || file.name.contains(u'/') || file.name == u".."_s)
            return u"Der Job nennt eine Arbeitsdatei mit dem ungültigen Namen „%1“."_s.arg(file.name);
        QSaveFile out(QDir(folder).filePath(file.name));
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.flush() ||
            !out.commit())
            return u"Die Arbeitsdatei %1 konnte nicht geschrieben werden (%2). Bitte prüfen Sie den freien "
                   u"Platz im temporären Ordner."_s.arg(QDir::toNativeSeparators(out.fileName()),
                                                        out.errorString());
    }
    return {};
}
