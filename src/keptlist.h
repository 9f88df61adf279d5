// The batch list kept on disk for a restart after a crash: saved after every
// change of the list (the states of jobs that end in quick succession together,
// at most a quarter second late), offered again at the next start, removed at a
// clean end.
#ifndef KEPTLIST_H
#define KEPTLIST_H

#include <QObject>

#include "converter.h"
#include "recovery.h"

class JobList;
class QFont;

class KeptList : public QObject
{
    Q_OBJECT

public:
    // `font` is the window's message font, for the question and the error box.
    KeptList(JobList *list, QFont &font);

    // Claims the file for this window and offers what an earlier run left
    // unfinished; true when the user took it back into the (empty) list.
    bool offer();
    // Writes the list as it is now: an unfinished list is kept, a finished or empty
    // one is a clean end.
    void save();
    // The clean end: nothing is offered at the next start, and no save still
    // waiting brings the list back.
    void clear()
    {
        m_stateSaves.cancel();
        m_file.clear();
    }
    RecoveryFile &file() { return m_file; }

signals:
    // What the status bar should say, and for how long (ms).
    void message(const QString &text, int timeoutMs);

private:
    JobList *m_list;
    QFont &m_font;
    RecoveryFile m_file;
    static constexpr int stateSaveMs = 250;
    RefreshLimiter m_stateSaves{stateSaveMs, [this] {
                                    // The held save opens an interval of its own, as one let through at once.
                                    m_stateSaves.admit();
                                    save();
                                }};
};

#endif
