// The dialog behind "Ordner überwachen…": the watched folders listed, added
// (folder, with subfolders or not, preset, output folder), paused, resumed and
// removed. It edits a list value and nothing else; the window keeps the list
// (writeWatchList) and hands it to its Watching when the dialog is accepted.
#ifndef WATCHDIALOG_H
#define WATCHDIALOG_H

#include <QDialog>
#include <QList>
#include <QStringList>

#include "ui_watchdialog.h"
#include "watchlist.h"

class WatchDialog : public QDialog, private Ui::WatchDialog
{
    Q_OBJECT

public:
    // `presets` are the names offered (the window's preset box), the first
    // chosen by default; `startFolder` is where the folder choosers open.
    WatchDialog(const QList<WatchEntry> &entries, const QStringList &presets, const QString &startFolder,
                QWidget *parent = nullptr);

    QList<WatchEntry> entries() const { return m_entries; }

private slots:
    void chooseFolder();
    void chooseOutput();
    void addEntry();
    void togglePause();
    void removeEntry();
    void selectionChanged();

private:
    void showEntries();

    QList<WatchEntry> m_entries;
    QString m_startFolder;
};

#endif
