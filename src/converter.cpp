#include "converter.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

bool converterInstalled()
{
    return QFileInfo::exists(u"/usr/bin/ffmpeg"_s) || !QStandardPaths::findExecutable(u"ffmpeg"_s).isEmpty();
}

QString converterProgram()
{
    const QString found = QStandardPaths::findExecutable(u"ffmpeg"_s);
    return found.isEmpty() ? u"ffmpeg"_s : found;
}

void startConverter(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setStandardInputFile(QProcess::nullDevice());
    // The converter writes its files itself and reports on standard error only;
    // what might come on standard output is never read, so it is not collected.
    process.setStandardOutputFile(QProcess::nullDevice());
    // Should Quorvid itself die (a crash, a kill), the converter is asked to end as
    // Stop asks it, instead of writing on into a file the restored list redoes.
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(255);
    });
    process.start(program, arguments, QIODevice::ReadWrite);
}

RunOutcome classifyExit(int exitCode, QProcess::ExitStatus exitStatus, bool stopRequested)
{
    if (exitStatus == QProcess::CrashExit)
        return stopRequested ? RunOutcome::Cancelled : RunOutcome::Crashed;
    if (exitCode == 0)
        return RunOutcome::Success;
    if (exitCode == 255)
        return RunOutcome::Cancelled;
    return RunOutcome::Error;
}

RefreshLimiter::RefreshLimiter(int intervalMs, std::function<void()> refresh) : m_refresh(std::move(refresh))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (!m_waiting)
            return;
        m_waiting = false;
        m_refresh();
    });
}

void RefreshLimiter::flush()
{
    if (!m_waiting)
        return;
    m_timer.stop();
    m_waiting = false;
    m_refresh();
}

void RefreshLimiter::cancel()
{
    m_timer.stop();
    m_waiting = false;
}

bool RefreshLimiter::admit()
{
    if (m_timer.isActive()) {
        m_waiting = true;
        return false;
    }
    m_timer.start();
    return true;
}
