#include "keptlist.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>

#include "joblist.h"
#include "messagebox.h"

KeptList::KeptList(JobList *list, QFont &font) : m_list(list), m_font(font)
{
    connect(list, &JobList::replaced, this, &KeptList::save);
    connect(list, &JobList::appended, this, &KeptList::save);
    connect(list, &JobList::removed, this, &KeptList::save);
    // Ended from outside, the program leaves its event loop without deleting the
    // window: a save still waiting is written before it goes. (A clean end, the
    // window closed, cancels it.)
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { m_stateSaves.flush(); });
    // A batch of short jobs changes states many times a second; each change
    // would rewrite and sync the whole list. The first change after a quiet
    // quarter second is saved at once, later ones together when it ends. What a
    // crash within it loses is only that the jobs of that quarter second show as
    // not yet done, so they are made again.
    connect(list, &JobList::stateChanged, this, [this] {
        // A list that is through is a clean end, said at once.
        if (m_list->firstPending() < 0 || m_stateSaves.admit())
            save();
    });
}

void KeptList::save()
{
    if (!m_file.claimed())
        return;
    const QList<JobState> states = m_list->runStates();
    const bool anyPending = m_list->firstPending() >= 0;
    // A finished or emptied list is a clean end: nothing is left to restore.
    QString error;
    const bool saved = anyPending ? m_file.save(m_list->jobs(), states, &error) : m_file.clear();
    if (!saved)
        emit message(tr("Die Batchliste konnte nicht für eine Wiederherstellung gesichert werden "
                        "(%1). Bitte prüfen Sie den freien Platz in %2.")
                         .arg(error.isEmpty() ? tr("Löschen fehlgeschlagen") : error,
                              QDir::toNativeSeparators(RecoveryFile::defaultFolder())),
                     10000);
}

bool KeptList::offer()
{
    if (!m_file.claim()) {
        emit message(m_file.heldElsewhere()
                         ? tr("Ein anderes Quorvid-Fenster sichert schon seine Batchliste; die Liste dieses "
                              "Fensters wird nach einem Absturz nicht wiederhergestellt.")
                         : tr("Die Batchliste kann nicht für eine Wiederherstellung gesichert werden: %1 ist "
                              "nicht beschreibbar.")
                               .arg(QDir::toNativeSeparators(RecoveryFile::defaultFolder())),
                     10000);
        return false;
    }
    RecoveredList list;
    QString aside, error;
    const RecoveryFile::Found found = m_file.load(&list, &aside, &error);
    if (found == RecoveryFile::Found::Damaged) {
        showErrorBox(m_font,
                     tr("<b>Die gesicherte Batchliste ist beschädigt und wurde nicht geladen.</b><br><br>"
                        "Sie wurde beiseitegelegt unter:<br>%1<br><br>Quorvid startet mit einer "
                        "leeren Batchliste.")
                         .arg(aside.isEmpty() ? tr("(Umbenennen fehlgeschlagen)")
                                              : QDir::toNativeSeparators(aside).toHtmlEscaped()),
                     error);
        return false;
    }
    // A list made before the question came keeps its place.
    if (found != RecoveryFile::Found::List || !m_list->isEmpty())
        return false;
    const auto done = std::count(list.states.cbegin(), list.states.cend(), JobState::Done);
    if (!askYesNo(m_font, tr("<b>Wiederherstellen?</b><br><br>Quorvid wurde beendet, bevor die Batchliste "
                             "abgearbeitet war<br>(%1 Jobs, davon %2 erledigt).<br><br>Möchten Sie die "
                             "Batchliste wiederherstellen?")
                              .arg(list.jobs.size())
                              .arg(done))) {
        m_file.clear();
        return false;
    }
    m_list->replace(list.entries, list.states);
    emit message(tr("Batchliste wiederhergestellt."), 0);
    return true;
}
