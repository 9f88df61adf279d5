#include "batchfile.h"

#include <QIODevice>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

bool caseInsensitiveLessThan(const QString &a, const QString &b)
{
    return a.toLower() < b.toLower();
}

QString jobText(const QStringList &arguments)
{
    return arguments.join(u',');
}

QStringList jobArguments(const QString &jobText)
{
    return jobText.split(u',');
}

std::optional<double> jobFrameRate(const QString &jobText)
{
    static const QRegularExpression rate(u"-r,[2-3][0-9]"_s);
    const QRegularExpressionMatch match = rate.match(jobText);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured().mid(3, 2).toDouble();
}

QString jobInput(const QString &jobText)
{
    return jobText.section(u',', 2, 2);
}

QString jobOutput(const QString &jobText)
{
    return jobText.section(u',', -1);
}

QStringList readJobTexts(QIODevice &device)
{
    QTextStream in(&device);
    in.setAutoDetectUnicode(true);
    QStringList texts;
    QString line;
    while (in.readLineInto(&line))
        texts << line;
    return texts;
}

QByteArray batchFileContent(const QStringList &jobTexts)
{
    QByteArray content;
    for (const QString &text : jobTexts) {
        if (text.isEmpty())
            continue;
        content += text.toUtf8();
        content += '\n';
    }
    return content;
}

QString batchFileName(const QString &chosen)
{
    return chosen.endsWith(u".btc"_s) ? chosen : chosen + u".btc"_s;
}

bool writeWholeFile(QSaveFile &file, const QByteArray &content)
{
    if (!file.isOpen() && !file.open(QIODevice::WriteOnly))
        return false;
    // write() only fills a buffer; a full disk shows only when it is flushed, and a
    // commit after a failed flush would still replace the old file with a cut one.
    // Without a commit the save file is thrown away when it is destroyed, and its
    // error string keeps the reason.
    if (file.write(content) != content.size() || !file.flush())
        return false;
    return file.commit();
}
