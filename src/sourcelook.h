// The background look at source files (streams, interlacing, colours): at the
// opened file, whose tracks the window shows, and at files on their way into the
// batch list, so that every job holds its final stream choice. A press of
// "Convert Single" or "Job hinzufügen" made while the opened file is being looked
// at waits here until the look has ended.
#ifndef SOURCELOOK_H
#define SOURCELOOK_H

#include <utility>

#include <QHash>
#include <QObject>
#include <QStringList>

#include "mediafacts.h"
#include "mediasurvey.h"

class QFont;

class SourceLook : public QObject
{
    Q_OBJECT

public:
    enum class Press { Convert, AddJob };

    // `font` is the window's message font, for the questions about files that
    // could not be looked at.
    explicit SourceLook(QFont &font, QObject *parent = nullptr);

    // A new opened file: its look starts; the previous one, and a press waiting
    // for it, are dropped. True when a press was waiting.
    bool lookAt(const QString &path);
    // Looks at the opened file again when no look runs (after a failed one).
    void lookAgain();
    const QString &opened() const { return m_opened; }
    const MediaFacts &openedFacts() const { return m_openedFacts; }
    // True once the look at `path`, the opened file, has ended; `withBars`: and
    // the look for black bars in its picture, which takes longer.
    bool lookedAt(const QString &path, bool withBars) const;

    // A press waits for the end of the look (with the bars, when asked);
    // withdrawn, it is forgotten (true when it was waiting).
    void wait(Press press, bool withBars);
    bool withdraw(Press press);
    // Whether a press waits for the look.
    bool waits(Press press) const { return press == Press::Convert ? m_convertWaits : m_addJobWaits; }
    // "Start Batch" pressed while the added job waits: the start waits for it.
    // Taken once that job is no longer waiting; dropped with the opened file.
    void startAfterAddedJob() { m_startWaits = true; }
    bool takeStartAfterAddedJob() { return !m_addJobWaits && std::exchange(m_startWaits, false); }

    // What the look found at a file: the opened one, or one on its way into the list.
    MediaFacts factsFor(const QString &path, bool opened) const
    {
        return opened ? m_openedFacts : m_batchFacts.value(path);
    }

    // Files looked at before they become jobs; `replacing` tells whether they
    // replace the list. Files added while others are still looked at join them.
    void lookAtBatch(const QStringList &files, bool replacing);

    // Whether to go on when the look at the opened file failed: the user is told
    // why and decides (for a conversion or a new job).
    bool goOnWithout(bool convert);

signals:
    // The look at the opened file has ended; which presses waited for it.
    void openedLooked(const QString &path, bool convertWaited, bool addJobWaited);
    void batchProgress(int done, int total);
    // The files of lookAtBatch() that are to become jobs, with their facts
    // available through factsFor() until the signal returns.
    void batchLooked(const QStringList &files, bool replacing);
    // What the status bar should say.
    void message(const QString &text);

private:
    void openedLookEnded(const QString &path, const MediaFacts &facts, bool bars);
    void batchFinished();
    // The files whose look failed are named; the user decides whether their jobs
    // are made all the same.
    QStringList filesToTake(const QStringList &files);

    QFont &m_font;
    MediaSurvey m_survey;
    MediaSurvey m_batchSurvey;
    QString m_opened;
    QString m_lookedAt;
    QString m_barsLookedAt;
    bool m_waitsForBars = false;
    MediaFacts m_openedFacts;
    bool m_convertWaits = false;
    bool m_addJobWaits = false;
    bool m_startWaits = false;
    QStringList m_batchFiles;
    QHash<QString, MediaFacts> m_batchFacts;
    bool m_batchReplaces = false;
};

#endif
