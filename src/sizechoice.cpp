#include "sizechoice.h"

#include <QCoreApplication>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("SizeChoice", text);
}

int evenRounded(double value)
{
    return 2 * int(std::llround(value / 2));
}
} // namespace

QSize limitedSize(int maxHeight, int shownWidth, int shownHeight)
{
    const QSize source(shownWidth, shownHeight);
    if (maxHeight <= 0 || shownWidth <= 0 || shownHeight <= 0)
        return source;
    // The shorter side is bounded: a portrait picture by its width.
    if (shownHeight > shownWidth)
        return shownWidth <= maxHeight
                   ? source
                   : QSize(maxHeight, evenRounded(double(shownHeight) * maxHeight / shownWidth));
    return shownHeight <= maxHeight
               ? source
               : QSize(evenRounded(double(shownWidth) * maxHeight / shownHeight), maxHeight);
}

SizeChoice sizeChoice(int maxHeight, int shownWidth, int shownHeight)
{
    const SizeChoice own{tr("Originalgröße"), tr("Die Bildgröße der Quelle beibehalten")};
    if (maxHeight <= 0)
        return own;
    const QString limit = tr("Die kürzere Seite des Bildes wird höchstens %1 Pixel lang; ein kleineres Bild "
                             "behält seine Größe.")
                              .arg(maxHeight);
    if (shownWidth <= 0 || shownHeight <= 0)
        return {tr("höchstens %1p").arg(maxHeight), limit};
    const QSize made = limitedSize(maxHeight, shownWidth, shownHeight);
    if (made == QSize(shownWidth, shownHeight))
        return {own.text, own.toolTip + u". "_s + limit};
    return {tr("Größe %1×%2").arg(made.width()).arg(made.height()),
            tr("Das Bild der geöffneten Datei (%1×%2) wird auf %3×%4 verkleinert. ")
                    .arg(shownWidth)
                    .arg(shownHeight)
                    .arg(made.width())
                    .arg(made.height()) +
                limit};
}
