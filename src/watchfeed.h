// The window's watched folders: "Ordner überwachen…" edits them, they resume at
// the next start, and what arrives becomes jobs at the end of the batch list
// (marked as coming from a watched folder) that run with the list's settings;
// each job's end goes back to the journal.
#ifndef WATCHFEED_H
#define WATCHFEED_H

#include <QHash>
#include <QObject>

#include "arrivaljobs.h"
#include "watching.h"

class JobList;
class JobRunner;
class QFont;
class QWidget;

class WatchFeed : public QObject
{
    Q_OBJECT

public:
    // `list` and `runner` are the window's batch list and batch runner.
    WatchFeed(JobList &list, JobRunner &runner, QFont &font, QWidget *window);

    // Starts watching the folders kept in the settings.
    void resume();
    // The dialog: the folders, their presets and output folders.
    void editFolders(const QString &startFolder);

signals:
    // Jobs were added at the end of the list while no batch runs: the window
    // starts the list.
    void jobsAdded();
    // What the status bar should say.
    void message(const QString &text);

private:
    void add(const WatchArrival &arrival, const Job &job);
    void jobEnded(int index, const JobEnd &end);
    // Arrivals whose rows were removed before they ran are done with.
    void rowsRemoved();
    QList<Preset> presets() const;

    JobList &m_list;
    JobRunner &m_runner;
    QFont &m_font;
    QWidget *m_window;
    Watching m_watching;
    ArrivalJobs m_arrivals{m_watching};
    // The arrivals in the list, by the output their job writes.
    QHash<QString, WatchArrival> m_listed;
};

#endif
