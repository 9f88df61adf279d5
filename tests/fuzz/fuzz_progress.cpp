// The progress reader must give the same display and the same error details
// however the converter's output is split into reads, keep the percentage within
// 0 to 100, and keep its memory bounded.
#include <QByteArrayView>
#include <QString>

#include <cstdlib>

#include "chunks.h"
#include "progress.h"

namespace {
struct Result
{
    int percent = -1;
    QString remaining;
    double total = 0;
    double elapsed = 0;
    QString tail;
    bool operator==(const Result &o) const
    {
        return percent == o.percent && remaining == o.remaining && total == o.total && elapsed == o.elapsed &&
               tail == o.tail;
    }
};

Result readAll(const QList<QByteArrayView> &pieces)
{
    ProgressParser parser;
    parser.startRun();
    Result result;
    for (QByteArrayView piece : pieces) {
        const ProgressReading reading = parser.feed(piece, 25);
        if (reading.percent) {
            if (*reading.percent < 0 || *reading.percent > 100)
                std::abort();
            result.percent = *reading.percent;
        }
        if (reading.remaining)
            result.remaining = *reading.remaining;
    }
    result.total = parser.totalSeconds();
    result.elapsed = parser.elapsedSeconds();
    result.tail = parser.tail();
    const qsizetype bound = (ProgressParser::maxTailLines + 1) * (ProgressParser::maxLineLength + 1);
    if (result.tail.size() > bound)
        std::abort();
    return result;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const Result whole = readAll(chunked(data + 1, size - 1, 0));
    const Result pieces = readAll(chunked(data + 1, size - 1, data[0]));
    if (!(whole == pieces))
        std::abort();
    return 0;
}
