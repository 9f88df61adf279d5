// Whether a run that the converter ended with success really left a usable file:
// what the converter's own report says it wrote, checked against what ffprobe
// finds in the file.
#ifndef OUTPUTCHECK_H
#define OUTPUTCHECK_H

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "job.h"

// One stream of the output as the converter listed it.
struct OutputStream
{
    QString type;        // "video", "audio", "subtitle", "data" or "attachment", as ffprobe names them
    QString codec;       // e.g. "h264"; "none" when the converter did not know it
    QString pixelFormat; // video only; empty when the line did not tell one
};

// What a run must have produced, from its report on standard error.
struct OutputExpectation
{
    bool reported = false;   // the report listed the output ("Output #0, ...")
    bool nullOutput = false; // written to the null muxer (a first pass): nothing to check
    QString format;          // the muxer, e.g. "mp4", "matroska"
    QList<OutputStream> streams;
    double seconds = 0;    // the last position ("time=") of the run; 0: not told
    qint64 kilobytes = -1; // the size it wrote by its last status line, in KiB; -1: not told
    // The converter said a write failed because the disk (or the user's quota) is
    // full. It may still end with status 0 and leave a cut file.
    bool diskFull = false;
};

// Reads a converter's standard error as it arrives, in pieces split anywhere, and
// keeps only what the expectation needs: the stream lines of the first output and
// the last status line. Memory stays small however long the run.
class OutputReportReader
{
public:
    void feed(QByteArrayView bytes);
    OutputExpectation expectation() const;

private:
    void takeLine(QByteArrayView line);

    QByteArray m_partial;
    QByteArray m_lastStatus;
    OutputExpectation m_result;
    enum class Section { Before, Name, Streams, After } m_section = Section::Before;
};

// The same for a whole report at once.
OutputExpectation readOutputExpectation(QByteArrayView report);

// A German text for a full disk: names the folder of the output that could not
// be written and says what to do.
QString diskFullReason(const QString &outputFolder);

// writesNoFile() (job.h) tells the runs that write no file: they are not checked.

// The ffprobe arguments for the check: only the entries it reads, errors only.
QStringList outputProbeArguments(const QString &file);

// A German reason when the output is missing, empty, or smaller than the size the
// converter reported at its end (cut off after it was written), else empty. Costs
// one stat and catches what a header that claims the whole length would hide.
QString checkOutputFile(const QString &file, const OutputExpectation &expectation);

// Empty when ffprobe's JSON (from outputProbeArguments) shows every stream the
// converter reported, each in a readable format, and a duration as long as the
// run's last position within a tolerance; otherwise a German reason beginning
// "Die Ausgabedatei ist unvollständig: ". Null outputs always pass.
QString checkOutput(const QByteArray &probeJson, const OutputExpectation &expectation);

// Runs the whole check for one output without blocking: the file's presence, then
// ffprobe (killed after a time limit), then checkOutput. Emits finished() once,
// always after start() has returned.
class OutputProbe : public QObject
{
    Q_OBJECT

public:
    explicit OutputProbe(QObject *parent = nullptr);
    ~OutputProbe() override;

    // `workingDirectory` is the run's own, where a relative output name lies.
    void start(const QString &file, const OutputExpectation &expectation,
               const QString &workingDirectory = QString());
    // Ends a running check without a result (the batch was stopped).
    void cancel();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    static constexpr int timeLimitMs = 60000;

signals:
    // Empty when the output is fine, otherwise the reason in German.
    void finished(const QString &reason);

private:
    void finish(const QString &reason);
    void stopProcess();

    QProcess m_process;
    QTimer m_timeLimit;
    OutputExpectation m_expectation;
    bool m_done = true;
    quint64 m_run = 0; // tells a stale queued result from the current check's
};

#endif
