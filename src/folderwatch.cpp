#include "folderwatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "dropping.h"

using namespace Qt::StringLiterals;

namespace {
// How soon after an event a folder is looked at: a copy of many files makes
// many events, and one look serves them all.
constexpr int changedDelayMs = 200;

qint64 modifiedNs(const struct stat &status)
{
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

bool inside(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}
} // namespace

bool isNameInWriting(const QString &fileName)
{
    static const QStringList suffixes = {u".part"_s, u".crdownload"_s, u".tmp"_s, u".partial"_s,
                                         u".download"_s};
    if (fileName.startsWith(u'.') || fileName.endsWith(u'~'))
        return true;
    for (const QString &suffix : suffixes)
        if (fileName.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    return false;
}

bool isWatchedName(const QString &fileName)
{
    return !isNameInWriting(fileName) && isMediaFileName(fileName);
}

FolderWatch::FolderWatch(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_scanTimer.setInterval(30000);
    connect(&m_scanTimer, &QTimer::timeout, this, &FolderWatch::scanAll);
    m_changedTimer.setSingleShot(true);
    m_changedTimer.setInterval(changedDelayMs);
    connect(&m_changedTimer, &QTimer::timeout, this, &FolderWatch::scanChanged);
    connect(&m_pendingTimer, &QTimer::timeout, this, &FolderWatch::checkPending);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &folder) {
        m_changed.insert(folder);
        if (!m_changedTimer.isActive())
            m_changedTimer.start();
    });
}

void FolderWatch::addFolder(const QString &folder, bool recursive)
{
    m_roots.append({withoutTrailingSlash(QFileInfo(folder).absoluteFilePath()), recursive, {}});
}

void FolderWatch::setExcludedFolders(const QStringList &folders)
{
    m_excluded.clear();
    for (const QString &folder : folders) {
        const QFileInfo info(folder);
        m_excluded << withoutTrailingSlash(info.absoluteFilePath());
        // The same folder reached through a link is the same folder.
        if (const QString canonical = info.canonicalFilePath(); !canonical.isEmpty())
            m_excluded << canonical;
    }
}

void FolderWatch::setScanIntervalMs(int ms)
{
    m_scanTimer.setInterval(ms);
}

bool FolderWatch::excluded(const QString &folder) const
{
    // An output folder that is the watched folder itself is still looked into:
    // its outputs are known by name (see setSkip); only folders below are left.
    for (const Root &root : m_roots)
        if (folder == root.path)
            return false;
    for (const QString &out : m_excluded)
        if (inside(folder, out))
            return true;
    return false;
}

bool FolderWatch::recursiveFolder(const QString &folder) const
{
    for (const Root &root : m_roots)
        if (root.recursive && inside(folder, root.path))
            return true;
    return false;
}

void FolderWatch::start()
{
    m_active = true;
    scanAll();
    m_scanTimer.start();
}

void FolderWatch::stop()
{
    m_active = false;
    m_scanTimer.stop();
    m_pendingTimer.stop();
    m_changedTimer.stop();
    const QStringList watched = m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
}

int FolderWatch::knownFiles() const
{
    int count = 0;
    for (const Files &files : m_folders)
        count += int(files.size());
    return count;
}

void FolderWatch::scanAll()
{
    for (Root &root : m_roots) {
        const QByteArray name = QFile::encodeName(root.path);
        struct stat status = {};
        QString problem;
        if (::stat(name.constData(), &status) != 0)
            problem = QString::fromLocal8Bit(std::strerror(errno));
        else if (!S_ISDIR(status.st_mode))
            problem = tr("kein Ordner");
        else if (::access(name.constData(), R_OK | X_OK) != 0)
            problem = QString::fromLocal8Bit(std::strerror(errno));
        if (problem != root.problem) {
            root.problem = problem;
            emit folderProblem(root.path, problem);
        }
        if (problem.isEmpty())
            scanFolder(root.path, root.recursive);
        else
            forgetFolder(root.path);
    }
    // Subfolders known from earlier looks are looked at through their parents.
}

void FolderWatch::scanChanged()
{
    const QSet<QString> changed = std::exchange(m_changed, {});
    for (const QString &folder : changed)
        if (m_folders.contains(folder))
            scanFolder(folder, recursiveFolder(folder));
}

void FolderWatch::forgetFolder(const QString &folder)
{
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (inside(it.key(), folder)) {
            for (auto file = it->cbegin(); file != it->cend(); ++file)
                m_pending.remove(it.key() + u'/' + file.key());
            m_watcher.removePath(it.key());
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderWatch::scanFolder(const QString &folder, bool recursive)
{
    const QByteArray encoded = QFile::encodeName(folder);
    DIR *dir = ::opendir(encoded.constData());
    if (!dir) {
        forgetFolder(folder);
        return;
    }
    // Watched before it is read: a file made in between is then announced.
    if (m_active && !m_folders.contains(folder))
        m_watcher.addPath(folder);
    Files &files = m_folders[folder];
    for (Seen &seen : files)
        seen.present = false;
    QStringList subfolders;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const char *raw = entry->d_name;
        if (raw[0] == '.')
            continue; // ".", "..", hidden files and folders
        struct stat status = {};
        if (::fstatat(fd, raw, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const bool link = S_ISLNK(status.st_mode);
        if (link && ::fstatat(fd, raw, &status, 0) != 0)
            continue; // a link to nothing
        const QString name = QFile::decodeName(raw);
        if (S_ISDIR(status.st_mode)) {
            if (recursive && !link)
                subfolders << folder + u'/' + name;
            continue;
        }
        if (!isWatchedName(name))
            continue;
        Seen &seen = files[name];
        seen.present = true;
        if (seen.refused)
            continue;
        if (QFile::encodeName(name) != QByteArray(raw)) {
            seen.refused = true;
            emit fileRefused(folder + u'/' + name,
                             tr("Der Name ist kein gültiges UTF-8 und kann nicht an ffmpeg übergeben werden. "
                                "Bitte benennen Sie die Datei um."));
            continue;
        }
        if (!S_ISREG(status.st_mode)) {
            seen.refused = true;
            emit fileRefused(folder + u'/' + name,
                             tr("Keine gewöhnliche Datei (eine benannte Pipe, ein Gerät oder ein Socket); "
                                "sie wird nicht umgewandelt."));
            continue;
        }
        consider(folder, name, seen, qint64(status.st_size), modifiedNs(status));
    }
    ::closedir(dir);
    for (auto it = files.begin(); it != files.end();) {
        if (it->present) {
            ++it;
        } else {
            m_pending.remove(folder + u'/' + it.key());
            it = files.erase(it);
        }
    }
    // Subfolders that are gone go with everything below them.
    if (recursive) {
        const QString prefix = folder + u'/';
        QStringList gone;
        for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it)
            if (it.key().startsWith(prefix) && !it.key().mid(prefix.size()).contains(u'/') &&
                !subfolders.contains(it.key()))
                gone << it.key();
        for (const QString &old : std::as_const(gone))
            forgetFolder(old);
    }
    for (const QString &subfolder : std::as_const(subfolders))
        if (!excluded(subfolder))
            scanFolder(subfolder, true);
    if (!m_pending.isEmpty() && !m_pendingTimer.isActive() && m_active)
        m_pendingTimer.start(std::clamp(m_settleMs / 4, 50, 1000));
}

void FolderWatch::consider(const QString &folder, const QString &name, Seen &seen, qint64 size,
                           qint64 modifiedNs)
{
    const QString path = folder + u'/' + name;
    const qint64 now = m_clock.elapsed();
    if (seen.size != size || seen.modifiedNs != modifiedNs) {
        // First seen, or written since: it settles from now on, and a new version
        // of a file done before is a file of its own.
        seen.size = size;
        seen.modifiedNs = modifiedNs;
        seen.sameSinceMs = now;
        seen.reported = m_skip && m_skip(path, size, modifiedNs);
        if (!seen.reported && size > 0)
            m_pending.insert(path);
        else
            m_pending.remove(path);
        return;
    }
    if (seen.reported || size == 0)
        return;
    if (now - seen.sameSinceMs >= m_settleMs) {
        seen.reported = true;
        m_pending.remove(path);
        emit fileReady(path, size, modifiedNs);
    } else {
        m_pending.insert(path);
    }
}

void FolderWatch::checkPending()
{
    // Only the files waiting to settle are looked at again, not the folders.
    const QStringList waiting(m_pending.cbegin(), m_pending.cend());
    for (const QString &path : waiting) {
        const qsizetype slash = path.lastIndexOf(u'/');
        const QString folder = path.left(slash);
        const QString name = path.mid(slash + 1);
        auto files = m_folders.find(folder);
        if (files == m_folders.end() || !files->contains(name)) {
            m_pending.remove(path);
            continue;
        }
        struct stat status = {};
        if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
            // Gone or renamed away: the next look at its folder sorts it out.
            m_pending.remove(path);
            files->remove(name);
            continue;
        }
        consider(folder, name, (*files)[name], qint64(status.st_size), modifiedNs(status));
    }
    if (m_pending.isEmpty())
        m_pendingTimer.stop();
}

void FolderWatch::retake(const QString &path, int afterMs)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    auto files = m_folders.find(path.left(slash));
    if (files == m_folders.end())
        return;
    auto seen = files->find(path.mid(slash + 1));
    if (seen == files->end())
        return;
    seen->reported = false;
    seen->sameSinceMs = m_clock.elapsed() + afterMs - m_settleMs;
    m_pending.insert(path);
    if (m_active && !m_pendingTimer.isActive())
        m_pendingTimer.start(std::clamp(m_settleMs / 4, 50, 1000));
}
