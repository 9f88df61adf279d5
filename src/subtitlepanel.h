// The window's subtitle files and burn choice: "Untertitel hinzufügen…" beside
// the track list, the files' rows in it, the files beside an opened video
// offered at once, and "In das Bild einbrennen". It owns the added files of the
// opened file; the panel's settings read them from here.
#ifndef SUBTITLEPANEL_H
#define SUBTITLEPANEL_H

#include <QList>
#include <QObject>
#include <QStringList>

#include "arguments.h"
#include "mediafacts.h"
#include "subtitlechoice.h"

class QFont;
class QWidget;
namespace Ui {
class MainWindow;
}

class SubtitlePanel : public QObject
{
    Q_OBJECT

public:
    SubtitlePanel(Ui::MainWindow &form, QFont &font, QWidget *window);

    // The added files and the burned track, into the panel's settings.
    void readInto(PanelSettings &settings) const;
    // Another file was opened: its added files and burn choice go, and the
    // subtitle files beside it are offered (once the opening is done).
    void opened(const QString &video);
    // What the look found in the opened file: its subtitle tracks can be burned.
    void showFacts(const MediaFacts &facts);
    // Asks at once whether the subtitle files beside the video are added.
    void offerBeside(const QString &video);
    // Adds the files as subtitle tracks; a refused file is named in a box.
    void add(const QStringList &paths);

signals:
    // The files or the burn choice changed: the track plan is shown anew.
    void changed();
    // What the status bar should say.
    void message(const QString &text);

private:
    void forget();
    void showRow(bool video);
    void chooseFiles();
    void edited(int index, bool kept, const QString &language, const QString &title);
    void showEntries();
    void fillBurnChoice();
    BurnIn chosenBurn() const;

    Ui::MainWindow &m_form;
    QFont &m_font;
    QWidget *m_window;
    QList<AddedEntry> m_entries;
    QList<StreamFacts> m_sourceSubtitles;
    bool m_filling = false;
};

#endif
