// The dialog behind "Dateien verbinden…": the files in the order they are
// joined (added, removed, moved up and down), looked at when the user goes on,
// refused with the reason or asked about differing audio tracks. The window
// makes the one job of the batch list from what it chose (joinedJob).
#ifndef JOINDIALOG_H
#define JOINDIALOG_H

#include <QDialog>
#include <QHash>
#include <QList>
#include <QStringList>

#include <optional>

#include "arguments.h"
#include "job.h"
#include "join.h"
#include "mediafacts.h"
#include "mediasurvey.h"
#include "ui_joindialog.h"

class QFont;

class JoinDialog : public QDialog, private Ui::JoinDialog
{
    Q_OBJECT

public:
    // `settings` are the panel's, for the refusal; file choosers open in `startFolder`.
    JoinDialog(const PanelSettings &settings, QFont &font, const QString &startFolder,
               QWidget *parent = nullptr);

    // Once accepted: the files in their order, what each holds, the audio choice.
    QStringList files() const;
    QList<MediaFacts> facts() const;
    JoinAudio audio() const { return m_audio; }

private:
    void addFiles();
    void removeFile();
    void move(int step);
    void selectionChanged();
    // "Verbinden": the files not looked at yet are, then decide() follows.
    void goOn();
    void decide();
    void setBusy(bool busy);

    PanelSettings m_settings;
    QFont &m_font;
    QString m_startFolder;
    MediaSurvey m_survey;
    QHash<QString, MediaFacts> m_facts;
    JoinAudio m_audio = JoinAudio::AllTracks;
};

// Shows the dialog; the job that joins the chosen files with the settings into
// the first file's name with "-verbunden", or nothing when the user cancelled.
std::optional<Job> joinedJob(const PanelSettings &settings, QFont &font, const QString &startFolder,
                             QWidget *window);

#endif
