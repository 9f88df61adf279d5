#include "mediainfo.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype maxLineLength = 4096;
}

InfoCollector::InfoCollector() = default;

void InfoCollector::start(const QString &file)
{
    m_file = file;
    m_partial.clear();
    m_duration.clear();
    m_streams.clear();
    m_lastLine.clear();
    m_complete = false;
}

bool InfoCollector::feed(QByteArrayView bytes)
{
    // Split on the raw bytes, decode each complete line on its own, and count a
    // line with its first maxLineLength bytes only: bounded, and the same however
    // the output was split into chunks.
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    while (at < size) {
        const void *found = std::memchr(data + at, '\n', size_t(size - at));
        const qsizetype end = found ? static_cast<const char *>(found) - data : size;
        const qsizetype room = std::max<qsizetype>(0, maxLineLength - m_partial.size());
        const QByteArrayView piece(data + at, std::min(end - at, room));
        if (end == size) {
            m_partial += piece;
            break;
        }
        if (m_partial.isEmpty()) {
            takeLine(QString::fromUtf8(piece));
        } else {
            m_partial += piece;
            takeLine(QString::fromUtf8(std::exchange(m_partial, QByteArray())));
        }
        at = end + 1;
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
    // The closing complaint starts its line; a title or a file name that merely
    // holds the words ("at least one take.avi") must not end the description.
    if (line.startsWith(u"At least one"_s, Qt::CaseInsensitive)) {
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
    const QString partial = QString::fromUtf8(m_partial).trimmed();
    return partial.isEmpty() ? m_lastLine : partial;
}
