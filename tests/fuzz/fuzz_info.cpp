// The information reader must pick the same lines however the converter's output
// is split into reads, and never more than a duration and two stream lines.
#include <QByteArrayView>
#include <QStringList>

#include <cstdlib>

#include "chunks.h"
#include "mediainfo.h"

namespace {
QStringList readAll(const QList<QByteArrayView> &pieces)
{
    InfoCollector info;
    info.start();
    bool complete = false;
    for (QByteArrayView piece : pieces) {
        const bool now = info.feed(piece);
        if (complete && !now)
            std::abort(); // once complete, always complete
        complete = now;
    }
    const QStringList lines = info.lines();
    if (lines.size() > 3)
        std::abort();
    return lines + QStringList{info.lastLine(), complete ? QStringLiteral("1") : QStringLiteral("0")};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    if (readAll(chunked(data + 1, size - 1, 0)) != readAll(chunked(data + 1, size - 1, data[0])))
        std::abort();
    return 0;
}
