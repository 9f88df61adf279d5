#include "recovery.h"

#include "batchfile.h"
#include "wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
constexpr char header[] = "QUORVID-BATCH-RECOVERY 1\n";
constexpr char trailer[] = "END ";

char stateLetter(JobState state)
{
    switch (state) {
    case JobState::Done:
        return 'D';
    case JobState::Failed:
        return 'F';
    default:
        return 'P'; // a running job is pending again after a restart
    }
}

void appendEscaped(QByteArray &out, const QByteArray &text)
{
    // Most job texts hold nothing to escape: they are copied in pieces, not byte
    // by byte, which keeps a list of ten thousand jobs quick to write.
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' && c != '\n' && c != '\r')
            continue;
        out.append(text.constData() + start, i - start);
        out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : "\\r";
        start = i + 1;
    }
    out.append(text.constData() + start, text.size() - start);
}

std::optional<QByteArray> unescaped(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}
} // namespace

QByteArray recoveryContent(const QStringList &jobs, const QList<JobState> &states)
{
    QByteArray out(header);
    out.reserve(out.size() + jobs.size() * 128);
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        out += stateLetter(states.value(i, JobState::Pending));
        out += ' ';
        appendEscaped(out, jobs[i].toUtf8());
        out += '\n';
    }
    out += trailer + QByteArray::number(jobs.size()) + '\n';
    return out;
}

QByteArray jobsRecoveryContent(const QList<Job> &jobs, const QList<JobState> &states)
{
    QByteArray out(header);
    out.reserve(out.size() + jobs.size() * 128);
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const Job &job = jobs[i];
        const bool plain = job.isEmpty() || job.fitsTextForm();
        const char letter = stateLetter(states.value(i, JobState::Pending));
        out += plain ? letter : char(letter - 'A' + 'a');
        out += ' ';
        appendEscaped(out, plain ? (job.isEmpty() ? QByteArray() : jobText(job.runs.first()).toUtf8())
                                 : extendedJobLine(job));
        out += '\n';
    }
    out += trailer + QByteArray::number(jobs.size()) + '\n';
    return out;
}

std::optional<RecoveredList> parseRecovery(const QByteArray &content)
{
    if (!content.startsWith(header) || !content.endsWith('\n'))
        return std::nullopt;
    RecoveredList list;
    const QByteArrayView body = QByteArrayView(content).sliced(qsizetype(sizeof header) - 1);
    qsizetype start = 0;
    while (start < body.size()) {
        const qsizetype end = body.indexOf('\n', start);
        const QByteArrayView line = body.sliced(start, end - start);
        start = end + 1;
        if (line.startsWith(trailer)) {
            // The count must match and nothing may follow.
            bool ok = false;
            const qsizetype count = line.sliced(qsizetype(sizeof trailer) - 1).toLongLong(&ok);
            if (!ok || count != list.jobs.size() || start != body.size())
                return std::nullopt;
            return list;
        }
        if (line.size() < 2 || line[1] != ' ')
            return std::nullopt;
        JobState state;
        // A lower-case letter marks a job kept in the extended list form.
        const bool extended = line[0] >= 'a' && line[0] <= 'z';
        switch (extended ? char(line[0] - 'a' + 'A') : line[0]) {
        case 'P':
            state = JobState::Pending;
            break;
        case 'D':
            state = JobState::Done;
            break;
        case 'F':
            state = JobState::Failed;
            break;
        default:
            return std::nullopt;
        }
        const std::optional<QByteArray> text = unescaped(line.sliced(2));
        if (!text)
            return std::nullopt;
        Job job;
        if (extended) {
            const std::optional<Job> parsed = parseExtendedJobLine(QString::fromUtf8(*text));
            if (!parsed)
                return std::nullopt;
            job = *parsed;
        } else {
            job = Job::fromText(QString::fromUtf8(*text));
        }
        list.jobs << (extended ? job.text() : QString::fromUtf8(*text));
        list.entries << job;
        list.states << state;
    }
    return std::nullopt; // no closing line: cut short
}

RecoveryFile::RecoveryFile(const QString &folder)
    : m_folder(folder), m_path(QDir(folder).filePath(u"batchliste.recovery"_s))
{
}

RecoveryFile::~RecoveryFile() = default;

QString RecoveryFile::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool RecoveryFile::claim()
{
    if (m_lock)
        return true;
    m_heldElsewhere = false;
    if (!QDir().mkpath(m_folder))
        return false;
    auto lock = std::make_unique<QLockFile>(m_path + u".lock"_s);
    // A lock left by a killed run is taken over: QLockFile checks its process.
    if (!lock->tryLock(0)) {
        m_heldElsewhere = lock->error() == QLockFile::LockFailedError;
        return false;
    }
    m_lock = std::move(lock);
    return true;
}

RecoveryFile::Found RecoveryFile::load(RecoveredList *list, QString *setAsideAs, QString *error)
{
    QFile file(m_path);
    if (!file.exists())
        return Found::Nothing;
    std::optional<RecoveredList> parsed;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray content = file.readAll();
        if (file.error() == QFileDevice::NoError)
            parsed = parseRecovery(content);
        else
            *error = file.errorString();
        file.close();
    } else {
        *error = file.errorString();
    }
    if (parsed) {
        *list = *parsed;
        return Found::List;
    }
    // Set aside under a name of its own; when even that fails, leave it in place
    // and say so, but never stop the program for it.
    const QString aside =
        m_path + u".beschaedigt-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss"_s);
    *setAsideAs = QFile::rename(m_path, aside) ? aside : QString();
    if (error->isEmpty())
        *error = u"Unbekanntes oder unvollständiges Format"_s;
    return Found::Damaged;
}

bool RecoveryFile::save(const QStringList &jobs, const QList<JobState> &states, QString *error)
{
    return writeContent(recoveryContent(jobs, states), error);
}

bool RecoveryFile::save(const QList<Job> &jobs, const QList<JobState> &states, QString *error)
{
    return writeContent(jobsRecoveryContent(jobs, states), error);
}

bool RecoveryFile::writeContent(const QByteArray &content, QString *error)
{
    if (!m_lock)
        return true;
    *error = writeWholeFile(m_path, content);
    return error->isEmpty();
}

bool RecoveryFile::clear()
{
    if (!m_lock)
        return true;
    return !QFile::exists(m_path) || QFile::remove(m_path);
}
