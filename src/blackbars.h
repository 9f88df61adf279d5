// Black bars inside the picture (letterbox, pillarbox): where to look in a file,
// reading the converter's bar detector, deciding the crop over many moments, and
// the crop filter. Plain functions over plain values: the background look runs
// the detection and makeJob builds the filter.
#ifndef BLACKBARS_H
#define BLACKBARS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Lines of black at each edge of the picture as shown (after a rotation).
struct Bars
{
    int top = 0;
    int bottom = 0;
    int left = 0;
    int right = 0;

    bool isEmpty() const { return top == 0 && bottom == 0 && left == 0 && right == 0; }
    bool operator==(const Bars &other) const
    {
        return top == other.top && bottom == other.bottom && left == other.left && right == other.right;
    }
};

// What the look at one moment of the file saw: the bars of the picture, or that
// the picture was dark throughout (a fade, a night scene), which says nothing.
struct BarsMoment
{
    Bars bars;
    bool dark = false;
};

// The moments looked at, spread over the file, never in its first seconds
// (titles and fades); fewer for short files. Seconds from the start.
QList<double> barsMoments(double durationSeconds);

// The moments split into the runs that look at them: several in one run for
// pictures up to HD, one per run for larger ones, whose decoders each hold
// hundreds of megabytes.
QList<QList<double>> barsLookGroups(const QList<double> &moments, int width, int height);

// The converter's arguments (without the program name) that run the bar
// detector over the first video stream at each moment, a few frames each, in one
// run. The outermost lines are left out of the detection (see barsBorder).
QStringList barsLookArguments(const QString &source, const QList<double> &moments);

// Reads the detector's lines of that run into one result per moment (moments
// with no line are left out). `width` and `height` are the picture's sides as
// shown.
QList<BarsMoment> parseBarsLook(QStringView output, int momentCount, int width, int height);

// The decision over the moments: the median of each edge, the smallest crop
// when several moments show clearly less of a bar (a film that changes its
// shape), opposite bars made equal where a logo or subtitle reached into one of
// them, bars of a few lines ignored, even sides. No bars when too few moments
// showed a picture.
Bars decideBars(const QList<BarsMoment> &moments, int width, int height);

// The lines at each edge the detection leaves out: analogue captures carry noise
// there, which would hide a bar; a bar this thin or thinner is no bar.
constexpr int barsBorder = 4;

// The crop filter that removes the bars from a picture of these sides (no
// comma: a job text is split at commas); empty when there are none.
QString barsCropFilter(const Bars &bars, int width, int height);

// The source column's words: "Schwarze Ränder: oben 140, unten 140 → 1920×800",
// or "Keine schwarzen Ränder".
QString barsLabel(const Bars &bars, int width, int height);

#endif
