#include "unfinished.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
constexpr char ownerName[] = ".owner";
const QString folderPrefix = u"quorvid-"_s;

qint64 modifiedNs(const struct stat &status)
{
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}
} // namespace

OwnedFolder::OwnedFolder() : m_dir(QDir::tempPath() + u'/' + folderPrefix + u"XXXXXX"_s)
{
    if (!m_dir.isValid()) {
        m_error = m_dir.errorString();
        return;
    }
    // The mark is locked under another name first and then renamed: a look from
    // another process never finds it unlocked while its owner lives.
    const QByteArray fresh = QFile::encodeName(m_dir.filePath(u".owner.new"_s));
    const int fd = ::open(fresh.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 ||
        ::rename(fresh.constData(),
                 QFile::encodeName(m_dir.filePath(QLatin1StringView(ownerName))).constData()) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    [[maybe_unused]] const ssize_t written = ::write(fd, pid.constData(), size_t(pid.size()));
    m_lock = fd;
}

OwnedFolder::~OwnedFolder()
{
    // The folder goes first (QTemporaryDir's destructor runs after this body),
    // so the lock is let go here only by closing it after the removal.
    if (m_dir.isValid())
        m_dir.remove();
    if (m_lock >= 0)
        ::close(m_lock);
}

OutputBefore OutputBefore::of(const QString &absolutePath)
{
    OutputBefore before;
    before.path = absolutePath;
    struct stat status = {};
    if (::stat(QFile::encodeName(absolutePath).constData(), &status) == 0) {
        before.existed = true;
        before.size = qint64(status.st_size);
        before.modifiedMs = modifiedNs(status);
        before.inode = quint64(status.st_ino);
    }
    return before;
}

bool OutputBefore::writtenSince() const
{
    struct stat status = {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &status) != 0 ||
        !S_ISREG(status.st_mode))
        return false;
    if (!existed)
        return true;
    return quint64(status.st_ino) != inode || qint64(status.st_size) != size ||
           modifiedNs(status) != modifiedMs;
}

QStringList removeWritten(const QList<OutputBefore> &outputs)
{
    QStringList removed;
    for (const OutputBefore &output : outputs)
        if (output.writtenSince() && QFile::remove(output.path))
            removed << output.path;
    return removed;
}

QByteArray unfinishedRecordContent(const QList<OutputBefore> &outputs)
{
    QJsonArray entries;
    for (const OutputBefore &output : outputs)
        entries.append(QJsonObject{{u"path"_s, output.path},
                                   {u"existed"_s, output.existed},
                                   {u"size"_s, QString::number(output.size)},
                                   {u"modified"_s, QString::number(output.modifiedMs)},
                                   {u"inode"_s, QString::number(output.inode)}});
    return QJsonDocument(entries).toJson(QJsonDocument::Compact);
}

QList<OutputBefore> readUnfinishedRecord(const QByteArray &content)
{
    QList<OutputBefore> outputs;
    const QJsonArray entries = QJsonDocument::fromJson(content).array();
    for (const QJsonValue &entry : entries) {
        OutputBefore output;
        output.path = entry[u"path"_s].toString();
        output.existed = entry[u"existed"_s].toBool();
        output.size = entry[u"size"_s].toString().toLongLong();
        output.modifiedMs = entry[u"modified"_s].toString().toLongLong();
        output.inode = entry[u"inode"_s].toString().toULongLong();
        // Only absolute names: a damaged record never removes a file relative to
        // wherever the cleanup happens to run.
        if (QDir::isAbsolutePath(output.path))
            outputs << output;
    }
    return outputs;
}

QString UnfinishedRecord::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/quorvid/unfinished"_s;
}

UnfinishedRecord::~UnfinishedRecord()
{
    if (m_fd < 0)
        return;
    // Everything ended in order: nothing of this runner is unfinished.
    QFile::remove(m_path);
    ::close(m_fd);
}

void UnfinishedRecord::write(const QList<OutputBefore> &outputs)
{
    // Nothing to say and nothing said before: no file is made at all.
    if (outputs.isEmpty() && m_empty)
        return;
    if (m_fd < 0) {
        if (!QDir().mkpath(folder()))
            return;
        QTemporaryFile file(folder() + u"/XXXXXX.json"_s);
        file.setAutoRemove(false);
        if (!file.open())
            return;
        m_path = file.fileName();
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = -1;
            QFile::remove(m_path);
            return;
        }
    }
    // Written over the old record in place, a shorter one filled up with spaces
    // (which the reading ignores): the file never shrinks, so no blocks are freed
    // and given back to the disk on every job, and the sync writes data only.
    QByteArray content = unfinishedRecordContent(outputs);
    if (content.size() < m_size)
        content.append(m_size - content.size(), ' ');
    if (::pwrite(m_fd, content.constData(), size_t(content.size()), 0) == content.size()) {
        m_size = content.size();
        ::fdatasync(m_fd);
    }
    m_empty = outputs.isEmpty();
}

namespace {
// Opens a mark and tries to lock it: true when nobody holds it, so that its owner
// is gone; `fd` is then open and locked, for the caller to close.
bool ownerGone(const QString &mark, int &fd)
{
    fd = ::open(QFile::encodeName(mark).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    ::close(fd);
    fd = -1;
    return false;
}
} // namespace

LeftoverCleanup removeLeftovers(const QString &tempPath, const QString &recordFolder)
{
    LeftoverCleanup cleanup;
    // Names are told apart by hand: the listing's name patterns would bring in
    // the regular expression engine at every start, for two patterns; and the
    // folders are not sorted, as nothing depends on their order.
    const QDir records(recordFolder);
    for (QDirIterator it(recordFolder, QDir::Files); it.hasNext();) {
        const QString name = it.nextFileInfo().fileName();
        if (!name.endsWith(u".json"_s))
            continue;
        int fd = -1;
        if (!ownerGone(records.filePath(name), fd))
            continue;
        QFile record;
        if (record.open(fd, QIODevice::ReadOnly))
            cleanup.outputs += removeWritten(readUnfinishedRecord(record.readAll()));
        record.close();
        QFile::remove(records.filePath(name));
        ::close(fd);
    }
    for (QDirIterator it(tempPath, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks); it.hasNext();) {
        const QString name = it.nextFileInfo().fileName();
        if (!name.startsWith(folderPrefix))
            continue;
        QDir folder(QDir(tempPath).filePath(name));
        // A folder without its mark is being made at this moment (or is not ours).
        int fd = -1;
        if (!ownerGone(folder.filePath(QLatin1StringView(ownerName)), fd))
            continue;
        if (folder.removeRecursively())
            ++cleanup.folders;
        ::close(fd);
    }
    return cleanup;
}

LeftoverCleanup removeLeftovers()
{
    return removeLeftovers(QDir::tempPath(), UnfinishedRecord::folder());
}
