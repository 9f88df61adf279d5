#include "timerange.h"

#include <QCoreApplication>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Times beyond this (about 11,500 days) are typing mistakes; refusing them keeps
// every later conversion of the figure in range.
constexpr double longestTime = 1e9;

// The header's duration is shown rounded to hundredths: an end typed from that
// display may lie that much behind the real end and still means "to the end".
constexpr double durationRounding = 0.01;

bool allDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// "ss", "ss.fff", ".fff" or "ss." as a number; nothing for anything else.
std::optional<double> secondsField(QString text)
{
    const qsizetype dot = text.indexOf(u'.');
    const QStringView whole = QStringView(text).left(dot < 0 ? text.size() : dot);
    const QStringView fraction = dot < 0 ? QStringView() : QStringView(text).mid(dot + 1);
    if ((!whole.isEmpty() && !allDigits(whole)) || (!fraction.isEmpty() && !allDigits(fraction)) ||
        (whole.isEmpty() && fraction.isEmpty()))
        return std::nullopt;
    if (whole.isEmpty())
        text.prepend(u'0');
    bool ok = false;
    const double value = text.toDouble(&ok); // C locale: the dot is the decimal mark
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The value of an option before the first "-i" of a run, read as a time the way
// the converter accepts it ("12.5", "1:02:03.5").
std::optional<double> optionTime(const QStringList &run, qsizetype inputAt, const QString &option)
{
    std::optional<double> value;
    for (qsizetype i = 0; i + 1 < inputAt; ++i) {
        if (run[i] == option) {
            bool ok = false;
            value = parseClockTime(run[i + 1], &ok); // the last one counts, as for the converter
            ++i;
        }
    }
    return value;
}

bool isRangeOption(const QString &argument)
{
    return argument == u"-ss"_s || argument == u"-t"_s || argument == u"-to"_s;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("TimeRange", text);
}

} // namespace

std::optional<double> TimeRange::length() const
{
    if (!to)
        return std::nullopt;
    return *to - from.value_or(0);
}

std::optional<double> parseClockTime(const QString &text, bool *ok)
{
    *ok = true;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    *ok = false;
    QString normal = trimmed;
    normal.replace(u',', u'.');
    const QStringList parts = normal.split(u':');
    if (parts.size() > 3)
        return std::nullopt;
    // Hours and minutes are whole numbers; only the last part carries a fraction.
    double total = 0;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (!allDigits(parts[i]) || parts[i].size() > 9)
            return std::nullopt;
        const double value = parts[i].toDouble();
        if (i > 0 && value >= 60) // minutes behind hours
            return std::nullopt;
        total = total * 60 + value;
    }
    const auto seconds = secondsField(parts.last());
    if (!seconds || (parts.size() > 1 && *seconds >= 60))
        return std::nullopt;
    total = total * 60 + *seconds;
    if (total > longestTime)
        return std::nullopt;
    *ok = true;
    return total;
}

RangeCheck checkRange(const QString &fromText, const QString &toText, double durationSeconds)
{
    RangeCheck check;
    bool ok = false;
    const auto from = parseClockTime(fromText, &ok);
    if (!ok) {
        check.refusal = tr("„%1“ im Feld „Von“ ist keine Zeitangabe. Geben Sie die Zeit als Stunden:Minuten:"
                           "Sekunden (z. B. 1:02:03,5), als Minuten:Sekunden oder in Sekunden ein.")
                            .arg(fromText.trimmed());
        return check;
    }
    const auto to = parseClockTime(toText, &ok);
    if (!ok) {
        check.refusal = tr("„%1“ im Feld „Bis“ ist keine Zeitangabe. Geben Sie die Zeit als Stunden:Minuten:"
                           "Sekunden (z. B. 1:02:03,5), als Minuten:Sekunden oder in Sekunden ein.")
                            .arg(toText.trimmed());
        return check;
    }
    const bool durationKnown = durationSeconds > 0 && std::isfinite(durationSeconds);
    if (durationKnown && from && *from >= durationSeconds) {
        check.refusal =
            tr("Der Anfang (%1) liegt nicht vor dem Ende der Datei (%2). Geben Sie bei „Von“ eine "
               "frühere Zeit ein.")
                .arg(formatClockTime(*from), formatClockTime(durationSeconds));
        return check;
    }
    if (to && *to <= from.value_or(0)) {
        check.refusal = tr("Das Ende (%1) liegt nicht nach dem Anfang (%2). Geben Sie bei „Bis“ eine spätere "
                           "Zeit als bei „Von“ ein oder lassen Sie „Bis“ leer.")
                            .arg(formatClockTime(*to), formatClockTime(from.value_or(0)));
        return check;
    }
    if (durationKnown && to && *to > durationSeconds + durationRounding) {
        check.refusal =
            tr("Das Ende (%1) liegt hinter dem Ende der Datei (%2). Geben Sie bei „Bis“ höchstens "
               "%2 ein oder lassen Sie das Feld leer, um bis zum Ende umzuwandeln.")
                .arg(formatClockTime(*to), formatClockTime(durationSeconds));
        return check;
    }
    check.range = {from, to};
    return check;
}

QStringList withRange(const QStringList &run, const TimeRange &range)
{
    qsizetype inputAt = run.indexOf(u"-i"_s);
    if (range.isEmpty() || inputAt < 0)
        return run;
    // Options already there would be read together with the new ones (the
    // converter takes the last "-ss" and prefers "-t" to "-to"): drop them.
    QStringList result;
    for (qsizetype i = 0; i < inputAt; ++i) {
        if (isRangeOption(run[i]) && i + 1 < inputAt)
            ++i;
        else
            result << run[i];
    }
    // Input options: "-ss" seeks in the source (exactly when re-encoding, to the
    // key frame before when copying) and "-t" counts from there. Both are
    // measured from the file's own start, whatever time stamp it begins with.
    if (range.from)
        result << u"-ss"_s << converterSeconds(*range.from);
    if (const auto length = range.length())
        result << u"-t"_s << converterSeconds(*length);
    result << run.mid(inputAt);
    return result;
}

TimeRange rangeOfRun(const QStringList &run)
{
    const qsizetype inputAt = run.indexOf(u"-i"_s);
    TimeRange range;
    if (inputAt < 0)
        return range;
    range.from = optionTime(run, inputAt, u"-ss"_s);
    // "-t" wins over "-to" for the converter too; "-to" is a position in the file.
    if (const auto length = optionTime(run, inputAt, u"-t"_s))
        range.to = range.from.value_or(0) + *length;
    else if (const auto end = optionTime(run, inputAt, u"-to"_s))
        range.to = end;
    return range;
}

QString copyCutNote()
{
    return tr("Beim Kopieren des Videos („copy“) beginnt der Teil am letzten Schlüsselbild vor „Von“, also "
              "meist etwas früher. Wählen Sie einen Video-Codec, wenn er genau bei „Von“ beginnen soll.");
}

QString formatClockTime(double seconds)
{
    if (!(seconds > 0))
        seconds = 0;
    const qint64 ms = std::llround(std::min(seconds, longestTime) * 1000);
    const qint64 hours = ms / 3'600'000;
    const qint64 minutes = ms / 60'000 % 60;
    const qint64 wholeSeconds = ms / 1000 % 60;
    const qint64 fraction = ms % 1000;
    QString text =
        u"%1:%2:%3"_s.arg(hours).arg(minutes, 2, 10, QChar(u'0')).arg(wholeSeconds, 2, 10, QChar(u'0'));
    if (fraction != 0)
        text += u'.' + u"%1"_s.arg(fraction, 3, 10, QChar(u'0'));
    return text;
}

QString converterSeconds(double seconds)
{
    if (!(seconds > 0))
        return u"0"_s;
    QString text = QString::number(std::min(seconds, longestTime), 'f', 6);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}
