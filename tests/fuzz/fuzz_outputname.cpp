// Output names over arbitrary input and wanted names: never the input itself
// (every argument list starts with "-y"), always with the codec's suffix, and the
// same name for the same request.
#include <QString>
#include <QStringList>

#include <cstdlib>

#include "arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Three names separated by NUL bytes: input, wanted name, codec suffix choice.
    const QStringList parts =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)).split(QChar(u'\0'));
    const QString input = parts.value(0);
    const QString wanted = parts.value(1);
    static const QStringList suffixes{QString(),
                                      QStringLiteral(".avi"),
                                      QStringLiteral(".mpg"),
                                      QStringLiteral(".flv"),
                                      QStringLiteral(".mp4"),
                                      QStringLiteral(".mp3")};
    const QString suffix = suffixes.value(int(parts.value(2).size() % suffixes.size()));

    const QString name = proposeOutputName(input, wanted, suffix);
    if (!input.isEmpty() && name == input)
        std::abort();
    if (!suffix.isEmpty() && !name.endsWith(suffix))
        std::abort();
    if (proposeOutputName(input, wanted, suffix) != name)
        std::abort();
    return 0;
}
