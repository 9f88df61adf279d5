#include "sourcelook.h"

#include <utility>

#include "failurereports.h"
#include "makejob.h"
#include "messagebox.h"

using namespace Qt::StringLiterals;

SourceLook::SourceLook(QFont &font, QObject *parent) : QObject(parent), m_font(font)
{
    m_survey.setParallel(1);
    m_batchSurvey.setParallel(2);
    connect(&m_survey, &MediaSurvey::surveyed, this,
            [this](const QString &path, const MediaFacts &facts) { openedLookEnded(path, facts, false); });
    connect(&m_survey, &MediaSurvey::barsLooked, this,
            [this](const QString &path, const MediaFacts &facts) { openedLookEnded(path, facts, true); });
    for (auto signal : {&MediaSurvey::surveyed, &MediaSurvey::barsLooked})
        connect(&m_batchSurvey, signal, this,
                [this](const QString &path, const MediaFacts &facts) { m_batchFacts.insert(path, facts); });
    connect(&m_batchSurvey, &MediaSurvey::progressChanged, this, &SourceLook::batchProgress);
    connect(&m_batchSurvey, &MediaSurvey::finished, this, &SourceLook::batchFinished);
}

void SourceLook::openedLookEnded(const QString &path, const MediaFacts &facts, bool bars)
{
    if (path != m_opened)
        return;
    m_openedFacts = facts;
    m_lookedAt = path;
    if (bars)
        m_barsLookedAt = path;
    // A press that needs the bars waits for them where the file has a picture.
    if (!bars && m_waitsForBars && firstVideo(facts)) {
        emit openedLooked(path, false, false);
        return;
    }
    m_waitsForBars = false;
    const bool convert = std::exchange(m_convertWaits, false);
    const bool addJob = std::exchange(m_addJobWaits, false);
    emit openedLooked(path, convert, addJob);
}

bool SourceLook::lookedAt(const QString &path, bool withBars) const
{
    if (path.isEmpty() || path != m_lookedAt)
        return false;
    return !withBars || path == m_barsLookedAt || !firstVideo(m_openedFacts);
}

void SourceLook::wait(Press press, bool withBars)
{
    (press == Press::Convert ? m_convertWaits : m_addJobWaits) = true;
    m_waitsForBars = m_waitsForBars || withBars;
}

bool SourceLook::lookAt(const QString &path)
{
    m_survey.stop();
    m_opened = path;
    m_openedFacts = MediaFacts();
    m_lookedAt.clear();
    m_barsLookedAt.clear();
    m_waitsForBars = false;
    const bool convertDropped = std::exchange(m_convertWaits, false);
    const bool addJobDropped = std::exchange(m_addJobWaits, false);
    m_startWaits = false;
    m_survey.add({path});
    return convertDropped || addJobDropped;
}

void SourceLook::lookAgain()
{
    if (!m_survey.busy() && !m_opened.isEmpty())
        m_survey.add({m_opened});
}

bool SourceLook::withdraw(Press press)
{
    return std::exchange(press == Press::Convert ? m_convertWaits : m_addJobWaits, false);
}

void SourceLook::lookAtBatch(const QStringList &files, bool replacing)
{
    if (m_batchSurvey.busy() && !replacing) {
        m_batchFiles += files;
        m_batchSurvey.add(files);
        return;
    }
    m_batchFiles = files;
    m_batchReplaces = replacing;
    m_batchFacts.clear();
    m_batchSurvey.stop();
    m_batchSurvey.add(files);
}

void SourceLook::batchFinished()
{
    QStringList files;
    files.swap(m_batchFiles);
    emit message(QString());
    files = filesToTake(files);
    // With nothing left to add the list stays as it was.
    if (!files.isEmpty())
        emit batchLooked(files, m_batchReplaces);
    m_batchFacts.clear();
}

bool SourceLook::goOnWithout(bool convert)
{
    if (m_openedFacts.valid)
        return true;
    return askYesNo(m_font,
                    tr("<b>Die Datei konnte nicht untersucht werden.</b><br><br>%1<br><br>Ohne diese Angaben "
                       "kann Quorvid Tonspuren, Untertitel, Zeilensprung und Farbangaben der Datei nicht "
                       "berücksichtigen.<br><br>%2")
                        .arg(unreadFilesText({{m_opened, m_openedFacts.problem}}),
                             convert ? tr("Soll sie trotzdem umgewandelt werden?")
                                     : tr("Soll der Job trotzdem hinzugefügt werden?")));
}

QStringList SourceLook::filesToTake(const QStringList &files)
{
    QList<std::pair<QString, QString>> failures;
    QStringList readable;
    int partly = 0;
    for (const QString &file : files) {
        const MediaFacts facts = m_batchFacts.value(file);
        if (facts.valid)
            readable << file;
        else
            failures.append({file, facts.problem});
        partly += facts.valid && !facts.problem.isEmpty() ? 1 : 0;
    }
    if (partly > 0)
        emit message(tr("Bei %1 Dateien wurde die Prüfung auf Zeilensprung abgebrochen; ob ihr Bild "
                        "Zeilensprung hat, ist unbekannt, und er wird nicht entfernt.")
                         .arg(partly));
    if (failures.isEmpty())
        return files;
    const QString headline = failures.size() == 1
                                 ? tr("Eine Datei konnte nicht untersucht werden.")
                                 : tr("%1 Dateien konnten nicht untersucht werden.").arg(failures.size());
    if (askYesNo(m_font,
                 u"<b>"_s + headline + u"</b><br><br>"_s + unreadFilesText(failures) + u"<br><br>"_s +
                     tr("Ohne diese Angaben kann Quorvid Tonspuren, Untertitel, Zeilensprung und Farbangaben "
                        "nicht berücksichtigen.<br><br>Sollen trotzdem Jobs für sie angelegt werden? Mit "
                        "„Nein“ werden sie ausgelassen.")))
        return files;
    emit message(tr("%1 von %2 Dateien wurden ausgelassen, weil sie nicht untersucht werden konnten.")
                     .arg(failures.size())
                     .arg(files.size()));
    return readable;
}
