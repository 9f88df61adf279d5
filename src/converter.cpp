#include "converter.h"

#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

bool converterInstalled()
{
    return QFileInfo::exists(u"/usr/bin/ffmpeg"_s) || !QStandardPaths::findExecutable(u"ffmpeg"_s).isEmpty();
}

void startConverter(QProcess &process, const QStringList &arguments)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(u"ffmpeg"_s, arguments, QIODevice::ReadWrite);
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
