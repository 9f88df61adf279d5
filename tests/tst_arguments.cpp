// The argument list for every kind of panel state, and the proposed output
// names, checked without a window.
#include <QtTest>

#include "arguments.h"

#include <unistd.h>

using namespace Qt::StringLiterals;

class ArgumentsTest : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
    void fileNamesStayWhole_data();
    void fileNamesStayWhole();
    void outputName_data();
    void outputName();
    void sameFileForms_data();
    void sameFileForms();

private:
    QTemporaryDir dir;
};

Q_DECLARE_METATYPE(PanelSettings)

static PanelSettings startState()
{
    return PanelSettings();
}

void ArgumentsTest::arguments_data()
{
    QTest::addColumn<PanelSettings>("settings");
    QTest::addColumn<QString>("expected"); // between input and output, blank-separated

    QTest::newRow("start state") << startState() << u"-vcodec copy -acodec copy"_s;

    PanelSettings mp4 = startState();
    mp4.videoCodec = 5;
    mp4.audioCodec = 2;
    mp4.frequencyEnabled = mp4.audioBitrateEnabled = mp4.channelsEnabled = true;
    QTest::newRow("mpeg4 + mp3") << mp4
                                 << u"-s 320x240 -vcodec mpeg4 -r 25 -aspect 4:3 -b 8000k -acodec libmp3lame "
                                    "-ar 44100 -ab 224k -ac 2"_s;

    PanelSettings dvd = startState();
    dvd.videoCodec = 4;
    dvd.dvdPreset = true;
    dvd.width = u"720"_s;
    dvd.height = u"576"_s;
    dvd.ratio = 1;
    dvd.audioCodec = 4;
    dvd.sampleRateIndex = 0;
    dvd.audioBitrateIndex = 3;
    dvd.stereo = false;
    dvd.frequencyEnabled = dvd.audioBitrateEnabled = dvd.channelsEnabled = true;
    QTest::newRow("PAL-DVD 16:9 mono")
        << dvd << u"-target pal-dvd -aspect 16:9 -b 8000k -acodec ac3 -ar 48000 -ab 128k -ac 1"_s;

    PanelSettings wav = startState();
    wav.videoOn = false;
    wav.audioCodec = 1;
    wav.sampleRateIndex = 2;
    wav.stereo = false;
    wav.frequencyEnabled = wav.channelsEnabled = true;
    QTest::newRow("video off, wav mono") << wav << u"-vn -acodec pcm_s16le -ar 22050 -ac 1"_s;

    PanelSettings noAudio = startState();
    noAudio.audioOn = false;
    QTest::newRow("copy, audio off") << noAudio << u"-vcodec copy -an"_s;

    PanelSettings none = startState();
    none.videoOn = none.audioOn = false;
    QTest::newRow("both off") << none << u"-vn -an"_s;

    PanelSettings zero = mp4;
    zero.videoBitrate = u"0"_s;
    zero.videoCodec = 6;
    zero.frameRateIndex = 0;
    QTest::newRow("bitrate 0, flv 30")
        << zero
        << u"-s 320x240 -vcodec flv -r 30 -aspect 4:3 -b 0k -acodec libmp3lame -ar 44100 -ab 224k -ac 2"_s;

    PanelSettings disabled = mp4;
    disabled.frequencyEnabled = disabled.audioBitrateEnabled = disabled.channelsEnabled = false;
    QTest::newRow("audio controls disabled")
        << disabled << u"-s 320x240 -vcodec mpeg4 -r 25 -aspect 4:3 -b 8000k -acodec libmp3lame"_s;

    // The codecs of today as a new codec sets them: the source's own size, frame
    // rate and aspect, constant quality.
    PanelSettings h264 = mp4;
    h264.videoCodec = 7;
    h264.originalSize = true;
    h264.frameRateIndex = 3;
    h264.ratio = 2;
    h264.quality = 3;
    h264.audioCodec = 5;
    QTest::newRow("h264 Original quality, aac")
        << h264
        << u"-vf crop=trunc(iw/2)*2:trunc(ih/2)*2 -vcodec libx264 -pix_fmt yuv420p -fps_mode vfr -crf 23 "
           "-acodec aac -ar 44100 -ab 224k -ac 2"_s;
    PanelSettings h265 = mp4;
    h265.videoCodec = 8;
    h265.width = u"640"_s;
    h265.height = u"360"_s;
    h265.ratio = 1;
    QTest::newRow("h265 bitrate, size, 25, 16:9")
        << h265
        << u"-s 640x360 -vcodec libx265 -pix_fmt yuv420p -tag:v hvc1 -r 25 -aspect 16:9 -b:v 8000k "
           "-acodec libmp3lame -ar 44100 -ab 224k -ac 2"_s;
    PanelSettings vp9 = h264;
    vp9.videoCodec = 9;
    vp9.quality = 1;
    vp9.audioCodec = 6;
    vp9.frequencyEnabled = false;
    QTest::newRow("vp9 very high, opus")
        << vp9
        << u"-vf crop=trunc(iw/2)*2:trunc(ih/2)*2 -vcodec libvpx-vp9 -pix_fmt yuv420p -fps_mode vfr -crf 24 "
           "-b:v 0 -row-mt 1 -cpu-used 2 -acodec libopus -ab 224k -ac 2"_s;
    PanelSettings av1 = h264;
    av1.videoCodec = 10;
    av1.quality = 5;
    av1.frameRateIndex = 2;
    av1.audioCodec = 7;
    av1.audioBitrateEnabled = false;
    QTest::newRow("av1 very low, 24, flac")
        << av1
        << u"-vf crop=trunc(iw/2)*2:trunc(ih/2)*2 -vcodec libsvtav1 -pix_fmt yuv420p -r 24 -crf 47 "
           "-preset 8 -acodec flac -ar 44100 -ac 2"_s;
    // "Original" and a stray quality index on the first codecs: no size, rate or
    // aspect, the bitrate as before.
    PanelSettings classic = h264;
    classic.videoCodec = 5;
    classic.audioCodec = 8;
    QTest::newRow("mpeg4 Original, vorbis")
        << classic << u"-vcodec mpeg4 -b 8000k -acodec libvorbis -ar 44100 -ab 224k -ac 2"_s;
    PanelSettings dvdOriginal = dvd;
    dvdOriginal.ratio = 2;
    QTest::newRow("PAL-DVD Original aspect")
        << dvdOriginal << u"-target pal-dvd -b 8000k -acodec ac3 -ar 48000 -ab 128k -ac 1"_s;

    // The DVD switch plays no part when the codec is "copy".
    PanelSettings copyDvd = startState();
    copyDvd.dvdPreset = true;
    QTest::newRow("copy beats preset") << copyDvd << u"-vcodec copy -acodec copy"_s;
}

void ArgumentsTest::arguments()
{
    QFETCH(PanelSettings, settings);
    QFETCH(QString, expected);
    const QStringList want =
        QStringList{u"-y"_s, u"-i"_s, u"/in/a.avi"_s} + expected.split(u' ') + QStringList{u"/out/b.mp4"_s};
    QCOMPARE(buildArguments(settings, u"/in/a.avi"_s, u"/out/b.mp4"_s), want);
    // The frame rate is always "-r" followed by two digits, and nothing but the
    // names holds a comma.
    const QString joined = buildArguments(settings, u"i"_s, u"o"_s).join(u',');
    QVERIFY(!joined.contains(u"-r,"_s) || joined.contains(QRegularExpression(u"-r,[2-3][0-9],"_s)));
    QCOMPARE(joined.count(u','), buildArguments(settings, u"i"_s, u"o"_s).size() - 1);
}

void ArgumentsTest::fileNamesStayWhole_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << u"/home/u/my clip 1.avi"_s;
    QTest::newRow("quotes") << u"/home/u/\"it's\" here.avi"_s;
    QTest::newRow("non-ASCII") << u"/home/u/Äpfel_日本_ü.avi"_s;
    QTest::newRow("comma") << u"/home/u/a,b.avi"_s;
    QTest::newRow("shell characters") << u"/home/u/[x] (y) #%;&$.avi"_s;
    QTest::newRow("empty") << QString();
}

void ArgumentsTest::fileNamesStayWhole()
{
    QFETCH(QString, name);
    const QStringList args = buildArguments(startState(), name, name + u".out"_s);
    QCOMPARE(args.size(), 8);
    QCOMPARE(args[2], name);
    QCOMPARE(args.last(), name + u".out"_s);
}

void ArgumentsTest::outputName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected");

    const QString clip = u"/home/u/clip.avi"_s;
    QTest::newRow("mpeg4") << clip << QString() << u".mp4"_s << u"/home/u/clip.mp4"_s;
    QTest::newRow("flv") << clip << QString() << u".flv"_s << u"/home/u/clip.flv"_s;
    QTest::newRow("mpeg1/2") << clip << QString() << u".mpg"_s << u"/home/u/clip.mpg"_s;
    QTest::newRow("copy adds marker") << clip << QString() << QString() << u"/home/u/clip-Kopie.avi"_s;
    QTest::newRow("huffyuv adds marker") << clip << QString() << u".avi"_s << u"/home/u/clip-Kopie.avi"_s;
    QTest::newRow("audio mp3") << clip << QString() << u".mp3"_s << u"/home/u/clip.mp3"_s;
    QTest::newRow("audio wav") << clip << QString() << u".wav"_s << u"/home/u/clip.wav"_s;
    QTest::newRow("audio mp2") << clip << QString() << u".mp2"_s << u"/home/u/clip.mp2"_s;
    QTest::newRow("audio ac3") << clip << QString() << u".ac3"_s << u"/home/u/clip.ac3"_s;
    QTest::newRow("marker dropped") << clip << u"/home/u/clip-Kopie.avi"_s << u".mp4"_s
                                    << u"/home/u/clip.mp4"_s;
    QTest::newRow("marker never doubled")
        << clip << u"/home/u/clip-Kopie.avi"_s << QString() << u"/home/u/clip-Kopie.avi"_s;
    QTest::newRow("chosen output") << clip << u"/tmp/out.xyz"_s << u".flv"_s << u"/tmp/out.flv"_s;
    QTest::newRow("copy keeps input suffix") << clip << u"/tmp/out.xyz"_s << QString() << u"/tmp/out.avi"_s;
    QTest::newRow("mpg to mpg") << u"/data/mpg/clip.mpg"_s << QString() << u".mpg"_s
                                << u"/data/mpg/clip-Kopie.mpg"_s;
    QTest::newRow("no suffix") << u"/home/u/clip"_s << QString() << QString() << u"/home/u/clip."_s;
    QTest::newRow("relative output") << clip << u"out.avi"_s << u".mp4"_s
                                     << QDir::currentPath() + u"/out.mp4"_s;
    QTest::newRow("dots in the name")
        << u"/home/u/my.holiday.avi"_s << QString() << u".mp4"_s << u"/home/u/my.holiday.mp4"_s;
    QTest::newRow("file in /") << u"/clip.avi"_s << QString() << u".mp4"_s << u"/clip.mp4"_s;
    QTest::newRow("copy, dots in the name")
        << u"/home/u/my.holiday.avi"_s << QString() << QString() << u"/home/u/my.holiday-Kopie.avi"_s;
    QTest::newRow("hidden, no suffix") << u"/home/u/.clip"_s << QString() << u".mp4"_s << u"/home/u/.mp4"_s;
    QTest::newRow("hidden, copy") << u"/home/u/.clip"_s << QString() << QString() << u"/home/u/-Kopie.clip"_s;
    QTest::newRow("marker in a folder") << u"/home/u/Film-Kopie/clip.avi"_s << QString() << QString()
                                        << u"/home/u/Film-Kopie/clip-Kopie.avi"_s;
    QTest::newRow("marker in a folder, mpeg4") << u"/home/u/Film-Kopie/clip-Kopie.avi"_s << QString()
                                               << u".mp4"_s << u"/home/u/Film-Kopie/clip.mp4"_s;
}

void ArgumentsTest::outputName()
{
    QFETCH(QString, input);
    QFETCH(QString, wanted);
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    QCOMPARE(proposeOutputName(input, wanted, suffix), expected);
}

// The same existing file written in other forms: the proposal must never resolve
// to the input.
void ArgumentsTest::sameFileForms_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("expected");

    QVERIFY(dir.isValid());
    const QString d = dir.path();
    QDir().mkpath(d + u"/sub"_s);
    QFile(d + u"/same.avi"_s).open(QIODevice::WriteOnly);
    QFile::link(d + u"/same.avi"_s, d + u"/link.avi"_s);
    QVERIFY(::link(QFile::encodeName(d + u"/same.avi"_s).constData(),
                   QFile::encodeName(d + u"/hard.avi"_s).constData()) == 0);
    QFile(d + u"/twin.avi"_s).open(QIODevice::WriteOnly);
    QVERIFY(::link(QFile::encodeName(d + u"/twin.avi"_s).constData(),
                   QFile::encodeName(d + u"/twin-Kopie.avi"_s).constData()) == 0);

    QTest::newRow("symlink as output")
        << d + u"/same.avi"_s << d + u"/link.avi"_s << d + u"/link-Kopie.avi"_s;
    QTest::newRow("symlink as input") << d + u"/link.avi"_s << d + u"/same.avi"_s << d + u"/same-Kopie.avi"_s;
    QTest::newRow("/./ in output") << d + u"/same.avi"_s << d + u"/./same.avi"_s << d + u"/same-Kopie.avi"_s;
    QTest::newRow("// in input") << d + u"//same.avi"_s << QString() << d + u"/same-Kopie.avi"_s;
    QTest::newRow(".. in output") << d + u"/same.avi"_s << d + u"/sub/../same.avi"_s
                                  << d + u"/same-Kopie.avi"_s;
    QTest::newRow("other file") << d + u"/same.avi"_s << d + u"/other.avi"_s << d + u"/other.avi"_s;
    QTest::newRow("hard link as output")
        << d + u"/same.avi"_s << d + u"/hard.avi"_s << d + u"/hard-Kopie.avi"_s;
    QTest::newRow("hard link as input")
        << d + u"/hard.avi"_s << d + u"/same.avi"_s << d + u"/same-Kopie.avi"_s;
    QTest::newRow("marked name is a hard link")
        << d + u"/twin.avi"_s << QString() << d + u"/twin-Kopie-Kopie.avi"_s;
}

void ArgumentsTest::sameFileForms()
{
    QFETCH(QString, input);
    QFETCH(QString, wanted);
    QFETCH(QString, expected);
    const QString result = proposeOutputName(input, wanted, QString());
    QCOMPARE(result, expected);
    QVERIFY(!sameFile(input, result));
}

QTEST_GUILESS_MAIN(ArgumentsTest)
#include "tst_arguments.moc"
