// The window's subtitle choices made into settings, without widgets: the
// subtitle files added to the opened file (each kept as a track or not), the
// track burned into the picture, what other files' jobs take of them, and what
// is asked before a start.
#ifndef SUBTITLECHOICE_H
#define SUBTITLECHOICE_H

#include <QList>
#include <QString>
#include <QStringList>

#include "arguments.h"
#include "mediafacts.h"

// A subtitle file added in the window; `kept` is its tick in the track list.
struct AddedEntry
{
    AddedSubtitle subtitle;
    bool kept = true;
};

// What the job takes of the entries: every kept file, and the burned one even
// when unticked (it is drawn into the picture, not written as a track). `burn`
// counts added files by their place among the entries.
QList<AddedSubtitle> jobSubtitles(const QList<AddedEntry> &entries, const BurnIn &burn);
// The burn choice for the job: an added file counted in jobSubtitles' list.
BurnIn jobBurnIn(const QList<AddedEntry> &entries, const BurnIn &burn);

// The settings for a job of `source`: the added files and the burned track belong
// to the opened file; another file's job has none of them but, when a preset
// says so, takes the subtitle files beside it (refused files are left out).
PanelSettings subtitlesForSource(PanelSettings settings, bool openedFile, const QString &source);

// What the settings themselves cannot do, asked with the compatibility question
// before a start: evening out copied sound, added files the target cannot hold,
// a burned track that is no subtitle track. One line each.
QStringList settingsProblems(const PanelSettings &settings, const MediaFacts &facts,
                             const QString &container);

// The burn choice's text for a subtitle stream of the source: "Spur 3: subrip, ger, Titel".
QString burnChoiceText(const StreamFacts &stream);

// A typed language made the tag written into the output: "de", "Deutsch" and
// "ger" all give "ger"; empty stays empty. `ok` is false for a name not known.
QString typedLanguage(const QString &typed, bool *ok);

#endif
