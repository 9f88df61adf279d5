// Small measuring helpers shared by the benchmark programs.
#ifndef BENCHUTIL_H
#define BENCHUTIL_H

#include <QFile>

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

inline void reportReady()
{
    std::printf("ready %ld\n", residentKiB());
    std::fflush(stdout);
}

#endif
