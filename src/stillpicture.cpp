#include "stillpicture.h"

#include "converter.h"
#include "timerange.h"

#include <QProcess>

#include <cmath>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

QStringList stillArguments(const QString &path, double seconds, const QSize &bounds)
{
    const QString name = path.startsWith(u'/') ? path : u"file:"_s + path;
    QStringList args{u"-v"_s, u"error"_s, u"-nostdin"_s};
    // "-ss" before "-i" jumps to the key frame before the time and decodes from
    // there: fast and exact.
    if (seconds > 0 && std::isfinite(seconds))
        args << u"-ss"_s << converterSeconds(seconds);
    // Pixels that are not square are first stretched to the shape they are shown
    // in; then the picture shrinks (never grows) until it fits the bounds.
    QString filter = u"scale=iw*sar:ih,setsar=1"_s;
    if (bounds.width() > 0 && bounds.height() > 0)
        filter +=
            u",scale=w='min(%1,iw)':h='min(%2,ih)':force_original_aspect_ratio=decrease"_s.arg(bounds.width())
                .arg(bounds.height());
    args << u"-i"_s << name << u"-an"_s << u"-sn"_s << u"-dn"_s << u"-frames:v"_s << u"1"_s << u"-vf"_s
         << filter << u"-c:v"_s << u"png"_s << u"-f"_s << u"image2pipe"_s << u"-"_s;
    return args;
}

double stillSeconds(double durationSeconds, std::optional<double> partStart)
{
    if (partStart && *partStart > 0)
        return *partStart;
    return durationSeconds > 0 && std::isfinite(durationSeconds) ? durationSeconds / 10 : 0;
}

StillPicture::StillPicture(QObject *parent) : QObject(parent)
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(pauseMs);
    connect(&m_pause, &QTimer::timeout, this, [this] { start(m_seconds); });
    m_runLimit.setSingleShot(true);
    m_runLimit.setInterval(runLimitMs);
    // A converter stuck on a file (a hanging network share, a broken stream) gives
    // no picture rather than keeping a process alive.
    connect(&m_runLimit, &QTimer::timeout, this, [this] {
        const QString path = m_path;
        stopProcess();
        emit noPicture(path);
    });
}

StillPicture::~StillPicture()
{
    // Every converter still running, cancelled ones included, ends with us; after
    // a kill the wait is short.
    for (QProcess *process : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
}

void StillPicture::request(const QString &path, double seconds, const QSize &bounds)
{
    cancel();
    m_path = path;
    m_seconds = seconds;
    m_bounds = bounds;
    start(seconds);
}

void StillPicture::requestSoon(const QString &path, double seconds, const QSize &bounds)
{
    cancel();
    m_path = path;
    m_seconds = seconds;
    m_bounds = bounds;
    m_pause.start();
}

void StillPicture::cancel()
{
    m_pause.stop();
    stopProcess();
}

void StillPicture::stopProcess()
{
    m_runLimit.stop();
    m_output.clear();
    QProcess *process = m_process;
    m_process = nullptr;
    if (!process)
        return;
    // The process is killed and left to delete itself once it has ended, so that
    // the caller never waits for it.
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->kill();
}

void StillPicture::start(double seconds)
{
    stopProcess();
    m_seconds = seconds;
    auto *process = new QProcess(this);
    m_process = process;
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // Should the program die, the converter goes with it.
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(255);
    });
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        m_output += process->readAllStandardOutput();
        if (m_output.size() > largestOutput) {
            const QString path = m_path;
            stopProcess();
            emit noPicture(path);
        }
    });
    connect(process, &QProcess::finished, this, &StillPicture::finish);
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash or a kill ends in finished()
        const QString path = m_path;
        stopProcess();
        emit noPicture(path);
    });
    m_runLimit.start();
    process->start(converterProgram(), stillArguments(m_path, seconds, m_bounds), QIODevice::ReadOnly);
}

void StillPicture::finish()
{
    QProcess *process = m_process;
    if (!process)
        return;
    m_output += process->readAllStandardOutput();
    const bool ran = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    QImage picture = ran ? QImage::fromData(m_output, "PNG") : QImage();
    const QString path = m_path;
    const double seconds = m_seconds;
    stopProcess();
    if (!picture.isNull()) {
        if (m_bounds.isValid() && !m_bounds.isEmpty() &&
            (picture.width() > m_bounds.width() || picture.height() > m_bounds.height()))
            picture = picture.scaled(m_bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        emit pictureReady(path, picture);
        return;
    }
    // Nothing at the time asked for: an audio file's cover is lost by any seek,
    // and a short file may end before it. The start is tried once more.
    if (seconds > 0) {
        start(0);
        return;
    }
    emit noPicture(path);
}
