// Outputs that play: the converter's report of what it wrote, the check of a
// finished file against it, and the colour flags of 4:2:0 outputs; as tables, and
// on real conversions (tiny generated clips) and damaged copies of them.
#include <QtTest>

#include "arguments.h"
#include "codecs.h"
#include "colourflags.h"
#include "compatibility.h"
#include "mediainfo.h"
#include "outputcheck.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
const QString incomplete = u"Die Ausgabedatei ist unvollständig: "_s;

// Runs the real converter (or ffprobe); true when it ended with 0.
bool run(const QString &program, const QStringList &args, QByteArray *errors = nullptr,
         QByteArray *out = nullptr)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (errors)
        *errors = p.readAllStandardError();
    if (out)
        *out = p.readAllStandardOutput();
    return ok;
}

// "video h264 yuv420p|audio aac": the streams of an expectation, compactly.
QString describe(const QList<OutputStream> &streams)
{
    QStringList parts;
    for (const OutputStream &s : streams)
        parts << QStringList{s.type, s.codec, s.pixelFormat}.join(u' ').trimmed();
    return parts.join(u'|');
}

OutputExpectation expect(const QString &streams, double seconds)
{
    OutputExpectation e;
    e.reported = !streams.isEmpty();
    e.seconds = seconds;
    for (const QString &s : streams.split(u'|', Qt::SkipEmptyParts)) {
        const QStringList w = s.split(u' ');
        e.streams.append({w.value(0), w.value(1), w.value(2)});
    }
    return e;
}

// Waits for an asynchronous check and returns its reason.
QString probeReason(const QString &file, const OutputExpectation &expectation)
{
    OutputProbe probe;
    QSignalSpy done(&probe, &OutputProbe::finished);
    probe.start(file, expectation);
    if (!done.wait(OutputProbe::timeLimitMs + 5000) || done.size() != 1)
        return u"no single result"_s;
    return done.first().first().toString();
}

const QByteArray input =
    "Input #0, matroska,webm, from '/in.mkv':\n  Duration: 00:00:02.00, start: 0.000000\n"
    "  Stream #0:0: Video: ffv1, bgr0(pc, gbr/unknown/unknown), 160x120, 25 fps\n"
    "  Stream #0:1: Audio: pcm_s16le, 48000 Hz, stereo, s16, 1536 kb/s\n";
const QByteArray mapping = "Stream mapping:\n  Stream #0:0 -> #0:0 (ffv1 (native) -> h264 (libx264))\n"
                           "Press [q] to stop, [?] for help\n";
const QByteArray mp4 =
    "Output #0, mp4, to '/out/a.mp4':\n  Metadata:\n    encoder         : Lavf59.27.100\n"
    "  Stream #0:0: Video: h264 (avc1 / 0x31637661), yuv420p(tv, bt470bg/bt470bg/smpte170m, "
    "progressive), 160x120, q=2-31, 25 fps, 12800 tbn\n    Metadata:\n      encoder         : "
    "Lavc59.37.100 libx264\n    Side data:\n      cpb: bitrate max/min/avg: 0/0/0 buffer size: 0\n"
    "  Stream #0:1: Audio: aac (LC) (mp4a / 0x6134706D), 48000 Hz, stereo, fltp, 128 kb/s\n";
const QByteArray status =
    "frame=   12 fps=0.0 q=28.0 size=       0kB time=00:00:00.40 bitrate=   0.9kbits/s    \r"
    "frame=   50 fps=0.0 q=-1.0 Lsize=      40kB time=00:00:01.96 bitrate= 167.2kbits/s    \n"
    "video:30kB audio:9kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 2%\n";
} // namespace

class OutputCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportReading_data();
    void reportReading();
    void nullOutputs();
    void checkOutput_data();
    void checkOutput();
    void colourFlags_data();
    void colourFlags();
    void realColours_data();
    void realColours();
    void realOutputs_data();
    void realOutputs();
    void damagedOutputs_data();
    void damagedOutputs();

private:
    QTemporaryDir dir;
    QHash<QString, QByteArray> reports; // real outputs and their converter's reports
};

void OutputCheckTest::initTestCase()
{
    QVERIFY(dir.isValid());
}

void OutputCheckTest::reportReading_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QString>("streams");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("kilobytes");
    QTest::newRow("encoding: output after the mapping")
        << input + mapping + mp4 + status << true << u"video h264 yuv420p|audio aac"_s << 1.96 << 40ll;
    QTest::newRow("copy into a raw video stream")
        << input +
               "Output #0, mpeg2video, to '/out/cam.m2v':\n  Metadata:\n    encoder : Lavf\n"
               "  Stream #0:0: Video: mpeg2video (Main), yuv420p(tv, progressive), 160x120 [SAR 1:1]\n" +
               mapping + status
        << true << u"video mpeg2video yuv420p"_s << 1.96 << 40ll;
    QTest::newRow("a name with a line break, a quote and a comma; metadata that looks like a stream")
        << QByteArray(
               "Output #0, matroska, to '/out/a\nb', to 'c.mkv':\n  Stream #0:0(ger): Subtitle: subrip\n"
               "  Stream #0:1[0x1e0]: Audio: mp3, 44100 Hz\n    comment         : Stream #0:9: Video: x\n"
               "size=      11kB time=00:01:02.50 bitrate=  84.8kbits/s speed=50x    \n")
        << true << u"subtitle subrip|audio mp3"_s << 62.5 << 11ll;
    QTest::newRow("errors only: no output listed, the position still read")
        << status << false << QString() << 1.96 << 40ll;
    QTest::newRow("a second output and a position before the start")
        << mp4 + "Output #1, mp4, to '/o2.mp4':\n  Stream #1:0: Video: h264\n"
                 "frame=    1 fps=0.0 q=-1.0 Lsize=N/A time=-577014:32:22.77 bitrate=N/A    \n"
        << true << u"video h264 yuv420p|audio aac"_s << 0.0 << -1ll;
    QTest::newRow("a copied codec the converter does not know; the last line unfinished")
        << QByteArray("Output #0, matroska, to '/o.mkv':\n  Stream #0:0: Video: none, 160x120\n"
                      "frame=    9 fps=0.0 q=-1.0 size=       1kB time=00:00:03.00 bitrate=N/A")
        << true << u"video none"_s << 3.0 << 1ll;
}

// The same expectation however the report arrives in pieces.
void OutputCheckTest::reportReading()
{
    QFETCH(QByteArray, report);
    QFETCH(bool, reported);
    QFETCH(QString, streams);
    QFETCH(double, seconds);
    QFETCH(qint64, kilobytes);
    for (qsizetype piece : {qsizetype(1), qsizetype(3), qsizetype(64), report.size()}) {
        OutputReportReader reader;
        for (qsizetype at = 0; at < report.size(); at += piece)
            reader.feed(QByteArrayView(report).sliced(at, std::min(piece, report.size() - at)));
        const OutputExpectation e = reader.expectation();
        QCOMPARE(e.reported, reported);
        QCOMPARE(describe(e.streams), streams);
        QCOMPARE(e.seconds, seconds);
        QCOMPARE(e.kilobytes, kilobytes);
        QVERIFY(!e.nullOutput);
    }
}

void OutputCheckTest::nullOutputs()
{
    const OutputExpectation pass = readOutputExpectation(
        QByteArray("Output #0, null, to '/dev/null':\n  Stream #0:0: Video: wrapped_avframe\n" + status));
    QVERIFY(pass.nullOutput);
    QCOMPARE(::checkOutput(QByteArray(), pass), QString());
    for (const QString &run : {u"-i in -pass 1 -f null /tmp/x"_s, u"-i in -"_s, u"-i in pipe:1"_s})
        QVERIFY2(writesNoFile(run.split(u' ')), qPrintable(run));
    for (const QString &run : {u"-f null -i in /out.mp4"_s, u"-i in -f mp4 /out/null"_s})
        QVERIFY2(!writesNoFile(run.split(u' ')), qPrintable(run));
}

void OutputCheckTest::checkOutput_data()
{
    QTest::addColumn<QByteArray>("probe");
    QTest::addColumn<QString>("streams");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("reason"); // a part of it; empty: the output is fine
    const QByteArray av =
        R"({"streams":[{"codec_type":"video","codec_name":"h264","pix_fmt":"yuv420p",)"
        R"("duration":"2.0"},{"codec_type":"audio","codec_name":"aac","duration":"1.999"}])";
    const QString videoAudio = u"video h264 yuv420p|audio aac"_s;
    QTest::newRow("fine") << av + R"(,"format":{"format_name":"mov,mp4","duration":"2.0"}})" << videoAudio
                          << 2.04 << QString();
    QTest::newRow("MPEG program stream ending early, measured")
        << QByteArray(R"({"streams":[{"codec_type":"video","codec_name":"mpeg2video","pix_fmt":"yuv420p",)"
                      R"("duration":"0.92"},{"codec_type":"audio","codec_name":"ac3","duration":"0.896"}],)"
                      R"("format":{"format_name":"mpeg","duration":"0.925333"}})")
        << u"video mpeg2video yuv420p|audio ac3"_s << 1.01 << QString();
    QTest::newRow("header claims more than the streams hold")
        << QByteArray(
               R"({"streams":[{"codec_type":"video","codec_name":"h264","pix_fmt":"yuv420p"},)"
               R"({"codec_type":"audio","codec_name":"aac"},{"codec_type":"subtitle","codec_name":"subrip",)"
               R"("duration":"3.443"}],"format":{"format_name":"matroska,webm","duration":"3.443"}})")
        << videoAudio + u"|subtitle subrip"_s << 2.04 << QString();
    QTest::newRow("duration guessed from the bitrate")
        << QByteArray(R"({"streams":[{"codec_type":"audio","codec_name":"aac","duration":"10.2"}],)"
                      R"("format":{"format_name":"aac","duration":"10.202102"}})")
        << u"audio aac"_s << 20.03 << QString();
    QTest::newRow("no duration, no report")
        << QByteArray(R"({"streams":[{"codec_type":"video","codec_name":"h264","pix_fmt":"yuv420p"}]})")
        << QString() << 19.92 << QString();
    QTest::newRow("a copied codec unknown to both")
        << QByteArray(R"({"streams":[{"codec_type":"video"}],"format":{"duration":"3.0"}})")
        << u"video none"_s << 3.0 << QString();
    QTest::newRow("cut off") << QByteArray(
                                    R"({"streams":[{"codec_type":"video","codec_name":"h264","pix_fmt":)"
                                    R"("yuv420p","duration":"9.96"}],"format":{"format_name":"mpegts",)"
                                    R"("duration":"9.965333"}})")
                             << u"video h264 yuv420p"_s << 20.0
                             << u"nur 10,0 s lang, ffmpeg hat aber 20,0 s"_s;
    QTest::newRow("unreadable") << QByteArray("{\n\n}") << videoAudio << 2.0 << u"keinen lesbaren"_s;
    QTest::newRow("only a data stream")
        << QByteArray(R"({"streams":[{"codec_type":"data","codec_name":"bin"}]})") << QString() << 0.0
        << u"keinen lesbaren"_s;
    QTest::newRow("audio missing") << av.left(av.indexOf(",{")) + "]}" << videoAudio << 0.0
                                   << u"der Audiostrom fehlt"_s;
    QTest::newRow("one audio stream of two")
        << av + "}" << videoAudio + u"|audio mp3"_s << 0.0 << u"1 von 2 Audioströmen"_s;
    QTest::newRow("subtitle missing")
        << av + "}" << videoAudio + u"|subtitle mov_text"_s << 0.0 << u"der Untertitelstrom fehlt"_s;
    QTest::newRow("VP9 that no decoder reads")
        << QByteArray(
               R"({"streams":[{"codec_name":"vp9","codec_type":"video"}],"format":{"duration":"1.0"}})")
        << u"video vp9 yuv420p"_s << 1.0 << u"ein Videostrom (vp9) lässt sich nicht lesen"_s;
}

void OutputCheckTest::checkOutput()
{
    QFETCH(QByteArray, probe);
    QFETCH(QString, streams);
    QFETCH(double, seconds);
    QFETCH(QString, reason);
    const QString found = ::checkOutput(probe, expect(streams, seconds));
    if (reason.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.startsWith(incomplete) && found.contains(reason), qPrintable(found));
}

// The flags chosen from a source's video stream line as the information run
// shows it (after the codec name), and its frame height.
void OutputCheckTest::colourFlags_data()
{
    QTest::addColumn<QString>("stream");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("flags"); // matrix, primaries, transfer
    const QString hd = u"bt709 bt709 bt709"_s;
    const QString pal = u"bt470bg bt470bg smpte170m"_s;
    const QString srgb = u"smpte170m bt709 iec61966-2-1"_s;
    const QString camera = u" (Main), yuv420p(tv, gbr/unknown/unknown, progressive), 720x576 [SAR 16:15]"_s;
    QTest::newRow("camera, wrong RGB flag, SD") << camera << 576 << pal;
    QTest::newRow("camera, wrong RGB flag, HD") << camera << 1080 << hd;
    QTest::newRow("wrong RGB flag, size unknown") << camera << 0 << hd;
    QTest::newRow("no flag, NTSC") << u", yuv420p(progressive), 720x480"_s << 480
                                   << u"bt470bg smpte170m smpte170m"_s;
    QTest::newRow("matrix unknown, tiny") << u", yuvj420p(pc, unknown/bt709/bt709), 64x64"_s << 120 << pal;
    QTest::newRow("no flag, 720p") << u", yuv420p, 1280x720"_s << 720 << hd;
    QTest::newRow("no flag, size unknown") << u", yuv420p"_s << 0 << QString();
    QTest::newRow("own flags, HD")
        << u" (High) (avc1 / 0x31637661), yuv420p(tv, bt709, progressive), 1920x1080"_s << 1080 << QString();
    QTest::newRow("own flags, SD") << u", yuv422p(tv, smpte170m), 720x480"_s << 480 << QString();
    QTest::newRow("own flags, UHD") << u", yuv420p10le(tv, bt2020nc/bt2020/smpte2084)"_s << 2160 << QString();
    QTest::newRow("real RGB, HD") << u" (FFV1 / 0x31564646), bgr0(pc, gbr/unknown/unknown), 1920x1080"_s
                                  << 1080 << srgb;
    QTest::newRow("real RGB, no flag")
        << u" (png  / 0x20676E70), rgb24(pc, progressive), 160x120"_s << 120 << srgb;
    QTest::newRow("palette") << u", pal8, 320x240"_s << 240 << srgb;
}

void OutputCheckTest::colourFlags()
{
    QFETCH(QString, stream);
    QFETCH(int, height);
    QFETCH(QString, flags);
    const PictureFormat picture = readPictureFormat(stream);
    const QStringList options = colourFlagOptions(picture.colourMatrix, picture.pixelFormat, height);
    QStringList values;
    for (qsizetype i = 0; i + 1 < options.size(); i += 2)
        values << options[i + 1];
    QCOMPARE(values.join(u' '), flags);
    if (!options.isEmpty())
        QCOMPARE(options[0] + options[2] + options[4], u"-colorspace-color_primaries-color_trc"_s);
}

void OutputCheckTest::realColours_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("codec");
    QTest::addColumn<bool>("flags");
    QTest::addColumn<QString>("outcome"); // the matrix ffprobe reads, "undecodable" or "refused"
    const QString sd = u"camera-sd.mpg"_s;
    for (int codec = 7; codec <= 10; ++codec) // h264, h265, vp9, av1
        QTest::addRow("camera SD, codec %d", codec) << sd << codec << true << u"bt470bg"_s;
    QTest::newRow("camera SD, VP9 without the flags") << sd << 9 << false << u"undecodable"_s;
    QTest::newRow("camera SD, AV1 without the flags") << sd << 10 << false << u"refused"_s;
    QTest::newRow("camera HD, VP9") << u"camera-hd.mpg"_s << 9 << true << u"bt709"_s;
    QTest::newRow("red RGB HD, H.264") << u"red-hd.mkv"_s << 7 << true << u"smpte170m"_s;
}

void OutputCheckTest::realColours()
{
    QFETCH(QString, source);
    QFETCH(int, codec);
    QFETCH(bool, flags);
    QFETCH(QString, outcome);
    const QString in = dir.filePath(source);
    // A camera's MPEG-2 flagged RGB, SD and HD, and real RGB pictures of pure red.
    static const QHash<QString, QString> make{
        {u"camera-sd.mpg"_s, u"testsrc=size=160x120:duration=0.4 -c:v mpeg2video -colorspace rgb"_s},
        {u"camera-hd.mpg"_s, u"testsrc=size=1280x720:duration=0.08 -c:v mpeg2video -colorspace rgb"_s},
        {u"red-hd.mkv"_s, u"color=c=red:size=1280x720:duration=0.08 -c:v ffv1 -pix_fmt bgr0"_s}};
    if (!QFile::exists(in))
        QVERIFY(run(u"/usr/bin/ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s} +
                                              make[source].split(u' ') + QStringList{in}));
    // What the window's information run tells about the source, as it reads it.
    QByteArray info;
    run(u"/usr/bin/ffmpeg"_s, {u"-hide_banner"_s, u"-i"_s, in}, &info);
    InfoCollector collector;
    collector.feed(info);
    const SourceStreams streams = parseStreams(collector.lines());
    QVERIFY(streams.colourMatrix == u"gbr"_s);

    PanelSettings s;
    s.videoCodec = codec;
    s.originalSize = true;
    s.frameRateIndex = originalFrameRateIndex;
    s.ratio = originalRatioIndex;
    s.quality = defaultQualityIndex;
    s.audioOn = false;
    const QString out = dir.filePath(u"%1-%2-%3.mkv"_s.arg(source).arg(codec).arg(flags));
    QStringList args = buildArguments(s, in, out);
    if (flags) // before the output name
        args = args.mid(0, args.size() - 1) +
               colourFlagOptions(streams.colourMatrix, streams.pixelFormat, streams.height) +
               QStringList{out};
    const bool converted = run(u"/usr/bin/ffmpeg"_s, QStringList{u"-v"_s, u"error"_s} + args);
    if (outcome == u"refused"_s) {
        QVERIFY(!converted);
        return;
    }
    QVERIFY(converted);
    QByteArray errors, probed, pixels;
    run(u"/usr/bin/ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, out, u"-f"_s, u"null"_s, u"-"_s}, &errors);
    if (outcome == u"undecodable"_s) {
        QVERIFY2(errors.contains("RGB not supported"), errors.constData());
        return;
    }
    QVERIFY2(errors.isEmpty(), errors.constData()); // a full decode without a complaint
    run(u"/usr/bin/ffprobe"_s,
        {u"-v"_s, u"error"_s, u"-of"_s, u"csv=p=0"_s, u"-show_entries"_s, u"stream=color_space"_s, out},
        nullptr, &probed);
    QCOMPARE(QString::fromLatin1(probed.trimmed()), outcome);
    if (source.startsWith(u"red"_s)) {
        // Decoded with the matrix the flags name, red comes back red; BT.709 flags
        // on these BT.601 pixels would give green 24.
        run(u"/usr/bin/ffmpeg"_s,
            {u"-v"_s, u"error"_s, u"-i"_s, out, u"-frames:v"_s, u"1"_s, u"-f"_s, u"rawvideo"_s, u"-pix_fmt"_s,
             u"rgb24"_s, u"-"_s},
            nullptr, &pixels);
        QVERIFY(pixels.size() >= 3);
        QVERIFY2(
            quint8(pixels[0]) > 240 && quint8(pixels[1]) < 8 && quint8(pixels[2]) < 8,
            qPrintable(u"%1 %2 %3"_s.arg(quint8(pixels[0])).arg(quint8(pixels[1])).arg(quint8(pixels[2]))));
    }
}

void OutputCheckTest::realOutputs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args");
    const auto list = [](const QString &text) { return text.split(u' '); };
    const QString yuv = u"-pix_fmt yuv420p "_s;
    QTest::newRow("H.264, AAC") << u"a.mp4"_s << list(u"-vcodec libx264 "_s + yuv + u"-acodec aac"_s);
    QTest::newRow("H.265, AC3") << u"b.mp4"_s
                                << list(u"-vcodec libx265 "_s + yuv + u"-tag:v hvc1 -acodec ac3"_s);
    QTest::newRow("VP9, Opus") << u"c.webm"_s << list(u"-vcodec libvpx-vp9 "_s + yuv + u"-acodec libopus"_s);
    QTest::newRow("AV1, FLAC") << u"d.mkv"_s << list(u"-vcodec libsvtav1 "_s + yuv + u"-acodec flac"_s);
    QTest::newRow("MPEG-4, MP3") << u"e.avi"_s
                                 << list(u"-s 320x240 -vcodec mpeg4 -r 25 -b 800k -acodec libmp3lame"_s);
    QTest::newRow("MPEG-2, MP2 at 22.05 kHz")
        << u"f.mpg"_s << list(u"-vcodec mpeg2video -acodec mp2 -ar 22050"_s);
    QTest::newRow("PAL-DVD") << u"g.mpg"_s << list(u"-target pal-dvd -b 8000k -acodec ac3"_s);
    QTest::newRow("FLV") << u"h.flv"_s << list(u"-vcodec flv -acodec libmp3lame"_s);
    QTest::newRow("transport stream") << u"i.ts"_s << list(u"-vcodec libx264 "_s + yuv + u"-acodec ac3"_s);
    for (const QString &audio : {u"aac m4a"_s, u"libopus opus"_s, u"libvorbis ogg"_s, u"libmp3lame mp3"_s,
                                 u"pcm_s16le wav"_s, u"ac3 ac3"_s, u"flac flac"_s, u"mp2 mp2"_s})
        QTest::addRow("sound only: %s", qPrintable(audio))
            << u"sound."_s + audio.section(u' ', 1) << list(u"-vn -acodec "_s + audio.section(u' ', 0, 0));
    // A movie whose subtitle lasts 3.4 s while its pictures and sound end at 2 s.
    QTest::newRow("movie, every track copied") << u"j.mkv"_s << list(u"-map 0 -c copy"_s);
    QTest::newRow("movie to MP4 with text subtitles")
        << u"k.mp4"_s << list(u"-map 0 -vcodec libx264 "_s + yuv + u"-acodec aac -c:s mov_text"_s);
}

// Correct conversions of every container of today pass the check.
void OutputCheckTest::realOutputs()
{
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    const QString clip = dir.filePath(u"clip.mkv"_s), movie = dir.filePath(u"movie.mkv"_s);
    if (!QFile::exists(movie)) {
        QVERIFY(makeClip(clip, 1.5));
        QFile subtitle(dir.filePath(u"sub.srt"_s));
        QVERIFY(subtitle.open(QIODevice::WriteOnly));
        subtitle.write("1\n00:00:00,500 --> 00:00:03,420\nHallo\n");
        subtitle.close();
        QVERIFY(run(u"/usr/bin/ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, clip, u"-i"_s, subtitle.fileName(),
                                           u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-c:v"_s, u"copy"_s,
                                           u"-c:a"_s, u"copy"_s, u"-c:s"_s, u"srt"_s, movie}));
    }
    const QString out = dir.filePath(name);
    QByteArray report;
    const QString in = args.contains(u"-map"_s) ? movie : clip;
    QVERIFY2(run(u"/usr/bin/ffmpeg"_s,
                 QStringList{u"-hide_banner"_s, u"-y"_s, u"-i"_s, in} + args + QStringList{out}, &report),
             report.right(300).constData());
    const OutputExpectation expected = readOutputExpectation(report);
    QVERIFY(expected.reported && !expected.streams.isEmpty() && expected.seconds > 1.4);
    QCOMPARE(probeReason(out, expected), QString());
    reports.insert(name, report);
}

void OutputCheckTest::damagedOutputs_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("withReport");  // the real run's report, or nothing at all
    QTest::addColumn<QString>("scenario"); // what the fake converter leaves as the output
    QTest::addColumn<QString>("reason");
    QTest::newRow("complete copy") << u"i.ts"_s << true << u"output %1"_s << QString();
    QTest::newRow("cut-off transport stream") << u"i.ts"_s << true << u"output %1 20000"_s << u"kleiner"_s;
    QTest::newRow("cut-off Matroska, its header claims all")
        << u"d.mkv"_s << true << u"output %1 9000"_s << u"kleiner"_s;
    QTest::newRow("cut-off MP4, no report")
        << u"a.mp4"_s << false << u"output %1 20000"_s << u"keinen lesbaren"_s;
    QTest::newRow("no streams at all")
        << u"e.avi"_s << false << u"outputtext RIFF and nothing"_s << u"keinen lesbaren"_s;
    QTest::newRow("empty") << u"e.avi"_s << true << u"outputtext "_s << u"leer"_s;
    QTest::newRow("nothing written") << u"e.avi"_s << true << QString() << u"nicht angelegt"_s;
}

// The fake converter leaves a damaged copy of a real output behind and ends with
// success: the check fails it.
void OutputCheckTest::damagedOutputs()
{
    QFETCH(QString, name);
    QFETCH(bool, withReport);
    QFETCH(QString, scenario);
    QFETCH(QString, reason);
    if (!reports.contains(name))
        QSKIP("the real output was not made");
    FakeConverter fake;
    QString escaped = QString::fromUtf8(reports[name]);
    escaped.replace(u'\\', u"\\\\"_s).replace(u'\n', u"\\n"_s).replace(u'\r', u"\\r"_s);
    QStringList lines;
    if (withReport)
        lines << u"err "_s + escaped;
    if (!scenario.isEmpty())
        lines << (scenario.contains(u"%1"_s) ? scenario.arg(dir.filePath(name)) : scenario);
    fake.setScenario(lines << u"exit 0"_s);
    const QString out = dir.filePath(u"damaged-"_s + name);
    QFile::remove(out);
    QByteArray report;
    QVERIFY(run(u"ffmpeg"_s, {u"-y"_s, u"-i"_s, dir.filePath(u"clip.mkv"_s), out}, &report));
    const QString found = probeReason(out, readOutputExpectation(report));
    if (reason.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.startsWith(incomplete) && found.contains(reason), qPrintable(found));
}

QTEST_GUILESS_MAIN(OutputCheckTest)
#include "tst_outputcheck.moc"
