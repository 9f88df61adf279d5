#include "startcheck.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// The kind of a file that is no regular file, as a German noun with article;
// empty for a regular file or one that is not there (the converter names that).
QString oddKind(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    if (S_ISFIFO(status.st_mode))
        return u"eine benannte Pipe (FIFO)"_s;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return u"ein Gerät"_s;
    if (S_ISDIR(status.st_mode))
        return u"ein Ordner"_s;
    if (S_ISSOCK(status.st_mode))
        return u"ein Socket"_s;
    return u"keine gewöhnliche Datei"_s;
}

// The file an input argument names, or empty for a source that is no local file:
// a protocol ("http://", "pipe:"), standard input, or a generator of "-f lavfi".
QString localInput(const QStringList &run, qsizetype at)
{
    const QString &name = run[at];
    if (name.isEmpty() || name == u"-"_s)
        return {};
    for (qsizetype i = at - 2; i >= 0 && run[i] != u"-i"_s; --i)
        if (run[i] == u"-f"_s && run.value(i + 1) == u"lavfi"_s)
            return {};
    if (name.startsWith(u"file:"_s))
        return name.mid(5);
    static const QRegularExpression protocol(u"^[A-Za-z][A-Za-z0-9+.-]*:"_s);
    if (!name.startsWith(u'/') && protocol.match(name).hasMatch())
        return {};
    return name;
}

QString oddInput(const QString &input, const QString &kind)
{
    return u"Die Eingabe %1 ist %2, keine gewöhnliche Datei. ffmpeg würde darauf warten, ohne je fertig zu "
           "werden; Quorvid wandelt nur gewöhnliche Dateien um. Kopieren Sie den Inhalt in eine Datei und "
           "wandeln Sie diese um."_s.arg(QDir::toNativeSeparators(input), kind);
}

qsizetype environmentBytes()
{
    qsizetype bytes = 0;
    for (char **entry = environ; entry && *entry; ++entry)
        bytes += qsizetype(std::strlen(*entry)) + 1 + qsizetype(sizeof(char *));
    return bytes;
}

QString tooLong(qsizetype bytes, qsizetype limit)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    return u"Die Argumentliste des Jobs ist mit %1 Byte zu lang für das System (höchstens %2 Byte): "
           "ffmpeg kann damit nicht gestartet werden. Bitte kürzen Sie die Namen oder Filter des Jobs."_s.arg(
               german.toString(bytes), german.toString(limit));
}
} // namespace

QString startRefusal(const Job &job, const QString &workingFolder)
{
    const QDir folder(workingFolder.isEmpty() ? QDir::currentPath() : workingFolder);
    const qsizetype listLimit = qsizetype(::sysconf(_SC_ARG_MAX));
    const qsizetype environment = environmentBytes();
    // The files of a join and the added subtitle files are read as any input.
    for (const QString &input : job.readsBesideRuns())
        if (const QString kind = oddKind(folder.absoluteFilePath(input)); !kind.isEmpty())
            return oddInput(input, kind);
    for (const QStringList &run : job.allRuns()) {
        qsizetype total = environment;
        for (const QString &argument : run) {
            const qsizetype bytes = argument.toUtf8().size() + 1;
            if (bytes > longestArgumentBytes)
                return tooLong(bytes, longestArgumentBytes);
            total += bytes + qsizetype(sizeof(char *));
        }
        if (listLimit > 0 && total > listLimit)
            return tooLong(total, listLimit);
        for (qsizetype i = 0; i + 1 < run.size(); ++i) {
            if (run[i] != u"-i"_s)
                continue;
            const QString input = localInput(run, i + 1);
            if (input.isEmpty())
                continue;
            const QString kind = oddKind(folder.absoluteFilePath(input));
            if (!kind.isEmpty())
                return oddInput(input, kind);
        }
    }
    return {};
}

QString unstartedReason(const QString &processError)
{
    if (processError.contains(u"Argument list too long"_s))
        return u"ffmpeg konnte nicht gestartet werden: die Argumentliste ist zu lang für das System. Bitte "
               "kürzen Sie die Namen oder Filter des Jobs."_s;
    return u"ffmpeg konnte nicht gestartet werden."_s;
}
