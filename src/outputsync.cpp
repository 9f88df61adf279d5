#include "outputsync.h"

#include <QFile>
#include <QFileInfo>
#include <QPromise>
#include <QSet>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace {
void syncPath(const QString &path, int flags)
{
    // Never waits for a writer: an output that is a named pipe opens at once and
    // is passed over, as is anything else that is no file or folder.
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info;
    if (::fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)))
        ::fsync(fd);
    ::close(fd);
}

OutputSync::SyncFunction &syncFunction()
{
    static OutputSync::SyncFunction function = syncToDisk;
    return function;
}
} // namespace

void syncToDisk(const QStringList &files)
{
    QSet<QString> folders;
    for (const QString &file : files) {
        syncPath(file, O_RDONLY);
        folders.insert(QFileInfo(file).absolutePath());
    }
    // A new file's name lives in its folder: without it the file may be gone.
    for (const QString &folder : std::as_const(folders))
        syncPath(folder, O_RDONLY | O_DIRECTORY);
}

OutputSync::OutputSync(QObject *parent) : QObject(parent)
{
    m_slowTimer.setSingleShot(true);
    m_slowTimer.setInterval(500);
    connect(&m_slowTimer, &QTimer::timeout, this, &OutputSync::slow);
    connect(&m_watcher, &QFutureWatcher<void>::finished, this, [this] {
        if (!m_running)
            return;
        m_running = false;
        m_slowTimer.stop();
        emit finished();
    });
}

void OutputSync::start(const QStringList &files)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    // A watcher given a new future no longer hears of the one before.
    m_watcher.setFuture(promise->future());
    m_running = true;
    m_slowTimer.start();
    QThreadPool::globalInstance()->start([promise, files, sync = syncFunction()] {
        sync(files);
        promise->finish();
    });
}

OutputSync::SyncFunction OutputSync::setSyncFunction(SyncFunction function)
{
    return std::exchange(syncFunction(), std::move(function));
}
