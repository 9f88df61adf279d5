#include "watchjournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// A journal rewritten without its old lines once they are this many and more
// than the lines still meaning something.
constexpr int compactFromLines = 2000;

const char *outcomeWord(WatchJournal::Outcome outcome)
{
    switch (outcome) {
    case WatchJournal::Outcome::Started:
        return "started";
    case WatchJournal::Outcome::Done:
        return "done";
    case WatchJournal::Outcome::Failed:
        return "failed";
    case WatchJournal::Outcome::Cancelled:
        break;
    }
    return "cancelled";
}

std::optional<WatchJournal::Outcome> outcomeOf(const QString &word)
{
    for (auto outcome : {WatchJournal::Outcome::Started, WatchJournal::Outcome::Done,
                         WatchJournal::Outcome::Failed, WatchJournal::Outcome::Cancelled})
        if (word == QLatin1StringView(outcomeWord(outcome)))
            return outcome;
    return std::nullopt;
}

QByteArray entryLine(WatchJournal::Outcome outcome, const QString &input, qint64 size, qint64 modifiedNs,
                     const QString &output, const QString &reason)
{
    QJsonObject entry{{u"outcome"_s, QLatin1StringView(outcomeWord(outcome))},
                      {u"input"_s, input},
                      {u"size"_s, QString::number(size)},
                      {u"modified"_s, QString::number(modifiedNs)}};
    if (!output.isEmpty())
        entry.insert(u"output"_s, output);
    if (!reason.isEmpty())
        entry.insert(u"reason"_s, reason);
    return QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}
} // namespace

QString WatchJournal::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/quorvid/watch-journal"_s;
}

WatchJournal::WatchJournal(const QString &path) : m_path(path) {}

WatchJournal::~WatchJournal()
{
    close();
}

void WatchJournal::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_fd = m_lockFd = -1;
    m_lines = 0;
    m_records.clear();
    m_outputs.clear();
}

QString WatchJournal::open()
{
    close();
    const QString shown = QDir::toNativeSeparators(m_path);
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return QObject::tr("Der Ordner des Überwachungsjournals %1 kann nicht angelegt werden.").arg(shown);
    // The lock lives in a file of its own: the journal itself is replaced when
    // it is made smaller.
    m_lockFd = ::open(QFile::encodeName(m_path + u".lock"_s).constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (m_lockFd < 0)
        return QObject::tr("Das Überwachungsjournal %1 kann nicht angelegt werden: %2")
            .arg(shown, systemError());
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
        return QObject::tr(
                   "Ein anderer Quorvid überwacht bereits Ordner (das Überwachungsjournal %1 ist "
                   "belegt). Bitte beenden Sie ihn zuerst, damit keine Datei doppelt umgewandelt wird.")
            .arg(shown);
    }
    QFile file(m_path);
    bool endsWithBreak = true;
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return QObject::tr("Das Überwachungsjournal %1 kann nicht gelesen werden: %2")
                .arg(shown, file.errorString());
        const QByteArray content = file.readAll();
        endsWithBreak = content.isEmpty() || content.endsWith('\n');
        for (const QByteArray &line : content.split('\n')) {
            if (line.isEmpty())
                continue;
            ++m_lines;
            // A line cut off by a crash or a power cut is no entry.
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            const std::optional<Outcome> outcome = outcomeOf(entry.value(u"outcome"_s).toString());
            const QString input = entry.value(u"input"_s).toString();
            if (!outcome || input.isEmpty())
                continue;
            apply(*outcome, input, entry.value(u"size"_s).toString().toLongLong(),
                  entry.value(u"modified"_s).toString().toLongLong(), entry.value(u"output"_s).toString(),
                  entry.value(u"reason"_s).toString());
        }
        file.close();
    }
    if (m_lines >= compactFromLines && m_lines > 2 * m_records.size()) {
        if (const QString problem = compact(); !problem.isEmpty())
            return problem;
        endsWithBreak = true;
    }
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_CREAT | O_WRONLY | O_APPEND | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return QObject::tr("Das Überwachungsjournal %1 kann nicht geschrieben werden: %2")
            .arg(shown, systemError());
    // The next entry starts on a line of its own after a cut-off one.
    if (!endsWithBreak && !writeAll(m_fd, "\n"))
        return QObject::tr("Das Überwachungsjournal %1 kann nicht geschrieben werden: %2")
            .arg(shown, systemError());
    return {};
}

QString WatchJournal::compact()
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return QObject::tr("Das Überwachungsjournal %1 kann nicht geschrieben werden: %2")
            .arg(QDir::toNativeSeparators(m_path), file.errorString());
    // One line per input says all there is: its failures are written as as many
    // lines, so that they count the same when read again.
    for (auto it = m_records.cbegin(); it != m_records.cend(); ++it) {
        const Record &r = it.value();
        for (int i = 0; i < r.failures; ++i)
            file.write(entryLine(Outcome::Failed, it.key(), r.size, r.modifiedNs, r.output, r.reason));
        if (r.last != Outcome::Failed)
            file.write(entryLine(r.last, it.key(), r.size, r.modifiedNs, r.output, r.reason));
    }
    if (!file.flush() || !file.commit())
        return QObject::tr("Das Überwachungsjournal %1 kann nicht geschrieben werden: %2")
            .arg(QDir::toNativeSeparators(m_path), file.errorString());
    m_lines = 0;
    for (const Record &r : std::as_const(m_records))
        m_lines += r.failures + (r.last != Outcome::Failed ? 1 : 0);
    return {};
}

void WatchJournal::apply(Outcome outcome, const QString &input, qint64 size, qint64 modifiedNs,
                         const QString &output, const QString &reason)
{
    Record &record = m_records[input];
    if (record.size != size || record.modifiedNs != modifiedNs) {
        // A new version of the file: what failed before does not count for it.
        record.failures = 0;
        record.size = size;
        record.modifiedNs = modifiedNs;
    }
    record.last = outcome;
    if (outcome == Outcome::Failed) {
        ++record.failures;
        record.reason = reason;
    }
    if (!output.isEmpty()) {
        if (!record.output.isEmpty() && record.output != output)
            m_outputs.remove(record.output);
        record.output = output;
        m_outputs.insert(output, input);
    }
}

WatchJournal::Verdict WatchJournal::verdict(const QString &input, qint64 size, qint64 modifiedNs) const
{
    const auto it = m_records.constFind(input);
    if (it == m_records.cend() || it->size != size || it->modifiedNs != modifiedNs)
        return Verdict::New;
    if (it->last == Outcome::Done)
        return Verdict::Done;
    return it->failures >= m_maxTries ? Verdict::GivenUp : Verdict::Retry;
}

int WatchJournal::failures(const QString &input, qint64 size, qint64 modifiedNs) const
{
    const auto it = m_records.constFind(input);
    return it == m_records.cend() || it->size != size || it->modifiedNs != modifiedNs ? 0 : it->failures;
}

QString WatchJournal::outputOf(const QString &input) const
{
    return m_records.value(input).output;
}

QString WatchJournal::lastReason(const QString &input) const
{
    return m_records.value(input).reason;
}

QString WatchJournal::note(Outcome outcome, const QString &input, qint64 size, qint64 modifiedNs,
                           const QString &output, const QString &reason)
{
    if (m_fd < 0)
        return QObject::tr("Das Überwachungsjournal ist nicht geöffnet.");
    // One write of the whole line, then to the disk: after a crash the journal
    // holds every entry whose call returned.
    const QByteArray line = entryLine(outcome, input, size, modifiedNs, output, reason);
    if (!writeAll(m_fd, line) || ::fdatasync(m_fd) != 0)
        return QObject::tr("Das Überwachungsjournal %1 kann nicht geschrieben werden: %2")
            .arg(QDir::toNativeSeparators(m_path), systemError());
    ++m_lines;
    apply(outcome, input, size, modifiedNs, output, reason);
    return {};
}
