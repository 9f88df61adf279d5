#include "failurereports.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "batchqueue.h"
#include "jobrunner.h"
#include "presets.h"

using namespace Qt::StringLiterals;

namespace {
// How many names a box lists before "… und N weitere": at 12 points a few lines
// stay well inside the smallest screens.
constexpr int namesShown = 5;
// A file name or folder longer than this is shortened in its middle, so that a
// box never grows wider than a screen.
constexpr int longestName = 60;

QString tr(const char *text)
{
    return QCoreApplication::translate("FailureReports", text);
}

QString shortened(const QString &name)
{
    if (name.size() <= longestName)
        return name;
    const int half = (longestName - 1) / 2;
    return name.left(half) + u'…' + name.right(half);
}

QString moreLine(qsizetype more)
{
    return tr("… und %1 weitere").arg(more);
}
} // namespace

QString namedCause(const JobEnd &end)
{
    if (end.outcome != RunOutcome::Error || end.reason.isEmpty() || end.reason == lastLine(end.details))
        return {};
    return end.reason;
}

QString namedCauseBoxText(const QString &cause)
{
    return tr("<b>Die Umwandlung ist fehlgeschlagen.</b><br><br>%1").arg(cause.toHtmlEscaped());
}

QString unreadFilesText(const QList<std::pair<QString, QString>> &failures)
{
    QStringList lines;
    for (const auto &[file, reason] : failures.mid(0, namesShown))
        lines << u"<b>%1</b>: %2"_s.arg(shortened(QFileInfo(file).fileName()).toHtmlEscaped(),
                                        reason.isEmpty() ? tr("Der Grund ist nicht bekannt.")
                                                         : reason.toHtmlEscaped());
    if (failures.size() > namesShown)
        lines << moreLine(failures.size() - namesShown);
    return lines.join(u"<br>"_s);
}

PresetProblemReport presetProblemReport(const QList<PresetProblem> &problems, const QString &folder)
{
    PresetProblemReport report;
    const QString shownFolder = shortened(QDir::toNativeSeparators(folder)).toHtmlEscaped();
    if (problems.size() == 1)
        report.text = tr("<b>Eine Datei im Ordner %1 ist keine lesbare Vorlage.</b>").arg(shownFolder);
    else
        report.text = tr("<b>%1 Dateien im Ordner %2 sind keine lesbaren Vorlagen.</b>")
                          .arg(problems.size())
                          .arg(shownFolder);
    QStringList names;
    for (const PresetProblem &problem : problems.mid(0, namesShown))
        names << shortened(QFileInfo(problem.file).fileName()).toHtmlEscaped();
    if (problems.size() > namesShown)
        names << moreLine(problems.size() - namesShown);
    report.text += u"<br><br>"_s + names.join(u"<br>"_s) + u"<br><br>"_s +
                   tr("Quorvid hat sie übergangen und verändert sie nicht. Die Gründe stehen in den "
                      "Details; bitte reparieren oder entfernen Sie diese Dateien.");
    QStringList details{QDir::toNativeSeparators(folder)};
    for (const PresetProblem &problem : problems)
        details << QFileInfo(problem.file).fileName() + u": "_s + problem.reason;
    report.details = details.join(u"\n"_s);
    return report;
}

QStringList presetProblemSet(const QList<PresetProblem> &problems)
{
    QStringList names;
    for (const PresetProblem &problem : problems)
        names << QFileInfo(problem.file).fileName();
    std::sort(names.begin(), names.end());
    return names;
}
