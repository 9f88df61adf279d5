#include "arguments.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include "formats.h"

using namespace Qt::StringLiterals;

const QStringList videoCodecValues = {u"copy"_s,       u"huffyuv"_s,    u"mjpeg"_s,    u"mpeg1video"_s,
                                      u"mpeg2video"_s, u"mpeg4"_s,      u"flv"_s,      u"libx264"_s,
                                      u"libx265"_s,    u"libvpx-vp9"_s, u"libsvtav1"_s};
const QStringList frameRateValues = {u"30"_s, u"25"_s, u"24"_s, QString()};
const QStringList ratioValues = {u"4:3"_s, u"16:9"_s, QString()};
const QStringList audioCodecValues = {u"copy"_s, u"pcm_s16le"_s, u"libmp3lame"_s, u"mp2"_s,      u"ac3"_s,
                                      u"aac"_s,  u"libopus"_s,   u"flac"_s,       u"libvorbis"_s};
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
        const bool modern = isModernVideoCodec(s.videoCodec);
        if (!s.originalSize)
            args << u"-s"_s << s.width + u'x' + s.height;
        else if (modern)
            args << u"-vf"_s << evenSizeFilter();
        args << u"-vcodec"_s << lookUp(videoCodecValues, s.videoCodec) << playerOptions(s.videoCodec);
        appendUnlessOriginal(args, u"-r"_s, frameRateValues, s.frameRate);
        // The source's own frame timing: phones and screen recorders write
        // variable rates, which MP4 would otherwise fill up to a constant one
        // (frames dropped in bursts, duplicates in the gaps).
        if (modern && lookUp(frameRateValues, s.frameRate).isEmpty())
            args << u"-fps_mode"_s << u"vfr"_s;
        appendUnlessOriginal(args, u"-aspect"_s, ratioValues, s.ratio);
        const QStringList quality = qualityArguments(s.videoCodec, s.quality);
        if (!quality.isEmpty())
            args << quality;
        else // the first codecs keep their "-b"; the new ones name the video stream
            args << (modern ? u"-b:v"_s : u"-b"_s) << s.videoBitrate + u'k';
    }

    if (!s.audioOn) {
        args << u"-an"_s;
    } else {
        args << u"-acodec"_s << lookUp(audioCodecValues, s.audioCodec);
        if (s.frequencyEnabled)
            args << u"-ar"_s << lookUp(frequencyValues, s.frequency);
        if (s.audioBitrateEnabled)
            args << u"-ab"_s << lookUp(audioBitrateValues, s.audioBitrate);
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
