// The batch list kept for a restart after a crash: the job texts and each job's
// state, in a file of the program's own in the user's data folder. The file is
// there only while a list is unfinished; a clean end removes it.
#ifndef RECOVERY_H
#define RECOVERY_H

#include <QByteArray>
#include <QList>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "batchqueue.h"
#include "job.h"

struct RecoveredList
{
    QStringList jobs;       // the job texts, as the Jobs column shows them
    QList<JobState> states; // pending, done or failed; one per job
    QList<Job> entries;     // the jobs themselves, element for element
};

// The file's content: a header line, one line per job (state letter, space, job
// text with backslash, LF and CR escaped), and a closing line with the count, so
// that a file cut short is told apart from a complete one.
QByteArray recoveryContent(const QStringList &jobs, const QList<JobState> &states);
// The same for jobs: a job the job text cannot hold (a name with a comma, several
// runs) is kept as a line of the extended list form, marked by a lower-case state
// letter; a list without such jobs gives exactly the content above.
QByteArray jobsRecoveryContent(const QList<Job> &jobs, const QList<JobState> &states);
// Nothing when the content is not a complete file of this kind.
std::optional<RecoveredList> parseRecovery(const QByteArray &content);

class RecoveryFile
{
public:
    // The file "batchliste.recovery" in `folder`; the folder is made when needed.
    explicit RecoveryFile(const QString &folder = defaultFolder());
    // The program's own folder in the user's data folder.
    static QString defaultFolder();
    ~RecoveryFile();

    // Claims the file for this program run. Only one run at a time keeps a list
    // there: a second window started beside the first keeps none.
    bool claim();
    bool claimed() const { return m_lock != nullptr; }
    // Why the last claim failed: held by another run, or the folder not writable.
    bool heldElsewhere() const { return m_heldElsewhere; }

    enum class Found { Nothing, List, Damaged };
    // What the previous run left. A damaged file is renamed aside (its new name in
    // `setAsideAs`) so that it is never read again and nothing is lost.
    Found load(RecoveredList *list, QString *setAsideAs, QString *error);

    // Writes the whole list atomically: the old file stays until the new one is
    // complete on disk. False with the reason when any step failed.
    bool save(const QStringList &jobs, const QList<JobState> &states, QString *error);
    bool save(const QList<Job> &jobs, const QList<JobState> &states, QString *error);
    // The clean end of a list: finished, emptied, or the window closed normally.
    bool clear();

    QString path() const { return m_path; }

private:
    bool writeContent(const QByteArray &content, QString *error);

    QString m_folder;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_heldElsewhere = false;
};

#endif
