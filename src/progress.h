// Reading the converter's standard error while it converts: the input's duration,
// the position reached, the speed, and a bounded tail of the last lines for the
// error box.
#ifndef PROGRESS_H
#define PROGRESS_H

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

// What one chunk of output changed on screen.
struct ProgressReading
{
    std::optional<int> percent;       // 0 to 100, truncated
    std::optional<QString> remaining; // "m:ss"
};

// Remaining time as minutes and two-digit seconds, e.g. 75:03.
QString formatRemaining(double seconds);

// Parses "hh:mm:ss.xx" or plain seconds; nothing for "N/A", negative or no number.
std::optional<double> parseTimestamp(QStringView text);

class ProgressParser
{
public:
    ProgressParser();

    // Forget the previous run: position, duration, part, half-read line and tail.
    void startRun();

    // The run converts only a part of its input: from start (seconds into the
    // file) for length seconds, or to the end when no length is given. The total
    // is then the part's length (or the duration the converter prints minus the
    // start), and percent and remaining time count the part. Holds until the next
    // startRun().
    void expectPart(double start, std::optional<double> length);

    // Takes the next piece of output, split anywhere (even inside a character),
    // and tells what the complete lines in it mean for the display. frameRate is
    // only used when the converter reports no speed factor.
    ProgressReading feed(QByteArrayView bytes, double frameRate);

    double totalSeconds() const { return m_totalSeconds; }
    double elapsedSeconds() const { return m_elapsedSeconds; }
    bool durationKnown() const { return m_totalSeconds > 0; }
    int percent() const { return m_percent; }
    // The remaining seconds the newest status line told, when one did.
    std::optional<double> remainingSeconds() const { return m_remainingSeconds; }

    // The last lines of output (at most maxTailLines), the half line included.
    QString tail() const;

    static constexpr int maxTailLines = 100;
    static constexpr qsizetype maxLineLength = 4096;

private:
    // What one status line tells: its position, and when the duration is known
    // the percentage and the remaining seconds.
    struct StatusFigures
    {
        std::optional<double> position;
        std::optional<int> percent;
        std::optional<double> remainingSeconds;
    };
    StatusFigures statusFigures(QStringView content, double frameRate) const;
    void takeLine(QStringView line, bool endedByReturn, double frameRate, ProgressReading &reading);
    void takeSeries(QList<QByteArrayView> &series, double frameRate, ProgressReading &reading);
    void remember(QStringView line, bool endedByReturn);

    QByteArray m_partial; // the line begun but not yet ended
    std::deque<QString> m_tail;
    bool m_lastTailWasStatus = false;
    double m_totalSeconds = 0;
    bool m_durationRead = false; // the first input's duration line was seen
    double m_fileSeconds = 0;    // what that line said
    bool m_part = false;         // expectPart() was told for this run
    double m_partStart = 0;
    double m_elapsedSeconds = 0;
    int m_percent = 0;
    std::optional<double> m_remainingSeconds;
};

#endif
