#include "subtitlechoice.h"

#include <QCoreApplication>

#include "loudness.h"
#include "subtitlefiles.h"
#include "subtitlejob.h"

using namespace Qt::StringLiterals;

namespace {
bool burnsEntry(const BurnIn &burn, int index)
{
    return burn.from == BurnIn::From::Added && burn.index == index;
}
} // namespace

QList<AddedSubtitle> jobSubtitles(const QList<AddedEntry> &entries, const BurnIn &burn)
{
    QList<AddedSubtitle> taken;
    for (int i = 0; i < int(entries.size()); ++i)
        if (entries[i].kept || burnsEntry(burn, i))
            taken << entries[i].subtitle;
    return taken;
}

BurnIn jobBurnIn(const QList<AddedEntry> &entries, const BurnIn &burn)
{
    if (burn.from != BurnIn::From::Added)
        return burn;
    if (burn.index < 0 || burn.index >= entries.size())
        return {};
    // Its place among the files the job takes.
    int place = 0;
    for (int i = 0; i < burn.index; ++i)
        place += entries[i].kept ? 1 : 0;
    return {BurnIn::From::Added, place};
}

PanelSettings subtitlesForSource(PanelSettings settings, bool openedFile, const QString &source)
{
    if (openedFile)
        return settings;
    settings.subtitleFiles.clear();
    settings.burnIn = {};
    if (settings.subtitlesBeside)
        for (const QString &file : subtitlesBeside(source))
            if (subtitleFileRefusal(file).isEmpty())
                settings.subtitleFiles << addedSubtitle(file);
    return settings;
}

QStringList settingsProblems(const PanelSettings &settings, const MediaFacts &facts, const QString &container)
{
    QStringList lines;
    if (const QString loudness = loudnessCopyProblem(settings); !loudness.isEmpty())
        lines << loudness;
    for (const Problem &problem : subtitleProblems(settings, facts, container.toLower()))
        lines << problem.reason + u' ' + problem.instead;
    return lines;
}

QString burnChoiceText(const StreamFacts &stream)
{
    QStringList parts{stream.codec};
    if (!stream.language.isEmpty())
        parts << stream.language;
    if (!stream.title.isEmpty())
        parts << stream.title;
    parts.removeAll(QString());
    return QCoreApplication::translate("Subtitles", "Spur %1: %2").arg(stream.index).arg(parts.join(u", "_s));
}

QString typedLanguage(const QString &typed, bool *ok)
{
    const QString text = typed.trimmed();
    const QString tag = text.isEmpty() ? QString() : languageTag(text);
    *ok = text.isEmpty() || !tag.isEmpty();
    return tag;
}
