// The one place that starts the external converter, and how its end is read.
#ifndef CONVERTER_H
#define CONVERTER_H

#include <QProcess>
#include <QStringList>

// The converter counts as installed when "/usr/bin/ffmpeg" exists (any kind of
// file) or when "ffmpeg" is found on the executable search path, which is how it
// is run.
bool converterInstalled();

// Starts "ffmpeg" with the given arguments as separate strings, no shell. Standard
// input is empty, so the converter can never sit waiting at a question.
void startConverter(QProcess &process, const QStringList &arguments);

enum class RunOutcome { Success, Error, Cancelled, Crashed };

// Only exit code 0 is success; 255 follows the termination request. A converter
// killed by a signal after the user asked it to stop was cancelled, not crashed:
// the request can reach it before it is ready to end in order.
RunOutcome classifyExit(int exitCode, QProcess::ExitStatus exitStatus, bool stopRequested);

#endif
