#include "blackbars.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
// Files are looked at between a tenth and nine tenths of their length: the
// first and last parts are titles, fades and credits.
constexpr double lookFrom = 0.1;
constexpr double lookTo = 0.9;
constexpr int mostMoments = 15;
constexpr int fewestMoments = 3;
// What one moment takes of the file: a few frames (the detector skips the first
// two of each run).
constexpr double momentSeconds = 0.3;
// Black is what lies below this share of the brightest value (24 of 255, the
// detector's own default), at any bit depth.
const QString blackLimit = u"0.094"_s;
// Larger pictures get a run per moment (see barsLookGroups).
constexpr int hdPixels = 1920 * 1088;
constexpr int momentsPerRun = 5;

int median(QList<int> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[(values.size() - 1) / 2];
}

// How many lines a bar must differ by to count as clearly different: more than
// the detector's own wavering on moving pictures.
int clearly(int side)
{
    return std::max(2 * barsBorder, side / 50);
}

// One pair of opposite edges over the moments: the median of each; when several
// moments show clearly less of both bars (another shape of the picture), the
// smallest of those; then a bar that something bright reached into is taken as
// large as its opposite one, since bars are centred. For the same reason a black
// band at one edge only is part of the picture (a night sky, a dark wall, the
// stripe of a test pattern) and no bar.
void decidePair(const QList<std::pair<int, int>> &seen, int side, int &first, int &second)
{
    QList<int> a, b;
    for (const auto &[x, y] : seen) {
        a << x;
        b << y;
    }
    first = median(a);
    second = median(b);
    const int tolerance = clearly(side);
    QList<std::pair<int, int>> smaller;
    for (const auto &[x, y] : seen)
        if (x < first - tolerance && y < second - tolerance)
            smaller.append({x, y});
    if (smaller.size() >= 2) {
        first = std::min_element(smaller.begin(), smaller.end())->first;
        second = std::min_element(smaller.begin(), smaller.end(), [](const auto &p, const auto &q) {
                     return p.second < q.second;
                 })->second;
    }
    if (first > barsBorder && second > barsBorder && std::abs(first - second) > tolerance)
        first = second = std::max(first, second);
    if (first <= barsBorder || second <= barsBorder)
        first = second = 0;
}

int evenUp(int value)
{
    return value + (value & 1);
}
} // namespace

QList<double> barsMoments(double durationSeconds)
{
    if (durationSeconds <= momentSeconds * fewestMoments)
        return {};
    const double from = durationSeconds * lookFrom;
    const double span = durationSeconds * (lookTo - lookFrom);
    // One moment per half second of short files, up to the most.
    const int count = std::clamp(int(span / (2 * momentSeconds)), fewestMoments, mostMoments);
    QList<double> moments;
    for (int i = 0; i < count; ++i)
        moments << from + span * i / (count - 1);
    return moments;
}

QList<QList<double>> barsLookGroups(const QList<double> &moments, int width, int height)
{
    const qsizetype perRun = qint64(width) * height > hdPixels ? 1 : momentsPerRun;
    QList<QList<double>> groups;
    for (qsizetype i = 0; i < moments.size(); i += perRun)
        groups << moments.mid(i, perRun);
    return groups;
}

QStringList barsLookArguments(const QString &source, const QList<double> &moments)
{
    QStringList args{u"-hide_banner"_s, u"-nostdin"_s, u"-nostats"_s};
    QStringList chains;
    const QString detect = u"cropdetect@%1%2=limit=%3:round=2:reset=1[%1%2]"_s;
    for (qsizetype i = 0; i < moments.size(); ++i) {
        // One decoder thread each: several decoders run at once.
        args << u"-threads"_s << u"1"_s << u"-ss"_s << QString::number(moments[i], 'f', 3) << u"-t"_s
             << QString::number(momentSeconds) << u"-an"_s << u"-sn"_s << u"-dn"_s << u"-i"_s << source;
        // The bars above and below are looked for in the middle half of the
        // columns, those at the sides in the middle half of the rows: a channel's
        // logo in a corner of a bar is then not seen. Each detector is named after
        // its moment, so each line tells which moment and which edges it is about.
        chains << u"[%1:v:0]crop=iw-%2:ih-%2,split[a%1][b%1];[a%1]crop=iw/2:ih:iw/4:0,%3;"
                  u"[b%1]crop=iw:ih/2:0:ih/4,%4"_s.arg(i)
                      .arg(2 * barsBorder)
                      .arg(detect.arg(u"v"_s).arg(i).arg(blackLimit),
                           detect.arg(u"h"_s).arg(i).arg(blackLimit));
    }
    args << u"-filter_complex"_s << chains.join(u';');
    for (qsizetype i = 0; i < moments.size(); ++i)
        args << u"-map"_s << u"[v%1]"_s.arg(i) << u"-map"_s << u"[h%1]"_s.arg(i);
    args << u"-f"_s << u"null"_s << u"-"_s;
    return args;
}

QList<BarsMoment> parseBarsLook(QStringView output, int momentCount, int width, int height)
{
    static const QRegularExpression line(
        u"\\[cropdetect@([vh])(\\d+) @ [^\\]]*\\] x1:(-?\\d+) x2:(-?\\d+) y1:(-?\\d+) y2:(-?\\d+)"_s);
    const int innerWidth = width - 2 * barsBorder, innerHeight = height - 2 * barsBorder;
    // Per moment and per pair of edges: seen at all, and whether dark throughout.
    struct Seen
    {
        bool vertical = false, horizontal = false;
        bool verticalLit = false, horizontalLit = false;
        BarsMoment moment;
    };
    QList<Seen> seen(std::max(0, momentCount));
    QRegularExpressionMatchIterator it = line.globalMatch(output);
    while (it.hasNext() && innerWidth > 0 && innerHeight > 0) {
        const QRegularExpressionMatch m = it.next();
        const int index = m.capturedView(2).toInt();
        if (index < 0 || index >= seen.size())
            continue;
        const int x1 = m.capturedView(3).toInt(), x2 = m.capturedView(4).toInt();
        const int y1 = m.capturedView(5).toInt(), y2 = m.capturedView(6).toInt();
        Seen &s = seen[index];
        Bars &bars = s.moment.bars;
        // A frame with nothing brighter than black gives an empty box. Over the
        // frames of a moment, the picture is all that was bright in any.
        const bool lit = x2 >= x1 && y2 >= y1;
        if (m.capturedView(1) == u"v") {
            const int top = y1 + barsBorder, bottom = innerHeight - 1 - y2 + barsBorder;
            s.vertical = true;
            if (lit) {
                bars.top = s.verticalLit ? std::min(bars.top, top) : top;
                bars.bottom = s.verticalLit ? std::min(bars.bottom, bottom) : bottom;
                s.verticalLit = true;
            }
        } else {
            const int left = x1 + barsBorder, right = innerWidth - 1 - x2 + barsBorder;
            s.horizontal = true;
            if (lit) {
                bars.left = s.horizontalLit ? std::min(bars.left, left) : left;
                bars.right = s.horizontalLit ? std::min(bars.right, right) : right;
                s.horizontalLit = true;
            }
        }
    }
    QList<BarsMoment> result;
    for (Seen &s : seen) {
        if (!s.vertical && !s.horizontal)
            continue;
        s.moment.dark = !s.verticalLit || !s.horizontalLit;
        if (s.moment.dark)
            s.moment.bars = Bars();
        result << s.moment;
    }
    return result;
}

Bars decideBars(const QList<BarsMoment> &moments, int width, int height)
{
    // A moment that is dark, or whose "bar" reaches a quarter of the picture, shows
    // a fade, a night scene or credits rather than bars.
    QList<std::pair<int, int>> vertical, horizontal;
    for (const BarsMoment &m : moments) {
        const Bars &b = m.bars;
        if (m.dark || 4 * std::max(b.top, b.bottom) >= height || 4 * std::max(b.left, b.right) >= width)
            continue;
        vertical.append({b.top, b.bottom});
        horizontal.append({b.left, b.right});
    }
    if (width <= 0 || height <= 0 || vertical.size() < fewestMoments || 3 * vertical.size() < moments.size())
        return {};
    Bars bars;
    decidePair(vertical, height, bars.top, bars.bottom);
    decidePair(horizontal, width, bars.left, bars.right);
    // Even offsets and even sides: 4:2:0 pictures need them, and an even top keeps
    // the order of the fields of an interlaced picture.
    bars.top = evenUp(bars.top);
    bars.bottom = evenUp(bars.bottom);
    bars.left = evenUp(bars.left);
    bars.right = evenUp(bars.right);
    if ((height - bars.top - bars.bottom) % 2 != 0)
        ++bars.bottom;
    if ((width - bars.left - bars.right) % 2 != 0)
        ++bars.right;
    return bars;
}

QString barsCropFilter(const Bars &bars, int width, int height)
{
    if (bars.isEmpty() || width <= 0 || height <= 0)
        return {};
    return u"crop=%1:%2:%3:%4"_s.arg(width - bars.left - bars.right)
        .arg(height - bars.top - bars.bottom)
        .arg(bars.left)
        .arg(bars.top);
}

QString barsLabel(const Bars &bars, int width, int height)
{
    if (bars.isEmpty())
        return QCoreApplication::translate("BlackBars", "Keine schwarzen Ränder");
    QStringList edges;
    const std::pair<int, const char *> named[] = {
        {bars.top, "oben %1"}, {bars.bottom, "unten %1"}, {bars.left, "links %1"}, {bars.right, "rechts %1"}};
    for (const auto &[lines, text] : named)
        if (lines > 0)
            edges << QCoreApplication::translate("BlackBars", text).arg(lines);
    return QCoreApplication::translate("BlackBars", "Schwarze Ränder: %1 → %2×%3")
        .arg(edges.join(u", "_s))
        .arg(width - bars.left - bars.right)
        .arg(height - bars.top - bars.bottom);
}
