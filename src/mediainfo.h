// Picking the lines worth showing out of the converter's description of an input:
// the "Duration" line and the first two "Stream" lines.
#ifndef MEDIAINFO_H
#define MEDIAINFO_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

class InfoCollector
{
public:
    InfoCollector();

    // Forget everything of the previous file; `file` is the one described next.
    void start(const QString &file = QString());
    QString file() const { return m_file; }

    // Takes the next piece of the info run's standard error. Returns true once the
    // description is complete (the converter's closing complaint that at least one
    // output file is needed has arrived).
    bool feed(QByteArrayView bytes);

    // The duration line and up to two stream lines, each from its keyword on,
    // without the line end, in the order the converter printed them.
    QStringList lines() const;

    // The last non-empty line seen: the converter's reason when it could not read
    // the file.
    QString lastLine() const;

    bool complete() const { return m_complete; }

private:
    void takeLine(QStringView line);

    QByteArray m_partial; // the line begun but not yet ended
    QString m_file;
    QString m_duration;
    QStringList m_streams;
    QString m_lastLine;
    bool m_complete = false;
};

#endif
