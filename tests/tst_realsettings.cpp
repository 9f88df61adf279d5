// Panel states against the installed converter: each argument list, with the
// output name the naming proposes, is run by the real ffmpeg and its result
// checked with ffprobe. Combinations the converter refuses must fail cleanly.
#include <QtTest>

#include "arguments.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PanelSettings)

class RealSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convert_data();
    void convert();

private:
    QTemporaryDir dir;
    QString clip;
};

static const QStringList videoSuffixes{QString(), u".avi"_s, u".avi"_s, u".mpg"_s,
                                       u".mpg"_s, u".mp4"_s, u".flv"_s};
static const QStringList audioSuffixes{QString(), u".wav"_s, u".mp3"_s, u".mp2"_s, u".ac3"_s};

// What ffprobe finds: "video codec/audio codec/sample rate/channels/width", "-"
// for a missing stream.
static QString probe(const QString &file)
{
    QProcess p;
    p.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s,
                           u"stream=codec_type,codec_name,sample_rate,channels,width"_s, u"-of"_s,
                           u"default=nw=1"_s, file});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return u"invalid"_s;
    QString video = u"-"_s, audio = u"-"_s, rate, channels, width;
    QString type;
    QMap<QString, QString> current;
    const auto flush = [&] {
        if (current.value(u"codec_type"_s) == u"video") {
            video = current.value(u"codec_name"_s);
            width = current.value(u"width"_s);
        } else if (current.value(u"codec_type"_s) == u"audio") {
            audio = current.value(u"codec_name"_s);
            rate = current.value(u"sample_rate"_s);
            channels = current.value(u"channels"_s);
        }
        current.clear();
    };
    for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
        const QString key = line.section(u'=', 0, 0);
        if (key == u"codec_name" && current.contains(u"codec_name"_s))
            flush();
        if (!key.isEmpty())
            current[key] = line.section(u'=', 1);
    }
    flush();
    return u"%1/%2/%3/%4/%5"_s.arg(video, audio, rate, channels, width);
}

void RealSettingsTest::initTestCase()
{
    QVERIFY(dir.isValid());
    clip = dir.filePath(u"clip.avi"_s);
    QVERIFY2(makeClip(clip, 2), "the real converter could not make the test clip");
    QCOMPARE(probe(clip), u"mpeg4/mp3/44100/1/160"_s);
}

void RealSettingsTest::convert_data()
{
    QTest::addColumn<PanelSettings>("settings");
    QTest::addColumn<QString>("expected"); // probe() of the output, or "refused"

    const QStringList vnames{u"copy"_s,       u"huffyuv"_s, u"mjpeg"_s, u"mpeg1video"_s,
                             u"mpeg2video"_s, u"mpeg4"_s,   u"flv"_s};
    const QStringList vprobed{u"mpeg4"_s,      u"huffyuv"_s, u"mjpeg"_s, u"mpeg1video"_s,
                              u"mpeg2video"_s, u"mpeg4"_s,   u"flv1"_s};
    const QStringList anames{u"copy"_s, u"wav"_s, u"mp3"_s, u"mp2"_s, u"ac3"_s, u"off"_s};
    const QStringList aprobed{u"mp3/44100/1"_s, u"pcm_s16le/44100/2"_s, u"mp3/44100/2"_s,
                              u"mp2/44100/2"_s, u"ac3/44100/2"_s,       u"-//"_s};
    // What this converter refuses, by video codec index and audio name.
    const QSet<QString> refused{u"3 wav"_s, u"4 wav"_s, u"5 wav"_s, u"6 mp2"_s, u"6 ac3"_s};

    for (int v = 0; v < vnames.size(); ++v) {
        for (int a = 0; a < anames.size(); ++a) {
            PanelSettings s;
            s.videoCodec = v;
            s.audioOn = anames[a] != u"off";
            s.audioCodec = s.audioOn ? a : 0;
            s.frequencyEnabled = s.channelsEnabled = s.audioCodec >= 1;
            s.audioBitrateEnabled = s.audioCodec >= 2;
            s.audioBitrateIndex = 3;
            const QString key = u"%1 %2"_s.arg(v).arg(anames[a]);
            const QString width = v == 0 ? u"160"_s : u"320"_s;
            QString audio = aprobed[a];
            // MP4 files mark MPEG layer 2 and layer 3 audio alike; ffprobe names both mp3.
            if (v == 5 && anames[a] == u"mp2")
                audio = u"mp3/44100/2"_s;
            const QString expected =
                refused.contains(key) ? u"refused"_s : vprobed[v] + u'/' + audio + u'/' + width;
            QTest::addRow("%s + %s", qPrintable(vnames[v]), qPrintable(anames[a])) << s << expected;
        }
    }

    for (bool stereo : {false, true}) {
        PanelSettings s;
        s.videoCodec = 4;
        s.dvdPreset = true;
        s.width = u"720"_s;
        s.height = u"576"_s;
        s.videoBitrate = u"4000"_s;
        s.audioCodec = 4;
        s.sampleRateIndex = 0;
        s.frequencyEnabled = s.audioBitrateEnabled = s.channelsEnabled = true;
        s.stereo = stereo;
        QTest::addRow("PAL-DVD %s", stereo ? "stereo" : "mono")
            << s << u"mpeg2video/ac3/48000/%1/720"_s.arg(stereo ? 2 : 1);
    }

    const QStringList frequencies{u"48000"_s, u"44100"_s, u"22050"_s};
    for (int a = 0; a < 5; ++a) {
        for (int f = 0; f < 3; ++f) {
            if (a == 0 && f > 0)
                continue; // "copy" has no frequency
            PanelSettings s;
            s.videoOn = false;
            s.audioCodec = a;
            s.sampleRateIndex = f;
            s.frequencyEnabled = s.channelsEnabled = a >= 1;
            s.audioBitrateEnabled = a >= 2;
            s.audioBitrateIndex = 4;
            QString expected = a == 0 ? u"-/mp3/44100/1/"_s
                                      : u"-/%1/%2/2/"_s.arg(aprobed[a].section(u'/', 0, 0), frequencies[f]);
            if (a == 4 && f == 2)
                expected = u"refused"_s;
            QTest::addRow("video off + %s %s", qPrintable(anames[a]), a ? qPrintable(frequencies[f]) : "")
                << s << expected;
        }
    }
}

void RealSettingsTest::convert()
{
    QFETCH(PanelSettings, settings);
    QFETCH(QString, expected);
    QString suffix =
        settings.videoOn ? videoSuffixes[settings.videoCodec] : audioSuffixes[settings.audioCodec];
    const QString output = proposeOutputName(clip, QString(), suffix);
    QVERIFY(!sameFile(clip, output));
    QFile::remove(output);
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"ffmpeg"_s, buildArguments(settings, clip, output));
    QVERIFY(p.waitForFinished(60000));
    const QString log = QString::fromLocal8Bit(p.readAllStandardError()).right(600);
    if (expected == u"refused") {
        QVERIFY2(p.exitCode() != 0, qPrintable(u"accepted: "_s + probe(output)));
        const QString found = probe(output);
        QVERIFY2(!QFile::exists(output) || found == u"invalid" || QFileInfo(output).size() == 0 ||
                     found.startsWith(u"-/-"_s),
                 qPrintable(found));
    } else {
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, qPrintable(log));
        QCOMPARE(probe(output), expected);
    }
    QFile::remove(output);
}

QTEST_GUILESS_MAIN(RealSettingsTest)
#include "tst_realsettings.moc"
