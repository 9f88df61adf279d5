#include "watching.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "folderwatch.h"

using namespace Qt::StringLiterals;

QString watchOutputName(const QString &input, const WatchEntry &entry, const QString &suffix,
                        const std::function<bool(const QString &)> &taken)
{
    const QFileInfo info(input);
    QString folder = entry.outputFolder;
    const QString below = QDir(entry.folder).relativeFilePath(info.absolutePath());
    if (entry.recursive && below != u"."_s && !below.startsWith(u".."_s))
        folder += u'/' + below;
    QString output = proposeOutputName(input, folder + u'/' + info.fileName(), suffix);
    const QFileInfo proposed(output);
    const QString stem = proposed.path() + u'/' + proposed.completeBaseName();
    const QString dotSuffix = proposed.suffix().isEmpty() ? QString() : u'.' + proposed.suffix();
    for (int n = 2; taken(output); ++n)
        output = stem + u'-' + QString::number(n) + dotSuffix;
    return output;
}

Watching::Watching(const QString &journalPath, QObject *parent) : QObject(parent), m_journal(journalPath)
{
    qRegisterMetaType<WatchArrival>();
}

Watching::~Watching() = default;

QString Watching::open()
{
    return m_journal.open();
}

void Watching::setEntries(const QList<WatchEntry> &entries)
{
    stop();
    m_entries = entries;
    m_watches.clear();
    m_watches.resize(size_t(entries.size()));
    const bool wanted =
        std::any_of(entries.cbegin(), entries.cend(), [](const WatchEntry &e) { return !e.paused; });
    if (!wanted) {
        if (m_handedOut.isEmpty())
            m_journal.close();
        return;
    }
    if (!m_journal.isOpen()) {
        if (const QString problem = m_journal.open(); !problem.isEmpty()) {
            emit journalProblem(problem);
            return;
        }
    }
    // Every output folder is left out of every watch: no output is an input.
    QStringList outputs;
    for (const WatchEntry &entry : entries)
        outputs << entry.outputFolder;
    for (int i = 0; i < entries.size(); ++i) {
        const WatchEntry &entry = entries[i];
        if (entry.paused)
            continue;
        QList<WatchEntry> others = entries.mid(0, i);
        if (const QString problem = watchEntryProblem(entry, others); !problem.isEmpty()) {
            emit folderProblem(entry.folder, problem);
            continue;
        }
        auto watch = std::make_unique<FolderWatch>();
        watch->addFolder(entry.folder, entry.recursive);
        watch->setExcludedFolders(outputs);
        watch->setSettleMs(m_settleMs);
        watch->setScanIntervalMs(m_scanMs);
        watch->setSkip([this](const QString &path, qint64 size, qint64 modifiedNs) {
            return m_journal.verdict(path, size, modifiedNs) == WatchJournal::Verdict::Done ||
                   m_journal.isOutput(path) || m_otherOutputs.contains(path) ||
                   std::any_of(m_handedOut.cbegin(), m_handedOut.cend(),
                               [&](const QString &output) { return output == path; });
        });
        connect(watch.get(), &FolderWatch::fileReady, this,
                [this, i](const QString &path, qint64 size, qint64 modifiedNs) {
                    fileReady(i, path, size, modifiedNs);
                });
        connect(watch.get(), &FolderWatch::fileRefused, this, &Watching::refused);
        connect(watch.get(), &FolderWatch::folderProblem, this, &Watching::folderProblem);
        m_watches[size_t(i)] = std::move(watch);
    }
    for (const auto &watch : m_watches)
        if (watch)
            watch->start();
}

bool Watching::isWatching(const QString &folder) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].folder == folder && m_watches[size_t(i)] && m_watches[size_t(i)]->isActive())
            return true;
    return false;
}

void Watching::stop()
{
    for (const auto &watch : m_watches)
        if (watch)
            watch->stop();
}

FolderWatch *Watching::watchOf(const QString &folder) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].folder == folder && m_watches[size_t(i)])
            return m_watches[size_t(i)].get();
    return nullptr;
}

bool Watching::taken(const QString &candidate, const QString &input) const
{
    // The file this input wrote before (an older version of it) is its own to
    // replace; any other existing file, or one another job writes, is not.
    if (candidate == m_journal.outputOf(input))
        return std::any_of(m_handedOut.cbegin(), m_handedOut.cend(),
                           [&](const QString &output) { return output == candidate; });
    if (QFileInfo::exists(candidate) || m_journal.isOutput(candidate) || m_otherOutputs.contains(candidate))
        return true;
    return std::any_of(m_handedOut.cbegin(), m_handedOut.cend(),
                       [&](const QString &output) { return output == candidate; });
}

void Watching::fileReady(int index, const QString &path, qint64 size, qint64 modifiedNs)
{
    const WatchEntry &entry = m_entries[index];
    if (m_handedOut.contains(path)) {
        // A new version came while the old one is converted: taken afterwards.
        m_changedMeanwhile.insert(path);
        return;
    }
    WatchArrival arrival;
    arrival.path = path;
    arrival.size = size;
    arrival.modifiedNs = modifiedNs;
    arrival.entry = entry;
    switch (m_journal.verdict(path, size, modifiedNs)) {
    case WatchJournal::Verdict::Done:
        return;
    case WatchJournal::Verdict::GivenUp:
        arrival.attempt = m_journal.failures(path, size, modifiedNs);
        emit givenUp(arrival, m_journal.lastReason(path));
        return;
    case WatchJournal::Verdict::New:
    case WatchJournal::Verdict::Retry:
        break;
    }
    const std::optional<Preset> preset = findPreset(m_presets, entry.preset);
    if (!preset) {
        emit refused(path, tr("Die Vorlage „%1“ des überwachten Ordners gibt es nicht mehr. Bitte wählen Sie "
                              "unter „Ordner überwachen…“ eine andere.")
                               .arg(entry.preset));
        return;
    }
    arrival.settings = preset->settings;
    arrival.attempt = m_journal.failures(path, size, modifiedNs) + 1;
    arrival.output = watchOutputName(path, entry, outputSuffix(preset->settings),
                                     [&](const QString &candidate) { return taken(candidate, path); });
    QDir().mkpath(QFileInfo(arrival.output).absolutePath());
    m_handedOut.insert(path, arrival.output);
    emit arrived(arrival);
}

QString Watching::jobStarted(const WatchArrival &arrival)
{
    const QString problem = m_journal.note(WatchJournal::Outcome::Started, arrival.path, arrival.size,
                                           arrival.modifiedNs, arrival.output);
    if (!problem.isEmpty())
        emit journalProblem(problem);
    return problem;
}

QString Watching::jobEnded(const WatchArrival &arrival, JobResult result, const QString &reason)
{
    m_handedOut.remove(arrival.path);
    const WatchJournal::Outcome outcome = result == JobResult::Done     ? WatchJournal::Outcome::Done
                                          : result == JobResult::Failed ? WatchJournal::Outcome::Failed
                                                                        : WatchJournal::Outcome::Cancelled;
    const QString problem =
        m_journal.note(outcome, arrival.path, arrival.size, arrival.modifiedNs, arrival.output, reason);
    if (!problem.isEmpty())
        emit journalProblem(problem);
    FolderWatch *watch = watchOf(arrival.entry.folder);
    if (m_changedMeanwhile.remove(arrival.path)) {
        if (watch)
            watch->retake(arrival.path, 0);
        return problem;
    }
    if (result == JobResult::Failed) {
        if (m_journal.verdict(arrival.path, arrival.size, arrival.modifiedNs) ==
            WatchJournal::Verdict::GivenUp) {
            emit givenUp(arrival, reason);
        } else if (watch) {
            watch->retake(arrival.path, m_retryMs);
        }
    }
    return problem;
}
