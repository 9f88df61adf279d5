#include "watchfeed.h"

#include <QDir>
#include <QSet>
#include <QWidget>

#include "joblist.h"
#include "jobrunner.h"
#include "messagebox.h"
#include "terminaltext.h"
#include "watchdialog.h"

using namespace Qt::StringLiterals;

WatchFeed::WatchFeed(JobList &list, JobRunner &runner, QFont &font, QWidget *window)
    : QObject(window), m_list(list), m_runner(runner), m_font(font), m_window(window)
{
    connect(&m_watching, &Watching::arrived, &m_arrivals, &ArrivalJobs::take);
    connect(&m_arrivals, &ArrivalJobs::ready, this, &WatchFeed::add);
    connect(&m_arrivals, &ArrivalJobs::refused, this, [this](const WatchArrival &a, const QString &why) {
        emit message(tr("%1 aus einem überwachten Ordner wird nicht umgewandelt: %2")
                         .arg(printableText(QDir::toNativeSeparators(a.path)), why));
    });
    connect(&m_watching, &Watching::givenUp, this, [this](const WatchArrival &a, const QString &why) {
        emit message(tr("%1 wurde nach %2 Versuchen nicht umgewandelt (%3); die Datei wird erst wieder "
                        "versucht, wenn sie sich ändert.")
                         .arg(printableText(QDir::toNativeSeparators(a.path)))
                         .arg(a.attempt)
                         .arg(why));
    });
    connect(&m_watching, &Watching::refused, this, [this](const QString &path, const QString &why) {
        emit message(printableText(QDir::toNativeSeparators(path)) + u": "_s + why);
    });
    connect(&m_watching, &Watching::folderProblem, this, [this](const QString &folder, const QString &why) {
        const QString shown = printableText(QDir::toNativeSeparators(folder));
        emit message(why.isEmpty() ? tr("Der überwachte Ordner %1 ist wieder lesbar.").arg(shown)
                                   : tr("Der Ordner %1 kann nicht überwacht werden: %2").arg(shown, why));
    });
    connect(&m_watching, &Watching::journalProblem, this, [this](const QString &why) {
        showErrorBox(m_font,
                     tr("<b>Die Ordner werden nicht überwacht.</b><br><br>%1").arg(why.toHtmlEscaped()));
    });
    connect(&m_runner, &JobRunner::jobEnded, this, &WatchFeed::jobEnded);
    connect(&list, &JobList::removed, this, &WatchFeed::rowsRemoved);
    connect(&list, &JobList::replaced, this, &WatchFeed::rowsRemoved);
    // The window's own jobs write files a watched folder must never take as inputs.
    connect(&list, &JobList::appended, this, [this](int first, int count) {
        for (int row = first; row < first + count; ++row)
            if (m_list.origin(row).isEmpty())
                m_watching.noteOutput(m_list.job(row).output);
    });
}

QList<Preset> WatchFeed::presets() const
{
    return builtInPresets() + loadPresetFolder(userPresetFolder()).presets;
}

void WatchFeed::resume()
{
    const QList<WatchEntry> entries = readWatchList();
    if (entries.isEmpty())
        return;
    m_watching.setPresets(presets());
    m_watching.setEntries(entries);
}

void WatchFeed::editFolders(const QString &startFolder)
{
    const QList<Preset> all = presets();
    QStringList names;
    for (const Preset &preset : all)
        names << preset.name;
    WatchDialog dialog(m_watching.entries(), names, startFolder, m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!writeWatchList(dialog.entries()))
        showErrorBox(m_font, tr("<b>Die überwachten Ordner konnten nicht gespeichert werden.</b><br><br>Sie "
                                "werden bis zum Schließen von Quorvid überwacht, beim nächsten Start aber "
                                "nicht mehr. Bitte prüfen Sie, ob %1 beschreibbar ist.")
                                 .arg(QDir::toNativeSeparators(QDir::homePath() + u"/.config/quorvid"_s)));
    for (int row = 0; row < m_list.size(); ++row)
        if (m_list.origin(row).isEmpty())
            m_watching.noteOutput(m_list.job(row).output);
    m_watching.setPresets(all);
    m_watching.setEntries(dialog.entries());
}

void WatchFeed::add(const WatchArrival &arrival, const Job &job)
{
    m_listed.insert(job.output, arrival);
    m_list.append({job}, tr("Aus dem überwachten Ordner %1 (Vorlage „%2“)")
                             .arg(QDir::toNativeSeparators(arrival.entry.folder), arrival.entry.preset));
    if (m_runner.isRunning())
        m_runner.append({job});
    else
        emit jobsAdded();
}

void WatchFeed::jobEnded(int index, const JobEnd &end)
{
    const auto listed = m_listed.find(m_runner.job(index).output);
    if (listed == m_listed.end())
        return;
    QString reason;
    const Watching::JobResult result = watchResult(end, &reason);
    // A stopped job stays pending in the list and is told when it runs again (or
    // redone at the next start when it never does). A failure counts as a try:
    // the watched folder offers the file again later, as a new job.
    if (result == Watching::JobResult::Cancelled)
        return;
    m_watching.jobEnded(listed.value(), result, reason);
    m_listed.erase(listed);
}

void WatchFeed::rowsRemoved()
{
    QSet<QString> outputs;
    for (int row = 0; row < m_list.size(); ++row)
        if (!m_list.origin(row).isEmpty())
            outputs.insert(m_list.job(row).output);
    for (auto it = m_listed.begin(); it != m_listed.end();) {
        if (outputs.contains(it.key())) {
            ++it;
            continue;
        }
        m_watching.jobEnded(it.value(), Watching::JobResult::Cancelled);
        it = m_listed.erase(it);
    }
}
