// Splits a fuzzer's input into pieces: the first byte chooses the piece sizes, so
// that the same text is tried with many different chunkings.
#ifndef FUZZ_CHUNKS_H
#define FUZZ_CHUNKS_H

#include <QByteArrayView>
#include <QList>

#include <cstddef>
#include <cstdint>

inline QList<QByteArrayView> chunked(const uint8_t *data, size_t size, uint8_t seed)
{
    QList<QByteArrayView> pieces;
    uint32_t state = seed * 2654435761u + 1;
    size_t at = 0;
    while (at < size) {
        state = state * 1103515245u + 12345u;
        const size_t length = seed == 0 ? size : 1 + (state >> 16) % (seed % 64 + 1);
        const size_t take = length < size - at ? length : size - at;
        pieces << QByteArrayView(reinterpret_cast<const char *>(data + at), qsizetype(take));
        at += take;
    }
    return pieces;
}

#endif
