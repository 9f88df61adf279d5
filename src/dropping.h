// Files that reach the window from outside its file dialogs: dropped addresses
// and names given on the command line, turned into local media files; and the
// object that takes file drops for a widget.
#ifndef DROPPING_H
#define DROPPING_H

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

// What a drop or a command line names, sorted out.
struct FileSelection
{
    // Files to take: those named directly, whatever their suffix (as "All Files"
    // in the dialogs), and the media files found in named folders, sorted as
    // the batch list sorts chosen files.
    QStringList files;
    // Local names that do not exist or cannot be read.
    QStringList unusable;
    // Media files and folders found in folders whose names are no valid UTF-8:
    // they cannot be handed to the converter, so they are named (the odd bytes
    // shown as "\xE9") instead of being left out in silence. Also files in those
    // folders that are no regular files (named pipes, devices), with the reason.
    QStringList unnamed;
    QStringList irregular;
    // Addresses that are no local files (web, network shares).
    QStringList remote;
    // True when a folder was among the names: its files always become jobs.
    bool folderGiven = false;
};

FileSelection selectFromUrls(const QList<QUrl> &urls);
// Names as typed on a command line; relative ones count from the current folder.
// A folder `skipFolder` met inside a named folder is not searched (the outputs of
// the run go there). The same file named twice is taken once.
FileSelection selectFromPaths(const QStringList &paths, const QString &skipFolder = QString());

// Suffixes of the video and audio files found in folders, in lower case.
const QStringList &videoSuffixes();
const QStringList &audioSuffixes();
bool isMediaFileName(const QString &name);

// The filter of the media file dialogs: the video entry, an audio entry, then
// "All Files".
QString mediaDialogFilter();

// Takes file drops for one widget: accepts drags that carry addresses and hands
// the dropped ones to a function, once the drop itself has ended, so that a box
// shown for them never holds up the program the files came from.
class FileDropTarget : public QObject
{
public:
    using Taker = std::function<void(const QList<QUrl> &)>;
    FileDropTarget(QWidget *widget, Taker take);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Taker m_take;
};

#endif
