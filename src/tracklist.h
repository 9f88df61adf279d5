// The streams of a source as a list with a check box each: kind, codec, language,
// title, channels or frame size, the default flag, and why a stream stays out.
#ifndef TRACKLIST_H
#define TRACKLIST_H

#include <QTreeWidget>

#include "arguments.h"
#include "mediafacts.h"
#include "tracks.h"

class TrackList : public QTreeWidget
{
    Q_OBJECT

public:
    enum Column {
        KindColumn,
        CodecColumn,
        LanguageColumn,
        TitleColumn,
        DetailsColumn,
        DefaultColumn,
        ReasonColumn
    };

    explicit TrackList(QWidget *parent = nullptr);

    // A new source: one row per stream, in file order; forgets the user's checks.
    void setFacts(const MediaFacts &facts);
    // Shows the plan: check boxes, which kinds can be chosen, the reasons. The
    // user's checks are kept.
    void showPlan(const TrackPlan &plan);

    // Rows for subtitle files added to the job, after the source's streams: the
    // tick keeps a file as a track; language and title can be typed over. Shown
    // again after every new source.
    void setAddedSubtitles(const QList<AddedSubtitle> &subtitles, const QList<bool> &kept);

    // The check boxes the user changed; empty while untouched.
    TrackChecks checks() const { return m_checks; }

    QSize sizeHint() const override;

signals:
    // The user changed a check box; the caller makes a new plan and shows it.
    void checksChanged();
    // The user changed the row of the added file `index`: its tick, language or title.
    void addedChanged(int index, bool kept, const QString &language, const QString &title);

private:
    void itemChecked(QTreeWidgetItem *item, int column);
    void fitColumns();
    void addAddedRows();

    TrackChecks m_checks;
    QList<AddedSubtitle> m_added;
    QList<bool> m_addedKept;
    bool m_filling = false;
};

// "Mono", "Stereo", "5.1", "%1 Kanäle" or the frame size "1920×1080".
QString streamDetails(const StreamFacts &stream);

#endif
