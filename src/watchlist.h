// The folders the window watches, kept in the program's settings
// (~/.config/quorvid/quorvid.conf, group "watch") so that they resume at the
// next start: per folder whether its subfolders count, the preset, the output
// folder, and whether it is paused.
#ifndef WATCHLIST_H
#define WATCHLIST_H

#include <QList>
#include <QString>

class QSettings;

struct WatchEntry
{
    QString folder;
    bool recursive = false;
    QString preset;
    QString outputFolder;
    bool paused = false;

    bool operator==(const WatchEntry &other) const
    {
        return folder == other.folder && recursive == other.recursive && preset == other.preset &&
               outputFolder == other.outputFolder && paused == other.paused;
    }
};

// Why this entry cannot be watched (German), or empty: a folder that is not
// there, no preset, no output folder, an output folder that is the watched
// folder or holds it, a folder watched already by another entry.
QString watchEntryProblem(const WatchEntry &entry, const QList<WatchEntry> &others);

// The list as kept, and keeping it; false when the settings file could not be
// written.
QList<WatchEntry> readWatchList(QSettings &settings);
bool writeWatchList(QSettings &settings, const QList<WatchEntry> &entries);

// The same in the program's own settings file.
QList<WatchEntry> readWatchList();
bool writeWatchList(const QList<WatchEntry> &entries);

#endif
