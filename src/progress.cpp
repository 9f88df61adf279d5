#include "progress.h"

#include <algorithm>
#include <cmath>

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

std::optional<double> positiveNumber(QStringView text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0)
        return std::nullopt;
    return value;
}

// A status line starts with "frame=" (video) or "size=" (audio only) and carries
// a position; file names and metadata sit on lines of their own.
bool isStatusLine(QStringView line)
{
    return (line.startsWith(u"frame="_s) || line.startsWith(u"size="_s)) && line.contains(u"time="_s);
}

} // namespace

QString formatRemaining(double seconds)
{
    if (!(seconds > 0))
        seconds = 0;
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
    bool ok = false;
    if (!text.contains(u':')) {
        const double value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return std::nullopt;
        return value;
    }
    const auto parts = text.split(u':');
    if (parts.size() != 3)
        return std::nullopt;
    bool okH = false, okM = false, okS = false;
    const double h = parts[0].toDouble(&okH);
    const double m = parts[1].toDouble(&okM);
    const double s = parts[2].toDouble(&okS);
    if (!okH || !okM || !okS || h < 0 || m < 0 || s < 0)
        return std::nullopt;
    return h * 3600 + m * 60 + s;
}

ProgressParser::ProgressParser() = default;

void ProgressParser::startRun()
{
    m_partial.clear();
    m_tail.clear();
    m_lastTailWasStatus = false;
    m_totalSeconds = 0;
    m_elapsedSeconds = 0;
    m_percent = 0;
}

ProgressReading ProgressParser::feed(QByteArrayView bytes, double frameRate)
{
    // Lines are split on the raw bytes and each complete line is decoded on its own:
    // a line end byte never occurs inside a UTF-8 character, so a line reads the
    // same however the output was split into chunks, broken bytes included.
    ProgressReading reading;
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    while (at < size) {
        qsizetype end = at;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        // A line counts with its first maxLineLength bytes only, so that a
        // converter printing without line ends cannot grow it forever.
        const qsizetype room = std::max<qsizetype>(0, maxLineLength - m_partial.size());
        const QByteArrayView piece(data + at, std::min(end - at, room));
        if (end == size) {
            m_partial += piece; // no line end yet: keep it for the next chunk
            break;
        }
        const bool byReturn = data[end] == '\r';
        if (m_partial.isEmpty()) {
            takeLine(QString::fromUtf8(piece), byReturn, frameRate, reading);
        } else {
            m_partial += piece;
            takeLine(QString::fromUtf8(std::exchange(m_partial, QByteArray())), byReturn, frameRate,
                     reading);
        }
        at = end + 1;
    }
    return reading;
}

void ProgressParser::takeLine(QStringView line, bool endedByReturn, double frameRate,
                              ProgressReading &reading)
{
    if (line.isEmpty())
        return;
    remember(line, endedByReturn);
    const QStringView content = skipBlanks(line);

    if (content.startsWith(u"Duration:"_s)) {
        // Only the first input's duration counts.
        if (m_totalSeconds <= 0) {
            QStringView value = skipBlanks(content.mid(9));
            const qsizetype comma = value.indexOf(u',');
            if (comma >= 0)
                value = value.left(comma);
            if (const auto seconds = parseTimestamp(value); seconds && *seconds > 0)
                m_totalSeconds = *seconds;
        }
        return;
    }

    if (!isStatusLine(content))
        return;
    const auto timeText = valueAfter(content, u"time=");
    const auto position = timeText ? parseTimestamp(*timeText) : std::nullopt;
    if (!position)
        return;
    m_elapsedSeconds = *position;

    if (m_totalSeconds > 0) {
        const double percent = std::trunc(m_elapsedSeconds * 100 / m_totalSeconds);
        if (percent >= 0 && percent <= 100) {
            m_percent = static_cast<int>(percent);
            reading.percent = m_percent;
        }

        // The speed factor gives the remaining wall-clock time directly; the frame
        // count formula is the fallback for converters that report no factor.
        const auto speedText = valueAfter(content, u"speed=");
        const auto factor =
            speedText ? positiveNumber(speedText->endsWith(u'x') ? speedText->chopped(1) : *speedText)
                      : std::nullopt;
        if (factor) {
            reading.remaining = formatRemaining((m_totalSeconds - m_elapsedSeconds) / *factor);
        } else if (const auto fpsText = valueAfter(content, u"fps=")) {
            if (const auto fps = positiveNumber(*fpsText))
                reading.remaining =
                    formatRemaining((m_totalSeconds * frameRate - frameRate * m_elapsedSeconds) / *fps);
        }
    }
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
