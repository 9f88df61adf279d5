// Interlaced video: what a stream's field order says, what the converter's field
// detector finds in its pictures, the decision between the two, and the filters
// that turn woven fields into clean full frames. Plain functions over plain
// values: the caller runs the detection and builds the job.
#ifndef INTERLACE_H
#define INTERLACE_H

#include <QString>
#include <QStringList>
#include <QStringView>

// How the pictures of a video stream are built, in display order.
enum class Scan {
    Unknown,
    Progressive,
    TopFieldFirst,
    BottomFieldFirst,
};

// The field order a stream declares: ffprobe's word for it ("progressive",
// "tt", "bb", "tb", "bt", "unknown" or empty).
Scan declaredScan(QStringView fieldOrder);

// What the converter's field detector counted.
struct FieldCounts
{
    int topFieldFirst = 0;
    int bottomFieldFirst = 0;
    int progressive = 0;
    int undetermined = 0;

    int interlaced() const { return topFieldFirst + bottomFieldFirst; }
    int total() const { return interlaced() + progressive + undetermined; }
};

struct FieldDetection
{
    bool found = false; // false: the run printed no report (it failed or saw no frame)
    FieldCounts counts;
};

// How many frames the detection looks at.
constexpr int fieldDetectionFrames = 50;

// The converter's arguments (without the program name) that run the field
// detector over the first video stream of `source`. Long files are looked at a
// tenth into them; `durationSeconds` is 0 when unknown.
QStringList fieldDetectionArguments(const QString &source, double durationSeconds);

// Reads the detector's report out of the run's standard error.
FieldDetection parseFieldDetection(QStringView output);

// The decision: interlaced when the detector found woven fields in a good share
// of the frames, or in nearly all of them for a stream marked progressive.
// Without a detection a stream marked progressive is progressive, any other
// unknown.
Scan decideScan(Scan declared, const FieldDetection &detection);

// The track list's words for a decision.
QString scanLabel(Scan scan);

// Whether deinterlacing is on before the user touches the check box: only for
// interlaced sources converted with the codecs of today.
bool deinterlaceByDefault(Scan decided, int videoCodec);

// The deinterlacing filter: one full frame from each pair of fields (50 fields
// give 25 frames), every frame treated, the output marked progressive. An
// undecided field order leaves the parity to the frames' own marks.
QString deinterlaceFilter(Scan scan);

// Scales down so that the picture's shorter side is at most `maxHeight` ("at
// most 1080p" holds a 1080x1920 portrait video as it is), keeping the shape, with
// the other side even. Empty when no limit is set or the known picture fits
// already; `sourceWidth` and `sourceHeight` are the sides as shown (after a
// rotation). With an unknown height (0) the filter bounds the height and leaves
// smaller pictures as they are; with an unknown width the picture counts as
// landscape.
QString sizeLimitFilter(int maxHeight, int sourceHeight, int sourceWidth = 0);

// Whether the list encodes video, so that a video filter can act on it: the
// converter refuses filters on a copied stream.
bool encodesVideo(const QStringList &arguments);

// One chain of filters without a comma: each link is named ("[f1]") and the
// parts are joined with ";". A list of jobs is written with commas between the
// arguments, so a job without commas stays in the plain list form. Names already
// used in the parts are skipped.
QString joinFilters(const QStringList &filters);

// Puts the job's own filters in front of the builder's video filter in one
// "-vf": deinterlacing first, then the size limit, then what the builder chose
// (the even-size crop). Without a "-vf" one is added before the output name.
// The arguments come back unchanged when there is nothing to add, or when no
// video is encoded ("-vn", video "copy"), where a filter would fail the run.
QStringList withVideoFilters(const QStringList &arguments, const QString &deinterlace,
                             const QString &sizeLimit);
// The same with the job's filters in the order given (empty ones skipped).
QStringList withVideoFilters(const QStringList &arguments, const QStringList &filters);

#endif
