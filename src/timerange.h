// A part of the source to convert: the times in the fields "Von" and "Bis", how
// they are checked, and how a run carries them as the converter's input options.
#ifndef TIMERANGE_H
#define TIMERANGE_H

#include <QString>
#include <QStringList>

#include <optional>

// Start and end in seconds from the beginning of the file; either may be absent.
struct TimeRange
{
    std::optional<double> from, to;
    bool isEmpty() const { return !from && !to; }
    // The seconds the range lasts, when it has an end.
    std::optional<double> length() const;
    bool operator==(const TimeRange &other) const { return from == other.from && to == other.to; }
};

// The range read from the fields, or the German reason it is refused (then the
// range is empty). An empty refusal means the range may be used.
struct RangeCheck
{
    TimeRange range;
    QString refusal;
};

// A time as typed into a field: "h:mm:ss", "m:ss" or plain seconds, each with an
// optional fraction after "," or ".". Minutes and seconds behind a larger unit
// stay below 60. Nothing for empty text; std::nullopt with ok == false for text
// that is no time.
std::optional<double> parseClockTime(const QString &text, bool *ok);

// Reads the two fields; durationSeconds 0 means unknown (then only the order is
// checked).
RangeCheck checkRange(const QString &from, const QString &to, double durationSeconds);

// The run with the range's input options ("-ss S" and "-t LEN", or only one of
// them) put just before its first "-i"; range options already there are replaced.
// Unchanged for an empty range or a run without "-i".
QStringList withRange(const QStringList &run, const TimeRange &range);

// The range a run carries, read back from its options before the first "-i".
TimeRange rangeOfRun(const QStringList &run);

// The note shown beside the fields when the video is copied.
QString copyCutNote();

// Seconds as the fields show them: "h:mm:ss", plus ".fff" only when there are
// fractions of a second.
QString formatClockTime(double seconds);

// Seconds as the converter reads them: dot decimal, no exponent, at most six
// decimals ("12.5", "3600").
QString converterSeconds(double seconds);

#endif
