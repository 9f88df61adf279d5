// Small measuring helpers shared by the benchmark programs.
#ifndef BENCHUTIL_H
#define BENCHUTIL_H

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

// The resident memory of this process in KiB.
inline long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Shows the window as the program does, prints "ready RSS_KIB" once the event loop
// is idle, and ends (with BENCH_STAY set: stays until ended from outside).
template <typename Window> int runUntilIdle(QApplication &app, Window *window, bool maximized)
{
    if (maximized)
        window->showMaximized();
    else
        window->show();
    QTimer::singleShot(0, &app, [&] {
        std::printf("ready %ld\n", residentKiB());
        std::fflush(stdout);
        // Measured from outside, the window stays until it is ended.
        if (!qEnvironmentVariableIsSet("BENCH_STAY"))
            app.quit();
    });
    const int code = app.exec();
    delete window;
    return code;
}

#endif
