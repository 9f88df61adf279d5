// What the "Originalgröße" check box says: a preset may bound the picture's
// shorter side, and then the box tells the size the output gets rather than
// claiming the source's own size.
#ifndef SIZECHOICE_H
#define SIZECHOICE_H

#include <QSize>
#include <QString>

// The picture a limit on the shorter side makes of a source of the given shown
// sides (after its rotation): unchanged when it fits or no limit is set, else the
// shorter side at the limit and the other keeping the shape, rounded to an even
// number as the converter's scale filter does.
QSize limitedSize(int maxHeight, int shownWidth, int shownHeight);

struct SizeChoice
{
    QString text;
    QString toolTip;
};

// The check box's text and tooltip: "Originalgröße" without a limit or for a
// picture within it, "höchstens 1080p" while the source is unknown, "Größe
// 1080×1920" for a picture that is made smaller.
SizeChoice sizeChoice(int maxHeight, int shownWidth, int shownHeight);

#endif
