// Reading the facts of many files in the background: a queue, a few ffprobe runs
// at a time, never waiting on one.
#ifndef MEDIASURVEY_H
#define MEDIASURVEY_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

#include "mediafacts.h"

class QProcess;
class QTimer;

class MediaSurvey : public QObject
{
    Q_OBJECT

public:
    explicit MediaSurvey(QObject *parent = nullptr);
    ~MediaSurvey() override;

    // Defaults: "ffprobe" as found on the executable search path, 2 runs at a
    // time, 30 seconds for one file.
    void setProgram(const QString &program) { m_program = program; }
    void setParallel(int runs) { m_parallel = qMax(1, runs); }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Whether each video file is also looked at for black bars (on by default);
    // the look runs after the file has been reported by surveyed().
    void setBarsLook(bool on) { m_barsLook = on; }

    // Queues the files; each is reported once by surveyed(), in the order their
    // runs end, and a video file a second time by barsLooked() with its black bars
    // (MediaFacts::barsLooked tells whether the look succeeded). A file counts as
    // done after both.
    void add(const QStringList &paths);
    // Forgets the queue and kills the running probes; nothing more is reported
    // for them.
    void stop();

    bool busy() const { return !m_queue.isEmpty() || !m_running.empty(); }
    int done() const { return m_done; }
    int total() const { return m_total; }

signals:
    void surveyed(const QString &path, const MediaFacts &facts);
    void barsLooked(const QString &path, const MediaFacts &facts);
    void progressChanged(int done, int total);
    void finished(); // the queue is empty and no probe runs

private:
    struct Survey; // one file on its way

    void startNext();
    void startProbe(Survey *survey);
    void probeEnded(Survey *survey);
    void startFieldCheck(Survey *survey, const QString &fieldOrder);
    void finishFile(Survey *survey, const MediaFacts &facts);
    void startBarsLook(Survey *survey);
    void barsRunEnded(Survey *survey, bool ok);
    void completeFile(Survey *survey, const MediaFacts &facts, bool barsReported);

    QString m_program;
    int m_parallel = 2;
    int m_timeoutMs = 30000;
    QStringList m_queue;
    std::vector<std::unique_ptr<Survey>> m_running;
    int m_done = 0;
    int m_total = 0;
    int m_round = 0; // counts stop() calls
    bool m_barsLook = true;
};

#endif
