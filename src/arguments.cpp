#include "arguments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "codecs.h"

using namespace Qt::StringLiterals;

const QStringList frameRateValues = {u"30"_s, u"25"_s, u"24"_s, QString()};
const QStringList ratioValues = {u"4:3"_s, u"16:9"_s, QString()};
const QStringList audioBitrateValues = {u"256k"_s, u"224k"_s, u"192k"_s, u"128k"_s, u"64k"_s};
const QStringList frequencyValues = {u"48000"_s, u"44100"_s, u"22050"_s};

namespace {
// An index the table does not know gives an empty element, which the converter
// rejects, rather than a crash.
QString lookUp(const QStringList &table, int index)
{
    return table.value(index);
}

// "Original" has no value: the option is left out and the converter keeps what
// the source has.
void appendUnlessOriginal(QStringList &args, const QString &option, const QStringList &table, int index)
{
    if (index >= 0 && index < table.size() && table[index].isEmpty())
        return;
    args << option << lookUp(table, index);
}

// Keeps the source's own frame size for codecs that need even sides: an odd
// width or height loses its last column or row, nothing is scaled. No comma
// inside: a job text is split at commas.
const QString evenSizeFilter = u"crop=trunc(iw/2)*2:trunc(ih/2)*2"_s;

// The constant-quality options of a codec of today at a level 1 to 5, e.g.
// "-crf", "23"; empty for the first codecs and for other levels.
QStringList qualityArguments(const VideoCodec &codec, int level)
{
    if (!codec.modern || level < 1 || level > qualityLevels)
        return {};
    QStringList args{u"-crf"_s, QString::number(codec.quality[level - 1])};
    if (codec.crfNeedsZeroBitrate)
        args << u"-b:v"_s << u"0"_s;
    return args;
}

// What every player needs from a codec of today.
QStringList playerOptions(const VideoCodec &codec)
{
    QStringList args;
    if (!codec.pixelFormat.isEmpty())
        args << u"-pix_fmt"_s << codec.pixelFormat;
    if (!codec.tag.isEmpty())
        args << u"-tag:v"_s << codec.tag;
    return args;
}

void appendEncodedVideo(QStringList &args, const PanelSettings &s)
{
    const VideoCodec &codec = videoCodec(s.videoCodec);
    if (!s.originalSize)
        args << u"-s"_s << s.width + u'x' + s.height;
    else if (codec.modern)
        args << u"-vf"_s << evenSizeFilter;
    args << u"-vcodec"_s << codec.encoder << playerOptions(codec);
    appendUnlessOriginal(args, u"-r"_s, frameRateValues, s.frameRateIndex);
    // The source's own frame timing: phones and screen recorders write variable
    // rates, which MP4 would otherwise fill up to a constant one (frames dropped
    // in bursts, duplicates in the gaps).
    if (codec.modern && lookUp(frameRateValues, s.frameRateIndex).isEmpty())
        args << u"-fps_mode"_s << u"vfr"_s;
    appendUnlessOriginal(args, u"-aspect"_s, ratioValues, s.ratio);
    const QStringList quality = qualityArguments(codec, s.quality);
    if (!quality.isEmpty())
        args << quality;
    else // the first codecs keep their "-b"; the new ones name the video stream
        args << (codec.modern ? u"-b:v"_s : u"-b"_s) << s.videoBitrate + u'k';
    args << codec.speed;
}
} // namespace

QStringList buildArguments(const PanelSettings &s, const QString &source, const QString &target)
{
    QStringList args{u"-y"_s, u"-i"_s, source};

    if (!s.videoOn) {
        args << u"-vn"_s;
    } else if (s.videoCodec == 0) {
        args << u"-vcodec"_s << u"copy"_s;
    } else if (s.dvdPreset) {
        args << u"-target"_s << u"pal-dvd"_s;
        appendUnlessOriginal(args, u"-aspect"_s, ratioValues, s.ratio);
        args << u"-b"_s << s.videoBitrate + u'k';
    } else {
        appendEncodedVideo(args, s);
    }

    if (!s.audioOn) {
        args << u"-an"_s;
    } else {
        args << u"-acodec"_s << audioCodec(s.audioCodec).encoder;
        if (s.frequencyEnabled)
            args << u"-ar"_s << lookUp(frequencyValues, s.sampleRateIndex);
        if (s.audioBitrateEnabled)
            args << u"-ab"_s << lookUp(audioBitrateValues, s.audioBitrateIndex);
        if (s.channelsEnabled)
            args << u"-ac"_s << (s.stereo ? u"2"_s : u"1"_s);
    }

    args << target;
    return args;
}

bool sameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    if (!canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath())
        return true;
    // A hard link or a bind mount has a path of its own but is the same file: only
    // the device and the inode tell.
    struct stat statA, statB;
    return ::stat(QFile::encodeName(a).constData(), &statA) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &statB) == 0 && statA.st_dev == statB.st_dev &&
           statA.st_ino == statB.st_ino;
}

QString proposeOutputName(const QString &input, const QString &wanted, const QString &codecSuffix)
{
    static const QString copyMarker = u"-Kopie"_s;

    // Folder, "/", base name, suffix: the separator stays even when the base name
    // is empty (a hidden file such as ".clip"), and only the file's own name loses
    // the copy marker, never a folder.
    const QFileInfo stemSource(wanted.isEmpty() ? input : wanted);
    QString folder = stemSource.absolutePath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    QString stem = stemSource.completeBaseName();
    const qsizetype marker = stem.indexOf(copyMarker);
    if (marker >= 0)
        stem.remove(marker, copyMarker.size());

    QString result = folder + stem;
    if (codecSuffix.isEmpty())
        result += u'.' + QFileInfo(input).suffix();
    else
        result += codecSuffix;

    // Never propose the input itself, however it is reached (the same name, a
    // symbolic or a hard link, a bind mount): every argument list starts with "-y",
    // so the converter would overwrite it without asking. The marked name may be a
    // link to the input too, so mark again until the name is another file.
    const qsizetype dot = result.lastIndexOf(u'.');
    for (int tries = 0; tries < 100 && sameFile(input, result); ++tries)
        result.insert(dot, copyMarker);
    return result;
}
