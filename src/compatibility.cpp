#include "compatibility.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include "arguments.h"
#include "codecs.h"
#include "germannumbers.h"

using namespace Qt::StringLiterals;

namespace {

enum class Check {
    AudioOnly,         // the container takes only the listed audio codecs
    AudioNot,          // the container refuses the listed audio codecs
    AudioAtRate,       // the listed audio codecs refuse the listed sample rates
    RefusedRate,       // the audio encoder refuses the sample rate (its codec entry lists them)
    AudioAboveBitrate, // ... at these rates (and channels) refuse more than `limit` kbit/s
    DvdAboveBitrate,   // the PAL-DVD preset refuses a video bitrate above `limit`
    SizeZero,          // a frame side of 0
    SizeOdd,           // the listed video codecs need even sides
    SizeBelow,         // the listed video codecs need at least `limit` pixels per side
    NoStream,          // neither video nor audio: nothing to write
    AudioDropped,      // the container holds video only: sound asked for is left out
    VideoDropped,      // the container holds sound only: video asked for is left out
    BurnCopied,        // subtitles to burn into a picture that is copied, not encoded
};

// Every limit was measured with Debian 12's ffmpeg 5.1. Lists are separated by
// blanks; an empty list holds for all. %1 in a reason is the codec as the panel
// names it, %2 the container's suffix; for refused rates %3 is the codec's name
// in a sentence, %4 the rates it refuses and %5 the panel's rates it takes.
struct Rule
{
    Check check;
    const char16_t *containers;
    const char16_t *codecs;
    const char16_t *rates;
    int channels; // 0: any
    int limit;
    const char *reason;
    const char *instead;
};

// clang-format off
const Rule rules[] = {
    {Check::AudioOnly, u"mpg mpeg vob", u"mp3 mp2 mp1 ac3 dts pcm_dvd pcm_s16be", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "MPEG-Dateien (.%2) nehmen keinen %1-Ton auf."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Audio-Codec „mp2“, „mp3“ oder „ac3“.")},
    {Check::AudioOnly, u"mp4 m4a m4v", u"mp3 mp2 mp1 ac3 eac3 aac alac opus vorbis dts", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "MP4-Dateien (.%2) nehmen keinen %1-Ton auf."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Audio-Codec „aac“ oder „mp3“.")},
    {Check::AudioOnly, u"flv", u"pcm_s16le mp3 aac", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "FLV-Dateien nehmen keinen %1-Ton auf."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Audio-Codec „mp3“ oder „aac“.")},
    {Check::AudioOnly, u"webm", u"opus vorbis", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "WebM-Dateien nehmen keinen %1-Ton auf, nur Opus und Vorbis."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Audio-Codec „opus“ oder „vorbis“.")},
    {Check::AudioNot, u"avi", u"opus", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "AVI-Dateien nehmen keinen Opus-Ton auf."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Audio-Codec „mp3“ oder „aac“.")},
    {Check::AudioAtRate, u"flv", u"pcm_s16le", u"48000 32000 96000", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "FLV-Dateien nehmen WAV-Ton nur mit 44,1 kHz oder 22,05 kHz auf."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Frequenz 44,1 kHz oder 22,05 kHz.")},
    {Check::RefusedRate, u"", u"", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "%3-Ton gibt es nicht mit %4."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie als Frequenz %5.")},
    {Check::AudioAboveBitrate, u"", u"mp2", u"22050", 0, 160,
     QT_TRANSLATE_NOOP("Compatibility", "MP2-Ton mit 22,05 kHz erlaubt höchstens 160 kbit/s."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie eine Audio-Bitrate von 128k oder weniger oder eine "
                                        "höhere Frequenz.")},
    {Check::AudioAboveBitrate, u"", u"vorbis", u"48000 44100", 1, 224,
     QT_TRANSLATE_NOOP("Compatibility", "Vorbis-Ton in Mono erlaubt höchstens 224 kbit/s."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie eine Audio-Bitrate von 224k oder weniger oder Stereo.")},
    {Check::AudioAboveBitrate, u"", u"vorbis", u"22050", 2, 128,
     QT_TRANSLATE_NOOP("Compatibility", "Vorbis-Ton in Stereo mit 22,05 kHz erlaubt höchstens 128 kbit/s."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie eine Audio-Bitrate von 128k oder weniger oder eine "
                                        "höhere Frequenz.")},
    {Check::AudioAboveBitrate, u"", u"vorbis", u"22050", 1, 64,
     QT_TRANSLATE_NOOP("Compatibility", "Vorbis-Ton in Mono mit 22,05 kHz erlaubt höchstens 64 kbit/s."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie die Audio-Bitrate 64k oder eine höhere Frequenz.")},
    {Check::DvdAboveBitrate, u"", u"", u"", 0, 9000,
     QT_TRANSLATE_NOOP("Compatibility", "Eine PAL-DVD erlaubt höchstens 9000 kbit/s Video-Bitrate."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie eine Video-Bitrate von 9000 oder weniger.")},
    {Check::SizeZero, u"", u"", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "Eine Bildgröße mit 0 Pixeln Breite oder Höhe gibt es nicht."),
     QT_TRANSLATE_NOOP("Compatibility", "Geben Sie eine Breite und eine Höhe über 0 an.")},
    {Check::SizeOdd, u"", u"h264 hevc av1", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "Der Codec %1 braucht eine gerade Breite und Höhe."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie eine gerade Breite und Höhe.")},
    {Check::SizeBelow, u"", u"av1", u"", 0, 64,
     QT_TRANSLATE_NOOP("Compatibility", "Der Codec %1 braucht mindestens 64 Pixel Breite und Höhe."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie eine größere Bildgröße oder einen anderen Video-Codec.")},
    {Check::NoStream, u"", u"", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "Weder Video noch Audio wird umgewandelt: die Ausgabedatei bliebe leer."),
     QT_TRANSLATE_NOOP("Compatibility", "Schalten Sie Video oder Audio ein.")},
    // Raw video streams and animated pictures: the converter writes the video, leaves
    // every sound track out and still ends with success.
    {Check::AudioDropped, u"m1v m2v h264 264 h265 265 hevc ivf obu avif y4m yuv rgb mjpg mjpeg vc1 cavs avs avs2 "
                          u"avs3 drc vc2 dnxhd dnxhr h261 h263 gif apng webp",
     u"", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "Dateien mit der Endung .%2 nehmen nur Video auf: der Ton ginge ohne "
                                        "Meldung verloren."),
     QT_TRANSLATE_NOOP("Compatibility", "Geben Sie der Ausgabedatei eine Endung, die Video und Ton aufnimmt "
                                        "(etwa „.mp4“ oder „.mpg“), oder schalten Sie Audio aus.")},
    // Sound-only containers that leave the video out in the same silent way; MP3
    // and FLAC keep a cover picture, and refuse other video with an error.
    {Check::VideoDropped, u"wav w64 aac adts ac3 eac3 mp2 m2a mpa mka dts thd mlp voc", u"", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "Dateien mit der Endung .%2 nehmen nur Ton auf: das Video ginge ohne "
                                        "Meldung verloren."),
     QT_TRANSLATE_NOOP("Compatibility", "Schalten Sie Video aus, um nur den Ton umzuwandeln, oder geben Sie der "
                                        "Ausgabedatei eine Endung, die auch Video aufnimmt (etwa „.mkv“).")},
    // The picture of "copy" is never decoded, so nothing can be drawn into it.
    {Check::BurnCopied, u"", u"", u"", 0, 0,
     QT_TRANSLATE_NOOP("Compatibility", "Untertitel lassen sich nur in neu kodiertes Video einbrennen; mit "
                                        "„copy“ bleibt das Bild, wie es ist."),
     QT_TRANSLATE_NOOP("Compatibility", "Wählen Sie einen Video-Codec (etwa „libx264“), sonst werden die "
                                        "Untertitel nicht eingebrannt.")},
};
// clang-format on

bool listed(const char16_t *list, const QString &word)
{
    if (word.isEmpty())
        return false;
    return QStringView(list).split(u' ', Qt::SkipEmptyParts).contains(QStringView(word));
}

bool anyOrListed(const char16_t *list, const QString &word)
{
    return QStringView(list).isEmpty() || listed(list, word);
}

bool holds(const Rule &rule, const OutputFacts &f)
{
    const bool container = QStringView(rule.containers).isEmpty() || listed(rule.containers, f.container);
    const bool audio = f.audio && !f.audioCodec.isEmpty();
    const bool video = f.video && !f.videoCodec.isEmpty();
    switch (rule.check) {
    case Check::AudioOnly:
        return container && audio && !listed(rule.codecs, f.audioCodec);
    case Check::AudioNot:
        return container && audio && listed(rule.codecs, f.audioCodec);
    case Check::AudioAtRate:
        return container && audio && listed(rule.codecs, f.audioCodec) &&
               listed(rule.rates, QString::number(f.sampleRate));
    case Check::RefusedRate: {
        const AudioCodec *codec = audioCodecNamed(f.audioCodec);
        return container && audio && codec && codec->refusedRates.contains(f.sampleRate);
    }
    case Check::AudioAboveBitrate:
        return container && audio && listed(rule.codecs, f.audioCodec) &&
               listed(rule.rates, QString::number(f.sampleRate)) &&
               (rule.channels == 0 || rule.channels == f.channels) && f.audioBitrate > rule.limit;
    case Check::DvdAboveBitrate:
        return f.dvd && f.videoBitrate > rule.limit;
    case Check::SizeZero:
        return f.video && f.sizeChosen && (f.width == 0 || f.height == 0);
    case Check::SizeOdd:
        return video && anyOrListed(rule.codecs, f.videoCodec) && (f.width % 2 != 0 || f.height % 2 != 0);
    case Check::SizeBelow:
        return video && listed(rule.codecs, f.videoCodec) && f.width > 0 && f.height > 0 &&
               (f.width < rule.limit || f.height < rule.limit);
    case Check::NoStream:
        return !f.video && !f.audio;
    // A copied stream counts once the source is known to have it; an encoder the
    // user chose counts always.
    case Check::AudioDropped:
        return container && audio;
    case Check::VideoDropped:
        return container && video;
    case Check::BurnCopied:
        return f.burnIn && (!f.video || f.videoCopied);
    }
    return false;
}

// The codec as the panel names it.
QString shownName(const QString &codec, bool audio)
{
    const AudioCodec *audioEntry = audio ? audioCodecNamed(codec) : nullptr;
    const VideoCodec *videoEntry = audio ? nullptr : videoCodecNamed(codec);
    return audioEntry ? audioEntry->item : videoEntry ? videoEntry->item : codec;
}

// "48 kHz", "48 kHz oder 44,1 kHz", "48 kHz, 44,1 kHz oder 22,05 kHz".
QString ratesText(const QList<int> &rates)
{
    QStringList texts;
    for (const int rate : rates)
        texts << germanNumbers().toString(rate / 1000.0, 'g', QLocale::FloatingPointShortest) + u" kHz"_s;
    const QString last = texts.isEmpty() ? QString() : texts.takeLast();
    return texts.isEmpty() ? last : texts.join(u", "_s) + u" oder "_s + last;
}

// The sample rates an audio codec refuses, and those of the panel it takes.
void fillInRates(const QString &codecName, QString &reason, QString &instead)
{
    const AudioCodec *codec = audioCodecNamed(codecName);
    if (!codec)
        return;
    QList<int> taken;
    for (const QString &rate : frequencyValues)
        if (!codec->refusedRates.contains(rate.toInt()))
            taken << rate.toInt();
    reason.replace(u"%3"_s, codec->label).replace(u"%4"_s, ratesText(codec->refusedRates));
    instead.replace(u"%5"_s, ratesText(taken));
}

// The converter's name for what an encoder the panel chooses writes.
QString codecName(const QString &encoder, bool audio)
{
    const int index = audio ? audioCodecIndex(encoder) : videoCodecIndex(encoder);
    if (index < 0)
        return encoder;
    return audio ? audioCodec(index).codecName : videoCodec(index).codecName;
}

int kilobits(const QString &value)
{
    QString number = value;
    if (number.endsWith(u'k'))
        number.chop(1);
    return number.toInt();
}

} // namespace

PictureFormat readPictureFormat(QStringView rest)
{
    // The item after the codec's names, and within its brackets the range, then
    // the matrix (alone when matrix, primaries and transfer share one name).
    PictureFormat format;
    static const QStringList matrices =
        u"gbr bt709 unknown reserved fcc bt470bg smpte170m smpte240m ycgco "
        u"bt2020nc bt2020c smpte2085 ictcp chroma-derived-nc chroma-derived-c"_s.split(u' ');
    // The codec's names may hold brackets and commas of their own only inside brackets.
    qsizetype depth = 0, start = -1, end = rest.size();
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == u'(')
            ++depth;
        else if (rest[i] == u')')
            --depth;
        else if (rest[i] == u',' && depth == 0) {
            if (start >= 0) {
                end = i;
                break;
            }
            start = i + 1;
        }
    }
    if (start < 0)
        return format;
    const QStringView item = rest.mid(start, end - start).trimmed();
    const qsizetype open = item.indexOf(u'(');
    const QStringView name = open < 0 ? item : item.left(open);
    if (name.isEmpty() || !name.front().isLower() || !std::all_of(name.begin(), name.end(), [](QChar c) {
            return c.isLower() || c.isDigit() || c == u'_';
        }))
        return format;
    format.pixelFormat = name.toString();
    if (open < 0 || !item.endsWith(u')'))
        return format;
    for (QStringView part : item.mid(open + 1, item.size() - open - 2).split(u", ")) {
        if (part == u"tv" || part == u"pc")
            continue;
        const qsizetype slash = part.indexOf(u'/');
        const QStringView matrix = slash < 0 ? part : part.first(slash);
        if (slash >= 0 || matrices.contains(matrix))
            format.colourMatrix = matrix.toString();
        break;
    }
    return format;
}

SourceStreams parseStreams(const QStringList &infoLines)
{
    static const QRegularExpression stream(u"^Stream #\\S+: (Video|Audio): ([A-Za-z0-9_]+)(.*)$"_s);
    static const QRegularExpression size(u"\\b(\\d{1,5})x(\\d{1,5})\\b"_s);
    static const QRegularExpression rate(u"\\b(\\d+) Hz\\b"_s);
    SourceStreams source;
    for (const QString &line : infoLines) {
        const QRegularExpressionMatch m = stream.match(line);
        if (!m.hasMatch())
            continue;
        source.known = true;
        const QString rest = m.captured(3);
        if (m.captured(1) == u"Video"_s && source.videoCodec.isEmpty()) {
            source.videoCodec = m.captured(2);
            // The first size after the codec; tags such as "0x31637661" have too
            // many digits to match.
            const QRegularExpressionMatch s = size.match(rest);
            if (s.hasMatch()) {
                source.width = s.captured(1).toInt();
                source.height = s.captured(2).toInt();
            }
            const PictureFormat picture = readPictureFormat(rest);
            source.pixelFormat = picture.pixelFormat;
            source.colourMatrix = picture.colourMatrix;
        } else if (m.captured(1) == u"Audio"_s && source.audioCodec.isEmpty()) {
            source.audioCodec = m.captured(2);
            source.sampleRate = rate.match(rest).captured(1).toInt();
        }
    }
    return source;
}

OutputFacts outputFacts(const QStringList &arguments, const SourceStreams &source)
{
    OutputFacts f;
    if (arguments.isEmpty())
        return f;
    f.container = QFileInfo(arguments.last()).suffix().toLower();
    auto value = [&arguments](const QString &option) {
        // The input name (after "-i") and the output name are never options.
        for (qsizetype i = 3; i + 2 < arguments.size(); ++i)
            if (arguments[i] == option)
                return arguments[i + 1];
        return QString();
    };
    auto has = [&arguments](const QString &flag) {
        return arguments.indexOf(flag, 3) >= 0 && arguments.indexOf(flag, 3) < arguments.size() - 1;
    };

    if (!has(u"-vn"_s)) {
        f.dvd = value(u"-target"_s) == u"pal-dvd"_s;
        const QString encoder = f.dvd ? u"mpeg2video"_s : value(u"-vcodec"_s);
        const bool copy = encoder.isEmpty() || encoder == u"copy"_s;
        // A stream that the input lacks is not written; unknown inputs count as
        // having one.
        f.video = !source.known || !source.videoCodec.isEmpty();
        f.videoCodec = copy ? source.videoCodec : codecName(encoder, false);
        f.videoCopied = copy && !f.dvd;
        const QString size = f.dvd ? u"720x576"_s : value(u"-s"_s);
        f.sizeChosen = !size.isEmpty();
        if (f.sizeChosen) {
            f.width = size.section(u'x', 0, 0).toInt();
            f.height = size.section(u'x', 1, 1).toInt();
        } else {
            // The source's own size, cut to even sides where the crop filter asks.
            const bool even = value(u"-vf"_s).startsWith(u"crop=trunc(iw/2)"_s);
            f.width = even ? source.width & ~1 : source.width;
            f.height = even ? source.height & ~1 : source.height;
        }
        const QString bitrate = value(u"-b"_s).isEmpty() ? value(u"-b:v"_s) : value(u"-b"_s);
        f.videoBitrate = kilobits(bitrate);
    }
    if (!has(u"-an"_s)) {
        const QString encoder = value(u"-acodec"_s);
        const bool copy = encoder.isEmpty() || encoder == u"copy"_s;
        f.audio = !source.known || !source.audioCodec.isEmpty();
        f.audioCodec = copy ? source.audioCodec : codecName(encoder, true);
        const QString rate = value(u"-ar"_s);
        f.sampleRate = !rate.isEmpty() ? rate.toInt() : (copy ? source.sampleRate : 0);
        f.channels = value(u"-ac"_s).toInt();
        f.audioBitrate = kilobits(value(u"-ab"_s));
    }
    return f;
}

QList<Problem> findProblems(const OutputFacts &facts)
{
    QList<Problem> problems;
    for (const Rule &rule : rules) {
        if (!holds(rule, facts))
            continue;
        const bool aboutAudio = rule.check <= Check::AudioAboveBitrate;
        const QString codec = shownName(aboutAudio ? facts.audioCodec : facts.videoCodec, aboutAudio);
        QString reason = QCoreApplication::translate("Compatibility", rule.reason);
        QString instead = QCoreApplication::translate("Compatibility", rule.instead);
        reason.replace(u"%1"_s, codec).replace(u"%2"_s, facts.container);
        if (rule.check == Check::RefusedRate)
            fillInRates(facts.audioCodec, reason, instead);
        problems.append({reason, instead});
    }
    return problems;
}
