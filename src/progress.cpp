#include "progress.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QStringView skipBlanks(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    return text.mid(i);
}

// The value after "key=" (blanks after the equals sign allowed) up to the next blank.
std::optional<QStringView> valueAfter(QStringView line, QStringView key)
{
    const qsizetype at = line.indexOf(key);
    if (at < 0)
        return std::nullopt;
    QStringView rest = skipBlanks(line.mid(at + key.size()));
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u' ' && rest[end] != u'\t')
        ++end;
    return rest.left(end);
}

// A whole text read as a decimal number ("12", "-0.5", "1.2e+03"), the way the
// converter prints them; nothing for anything else. Reads the digits directly:
// the general, locale-aware conversion costs far more than the rest of a line.
std::optional<double> decimalNumber(QStringView text)
{
    char buffer[64];
    qsizetype length = 0;
    for (const QChar c : text) {
        if (c.unicode() > 127 || length == qsizetype(sizeof buffer))
            return std::nullopt;
        buffer[length++] = char(c.unicode());
    }
    const char *first = buffer;
    if (length > 1 && *first == '+' && first[1] != '-')
        ++first;
    double value = 0;
    const auto [end, error] = std::from_chars(first, buffer + length, value, std::chars_format::general);
    if (error != std::errc() || end != buffer + length || length == 0 || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> positiveNumber(QStringView text)
{
    const auto value = decimalNumber(text);
    if (!value || *value <= 0)
        return std::nullopt;
    return value;
}

// A status line starts with "frame=" (video) or "size=" (audio only) and carries
// a position; file names and metadata sit on lines of their own.
bool isStatusLine(QStringView line)
{
    return (line.startsWith(u"frame=") || line.startsWith(u"size=")) && line.contains(u"time=");
}

} // namespace

QString formatRemaining(double seconds)
{
    if (!(seconds > 0))
        seconds = 0;
    // Absurd figures from a broken duration or speed must not overflow the
    // conversion to whole seconds; about 31,700 years is shown at most.
    seconds = std::min(seconds, 1e12);
    const qint64 whole = static_cast<qint64>(seconds);
    const qint64 minutes = whole / 60;
    const qint64 rest = whole - 60 * minutes;
    return QString::number(minutes) + u':' + (rest < 10 ? u"0"_s : QString()) + QString::number(rest);
}

std::optional<double> parseTimestamp(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.startsWith(u'-'))
        return std::nullopt;
    const qsizetype first = text.indexOf(u':');
    if (first < 0)
        return decimalNumber(text);
    const qsizetype second = text.indexOf(u':', first + 1);
    if (second < 0 || text.indexOf(u':', second + 1) >= 0)
        return std::nullopt;
    const auto h = decimalNumber(text.left(first));
    const auto m = decimalNumber(text.mid(first + 1, second - first - 1));
    const auto s = decimalNumber(text.mid(second + 1));
    if (!h || !m || !s || *h < 0 || *m < 0 || *s < 0)
        return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

ProgressParser::ProgressParser() = default;

void ProgressParser::startRun()
{
    m_partial.clear();
    m_tail.clear();
    m_lastTailWasStatus = false;
    m_totalSeconds = 0;
    m_durationRead = false;
    m_fileSeconds = 0;
    m_part = false;
    m_partStart = 0;
    m_elapsedSeconds = 0;
    m_percent = 0;
    m_remainingSeconds.reset();
}

void ProgressParser::expectPart(double start, std::optional<double> length)
{
    m_part = true;
    m_partStart = start > 0 ? start : 0;
    // The converter's time= counts from the part's start, so the part's length is
    // the whole that the position is measured against.
    if (length && *length > 0)
        m_totalSeconds = *length;
    else
        m_totalSeconds = m_durationRead ? std::max(0.0, m_fileSeconds - m_partStart) : 0;
}

namespace {
bool isDurationLine(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    return line.size() - i >= 9 && std::memcmp(line.data() + i, "Duration:", 9) == 0;
}
} // namespace

ProgressReading ProgressParser::feed(QByteArrayView bytes, double frameRate)
{
    // Lines are split on the raw bytes and each complete line is decoded on its own:
    // a line end byte never occurs inside a UTF-8 character, so a line reads the
    // same however the output was split into chunks, broken bytes included.
    //
    // Lines ended by a carriage return (the status lines) come in long series that
    // overwrite each other; a series is read from its newest line backwards, so
    // that usually one line is parsed where the converter printed dozens.
    ProgressReading reading;
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    QByteArray firstLine; // the chunk's first line when it began in an earlier chunk
    QList<QByteArrayView> series;
    // The next line feed and carriage return at or after `at`, found with memchr.
    const auto nextOf = [&](char c, qsizetype from) {
        const void *found = std::memchr(data + from, c, size_t(size - from));
        return found ? static_cast<const char *>(found) - data : size;
    };
    qsizetype nextFeed = size > 0 ? nextOf('\n', 0) : 0;
    qsizetype nextReturn = size > 0 ? nextOf('\r', 0) : 0;
    qsizetype at = 0;
    while (at < size) {
        if (nextFeed < at)
            nextFeed = nextOf('\n', at);
        if (nextReturn < at)
            nextReturn = nextOf('\r', at);
        const qsizetype end = std::min(nextFeed, nextReturn);
        // A line counts with its first maxLineLength bytes only, so that a
        // converter printing without line ends cannot grow it forever.
        const qsizetype room = std::max<qsizetype>(0, maxLineLength - m_partial.size());
        const QByteArrayView piece(data + at, std::min(end - at, room));
        if (end == size) {
            m_partial += piece; // no line end yet: keep it for the next chunk
            break;
        }
        at = end + 1;
        const bool byReturn = data[end] == '\r';
        QByteArrayView line = piece;
        if (!m_partial.isEmpty()) {
            // Only the first line of a chunk can have begun in an earlier one; it
            // is kept here so that a series may refer to it until the chunk ends.
            m_partial += piece;
            firstLine = std::exchange(m_partial, QByteArray());
            line = firstLine;
        }
        if (line.isEmpty())
            continue; // empty lines mean nothing and do not end a series
        if (byReturn && !isDurationLine(line)) {
            series << line;
            continue;
        }
        takeSeries(series, frameRate, reading);
        takeLine(QString::fromUtf8(line), byReturn, frameRate, reading);
    }
    takeSeries(series, frameRate, reading);
    return reading;
}

void ProgressParser::takeSeries(QList<QByteArrayView> &series, double frameRate, ProgressReading &reading)
{
    if (series.isEmpty())
        return;
    // In the tail, each line of a series replaces the one before: the newest stays.
    remember(QString::fromUtf8(series.last()), true);
    // Each figure comes from the newest line that gives it, as if every line had
    // been read in order.
    bool havePosition = false, havePercent = false, haveRemaining = false;
    for (qsizetype i = series.size() - 1; i >= 0; --i) {
        const QString line = QString::fromUtf8(series[i]);
        const StatusFigures figures = statusFigures(skipBlanks(line), frameRate);
        if (figures.position && !havePosition) {
            m_elapsedSeconds = *figures.position;
            havePosition = true;
        }
        if (figures.percent && !havePercent) {
            m_percent = *figures.percent;
            reading.percent = m_percent;
            havePercent = true;
        }
        if (figures.remainingSeconds && !haveRemaining) {
            m_remainingSeconds = figures.remainingSeconds;
            reading.remaining = formatRemaining(*figures.remainingSeconds);
            haveRemaining = true;
        }
        if (havePosition && (m_totalSeconds <= 0 || (havePercent && haveRemaining)))
            break;
    }
    series.clear();
}

void ProgressParser::takeLine(QStringView line, bool endedByReturn, double frameRate,
                              ProgressReading &reading)
{
    if (line.isEmpty())
        return;
    remember(line, endedByReturn);
    const QStringView content = skipBlanks(line);

    if (content.startsWith(u"Duration:")) {
        // Only the first input's duration counts. It is the whole file's, also
        // when the run converts a part: then the part is what remains after the
        // start, unless its length was given.
        if (m_totalSeconds <= 0 && !m_durationRead) {
            QStringView value = skipBlanks(content.mid(9));
            const qsizetype comma = value.indexOf(u',');
            if (comma >= 0)
                value = value.left(comma);
            if (const auto seconds = parseTimestamp(value); seconds && *seconds > 0) {
                m_durationRead = true;
                m_fileSeconds = *seconds;
                m_totalSeconds = m_part ? std::max(0.0, *seconds - m_partStart) : *seconds;
            }
        }
        return;
    }

    const StatusFigures figures = statusFigures(content, frameRate);
    if (figures.position)
        m_elapsedSeconds = *figures.position;
    if (figures.percent) {
        m_percent = *figures.percent;
        reading.percent = m_percent;
    }
    if (figures.remainingSeconds) {
        m_remainingSeconds = figures.remainingSeconds;
        reading.remaining = formatRemaining(*figures.remainingSeconds);
    }
}

ProgressParser::StatusFigures ProgressParser::statusFigures(QStringView content, double frameRate) const
{
    StatusFigures figures;
    if (!isStatusLine(content))
        return figures;
    const auto timeText = valueAfter(content, u"time=");
    figures.position = timeText ? parseTimestamp(*timeText) : std::nullopt;
    if (!figures.position || m_totalSeconds <= 0)
        return figures;
    const double elapsed = *figures.position;
    double percent = std::trunc(elapsed * 100 / m_totalSeconds);
    // A part copied from the key frame before its start lasts a little longer
    // than asked: its end shows as 100 %, not as no figure at all.
    if (m_part)
        percent = std::min(percent, 100.0);
    if (percent >= 0 && percent <= 100)
        figures.percent = static_cast<int>(percent);

    // The speed factor gives the remaining wall-clock time directly; the frame
    // count formula is the fallback for converters that report no factor.
    const auto speedText = valueAfter(content, u"speed=");
    const auto factor = speedText
                            ? positiveNumber(speedText->endsWith(u'x') ? speedText->chopped(1) : *speedText)
                            : std::nullopt;
    const double left = m_part ? std::max(0.0, m_totalSeconds - elapsed) : m_totalSeconds - elapsed;
    if (factor) {
        figures.remainingSeconds = left / *factor;
    } else if (const auto fpsText = valueAfter(content, u"fps="); fpsText && frameRate > 0) {
        // Without a frame rate ("Original", or a job without "-r") the frame
        // count is unknown: no remaining time rather than a wrong one.
        if (const auto fps = positiveNumber(*fpsText))
            figures.remainingSeconds =
                (m_part ? left * frameRate : m_totalSeconds * frameRate - frameRate * elapsed) / *fps;
    }
    return figures;
}

void ProgressParser::remember(QStringView line, bool endedByReturn)
{
    // Status lines overwrite each other on a terminal; keep only the newest of a
    // series so that the tail holds the converter's messages, not its progress.
    const bool status = endedByReturn;
    QString kept = line.toString();
    if (status && m_lastTailWasStatus && !m_tail.empty()) {
        m_tail.back() = std::move(kept);
    } else {
        m_tail.push_back(std::move(kept));
        if (m_tail.size() > maxTailLines)
            m_tail.pop_front();
    }
    m_lastTailWasStatus = status;
}

QString ProgressParser::tail() const
{
    QString text;
    for (const QString &line : m_tail)
        text += line + u'\n';
    if (!m_partial.isEmpty())
        text += QString::fromUtf8(m_partial) + u'\n';
    return text;
}
