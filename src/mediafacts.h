// What is known of a source file: its streams and duration as ffprobe describes
// them, read into plain values.
#ifndef MEDIAFACTS_H
#define MEDIAFACTS_H

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include "blackbars.h"
#include "interlace.h"

struct StreamFacts
{
    // Picture: a cover (a video stream marked as attached picture). Attachment: a
    // file carried along in the container, e.g. a font for the subtitles.
    enum class Kind { Video, Audio, Subtitle, Picture, Data, Attachment };

    int index = 0; // the stream's number in the file, as "-map 0:N" names it
    Kind kind = Kind::Data;
    QString codec;    // ffprobe's codec name, else its codec tag ("tmcd")
    QString language; // as tagged; "und" (undetermined) counts as none
    QString title;
    int channels = 0;
    int sampleRate = 0;
    int width = 0;
    int height = 0;
    bool isDefault = false;
    bool bitmapSubtitle = false; // DVD, Blu-ray, DVB subtitles: pictures, not text
    QString fieldOrder;          // "progressive", "tt", "bb", "tb", "bt" or empty
    QString colourSpace;         // e.g. "bt709", "gbr"; empty when not tagged
    QString pixelFormat;         // e.g. "yuv420p"; empty when not told
    QString colourTransfer;      // e.g. "bt709", "smpte2084", "arib-std-b67"; empty when not tagged
    QString colourPrimaries;     // e.g. "bt709", "bt2020"; empty when not tagged
    QString colourRange;         // "tv" or "pc"; empty when not tagged
    int bitRateKbps = 0;         // the stream's average bit rate, rounded up; 0 when not told
    int rotation = 0;            // degrees a player turns the picture (0, 90, 180, 270)
    double durationSeconds = 0;  // the stream's own length; 0 when it tells none
    double frameRate = 0;        // pictures per second on average; 0 when not told

    // The picture's sides as a player shows it: a phone clip stored landscape
    // with a rotation of 90 degrees is portrait. The converter turns it the same
    // way before any filter of a job.
    int shownWidth() const { return rotation % 180 == 90 ? height : width; }
    int shownHeight() const { return rotation % 180 == 90 ? width : height; }
};

struct MediaFacts
{
    QList<StreamFacts> streams; // in file order
    double durationSeconds = 0; // what the header claims; 0 when unknown
    bool valid = false;         // false: ffprobe could not read the file
    QString problem;            // why not, in German, when not valid; when valid, what
                                // the look could not find out (empty when nothing)
    // Whether the first video stream's pictures are interlaced, as the field
    // check of the background look decided.
    Scan scan = Scan::Unknown;
    // The black bars of the first video stream's picture as shown, as the look at
    // many moments of the file decided; `barsLooked` is false until that look
    // has been made (or when it could not be).
    Bars bars;
    bool barsLooked = false;
};

Q_DECLARE_METATYPE(MediaFacts)

// The ffprobe arguments that describe one file as JSON. A relative name goes
// through the "file:" protocol, so that a leading "-" or a ":" in it is never read
// as an option or a protocol.
QStringList probeArguments(const QString &path);

// Reads ffprobe's JSON. Anything that is not a description of streams gives
// facts with valid == false.
MediaFacts readProbe(const QByteArray &json);

#endif
