#include "mediainfo.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype maxLineLength = 4096;
}

InfoCollector::InfoCollector() : m_decoder(QStringDecoder::System) {}

void InfoCollector::start()
{
    m_decoder.resetState();
    m_partial.clear();
    m_duration.clear();
    m_streams.clear();
    m_lastLine.clear();
    m_complete = false;
}

bool InfoCollector::feed(QByteArrayView bytes)
{
    const QString text = m_decoder.decode(bytes);
    QStringView rest(text);
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf(u'\n');
        // A line counts with its first maxLineLength characters only: bounded, and
        // the same however the output was split into chunks.
        if (end < 0) {
            m_partial += rest.left(std::max<qsizetype>(0, maxLineLength - m_partial.size()));
            break;
        }
        if (m_partial.isEmpty()) {
            takeLine(rest.left(std::min(end, maxLineLength)));
        } else {
            m_partial += rest.left(std::max<qsizetype>(0, std::min(end, maxLineLength - m_partial.size())));
            takeLine(std::exchange(m_partial, QString()));
        }
        rest = rest.mid(end + 1);
    }
    return m_complete;
}

void InfoCollector::takeLine(QStringView line)
{
    if (line.endsWith(u'\r'))
        line.chop(1);
    line = line.trimmed();
    if (line.isEmpty())
        return;
    m_lastLine = line.toString();
    if (line.contains(u"least one"_s)) {
        m_complete = true;
    } else if (m_duration.isEmpty() && line.startsWith(u"Duration"_s)) {
        m_duration = m_lastLine;
    } else if (m_streams.size() < 2 && line.startsWith(u"Stream"_s)) {
        m_streams << m_lastLine;
    }
}

QStringList InfoCollector::lines() const
{
    QStringList shown;
    if (!m_duration.isEmpty())
        shown << m_duration;
    return shown + m_streams;
}

QString InfoCollector::lastLine() const
{
    return m_partial.trimmed().isEmpty() ? m_lastLine : m_partial.trimmed();
}
