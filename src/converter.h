// The one place that starts the external converter, how its end is read, and how
// often its output is followed.
#ifndef CONVERTER_H
#define CONVERTER_H

#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <functional>

// The converter counts as installed when "/usr/bin/ffmpeg" exists (any kind of
// file) or when "ffmpeg" is found on the executable search path, which is how it
// is run.
bool converterInstalled();

// The converter to run: "ffmpeg" as found on the executable search path, or the
// bare name when it is not there, so that starting it fails as it should.
QString converterProgram();

// Starts the converter program with the given arguments as separate strings, no
// shell. Standard input is empty, so the converter can never sit waiting at a
// question; standard output goes nowhere (only standard error is read).
void startConverter(QProcess &process, const QString &program, const QStringList &arguments);

enum class RunOutcome { Success, Error, Cancelled, Crashed };

// Only exit code 0 is success; 255 follows the termination request. A converter
// killed by a signal after the user asked it to stop was cancelled, not crashed:
// the request can reach it before it is ready to end in order.
RunOutcome classifyExit(int exitCode, QProcess::ExitStatus exitStatus, bool stopRequested);

// Lets a display follow a stream of small events at most once per interval. The
// converter writes its report in many small pieces; read, parsed and painted one
// by one they cost more than everything else the window does during a run. The
// first event of a quiet spell is let through at once, later ones within the
// interval are handled together, once, when it ends.
class RefreshLimiter
{
public:
    RefreshLimiter(int intervalMs, std::function<void()> refresh);
    // True when the caller may refresh now. Otherwise the refresh function is
    // called when the interval ends, and that call is let through.
    bool admit();
    // A refresh that is waiting for the interval's end happens now, or never.
    void flush();
    void cancel();

private:
    QTimer m_timer;
    bool m_waiting = false;
    std::function<void()> m_refresh;
};

#endif
