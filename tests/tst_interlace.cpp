// Interlaced sources: the decision from field order and detector counts, the one
// video filter chain, and real conversions checked with the converter's own
// field detector.
#include <QtTest>

#include "arguments.h"
#include "codecs.h"
#include "interlace.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Scan)

namespace {
// The video codec item "h264", a codec of today.
constexpr int h264Item = 7;
QString report(int tff, int bff, int progressive, int undetermined)
{
    return u"[Parsed_idet_0 @ 0x55d3] Multi frame detection: TFF: %1 BFF: %2 Progressive: %3 Undetermined: %4\n"_s
        .arg(tff, 5)
        .arg(bff, 5)
        .arg(progressive, 5)
        .arg(undetermined, 5);
}

// Runs a program of the converter; its standard output, its standard error in `errors`.
QByteArray run(const QString &program, const QStringList &arguments, QString *errors = nullptr)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"/usr/bin/"_s + program, arguments);
    p.waitForFinished(60000);
    if (errors)
        *errors = QString::fromUtf8(p.readAllStandardError());
    return p.readAllStandardOutput();
}

QJsonObject probeVideo(const QString &file)
{
    const QJsonObject all =
        QJsonDocument::fromJson(
            run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                               u"stream=field_order,r_frame_rate,width,height:format=duration"_s, u"-of"_s,
                               u"json"_s, file}))
            .object();
    QJsonObject video = all[u"streams"_s][0].toObject();
    video[u"duration"_s] = all[u"format"_s][u"duration"_s];
    return video;
}

FieldDetection detect(const QString &file)
{
    QString errors;
    run(u"ffmpeg"_s, fieldDetectionArguments(file, 2.0), &errors);
    return parseFieldDetection(errors);
}

// The panel as a codec of today leaves it: H.264 at the source's own size.
PanelSettings h264Original()
{
    PanelSettings s;
    s.videoCodec = h264Item;
    s.originalSize = true;
    s.frameRateIndex = originalFrameRateIndex;
    s.ratio = originalRatioIndex;
    s.quality = defaultQualityIndex;
    s.audioOn = false;
    return s;
}
} // namespace

class InterlaceTest : public QObject
{
    Q_OBJECT

private slots:
    void decision_data();
    void decision();
    void videoFilters_data();
    void videoFilters();
    void realConversion_data();
    void realConversion();

private:
    QTemporaryDir dir;
    int clips = 0;
};

void InterlaceTest::decision_data()
{
    QTest::addColumn<QString>("fieldOrder"); // ffprobe's word
    QTest::addColumn<QString>("output");     // the detection run's standard error
    QTest::addColumn<Scan>("expected");

    QTest::newRow("camera 1080i") << u"tt"_s << report(61, 0, 0, 0) << Scan::TopFieldFirst;
    QTest::newRow("TV capture flagged, progressive pictures")
        << u"tt"_s << report(0, 0, 46, 15) << Scan::Progressive;
    QTest::newRow("pictures overrule the order") << u"tt"_s << report(2, 48, 0, 0) << Scan::BottomFieldFirst;
    QTest::newRow("tb is shown bottom first") << u"tb"_s << report(20, 20, 0, 0) << Scan::BottomFieldFirst;
    QTest::newRow("a quarter woven") << u""_s << report(15, 0, 40, 5) << Scan::TopFieldFirst;
    QTest::newRow("under a quarter") << u"bb"_s << report(0, 14, 41, 5) << Scan::Progressive;
    QTest::newRow("marked progressive, test pattern")
        << u"progressive"_s << report(49, 12, 0, 0) << Scan::Progressive;
    QTest::newRow("marked progressive, nine in ten woven")
        << u"progressive"_s << report(0, 45, 5, 0) << Scan::BottomFieldFirst;
    QTest::newRow("marked progressive, under nine in ten")
        << u"progressive"_s << report(44, 0, 6, 0) << Scan::Progressive;
    QTest::newRow("marked progressive, not looked at") << u"progressive"_s << QString() << Scan::Progressive;
    QTest::newRow("detection failed")
        << u"tt"_s << u"a.mts: Invalid data found when processing input"_s << Scan::Unknown;
}

void InterlaceTest::decision()
{
    QFETCH(QString, fieldOrder);
    QFETCH(QString, output);
    QFETCH(Scan, expected);
    QCOMPARE(decideScan(declaredScan(fieldOrder), parseFieldDetection(output)), expected);
    // Deinterlaced by default only when interlaced, and only with a codec of today.
    const bool interlaced = expected == Scan::TopFieldFirst || expected == Scan::BottomFieldFirst;
    QCOMPARE(deinterlaceByDefault(expected, h264Item), interlaced);
    QVERIFY(!deinterlaceByDefault(expected, 5));
}

void InterlaceTest::videoFilters_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("deinterlace");
    QTest::addColumn<int>("maxHeight");
    QTest::addColumn<int>("sourceHeight");
    QTest::addColumn<QString>("expected"); // blank-separated; empty: unchanged

    const QStringList modern = buildArguments(h264Original(), u"/v/in.mts"_s, u"/v/out.mp4"_s);
    const QString bwdif = deinterlaceFilter(Scan::TopFieldFirst);
    PanelSettings mpeg4;
    mpeg4.videoCodec = 5;

    QTest::newRow("nothing to add") << modern << QString() << 1080 << 1080 << QString();
    QTest::newRow("deinterlace, limit, crop")
        << modern << deinterlaceFilter(Scan::BottomFieldFirst) << 720 << 1080
        << u"-y -i /v/in.mts -vf bwdif=mode=send_frame:parity=bff:deint=all[f1];[f1]scale=-2:720[f2];"
           "[f2]crop=trunc(iw/2)*2:trunc(ih/2)*2 -vcodec libx264 -pix_fmt yuv420p -fps_mode vfr -crf 23 -an /v/out.mp4"_s;
    QTest::newRow("a link name already taken")
        << QStringList{u"-i"_s, u"/a.avi"_s, u"-vf"_s, u"hflip[f1];[f1]vflip"_s, u"/b.mp4"_s}
        << deinterlaceFilter(Scan::Unknown) << 0 << 0
        << u"-i /a.avi -vf bwdif=mode=send_frame:parity=auto:deint=all[f2];[f2]hflip[f1];[f1]vflip /b.mp4"_s;
    QTest::newRow("no -vf yet") << buildArguments(mpeg4, u"/in.mpg"_s, u"/out.avi"_s) << bwdif << 0 << 0
                                << QString(
                                       u"-y -i /in.mpg -s 320x240 -vcodec mpeg4 -r 25 -aspect 4:3 -b 8000k "
                                       "-acodec copy -vf "_s +
                                       bwdif + u" /out.avi"_s);
    QTest::newRow("video copied") << buildArguments(PanelSettings(), u"/in"_s, u"/out"_s) << bwdif << 720 << 0
                                  << QString();
}

void InterlaceTest::videoFilters()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, deinterlace);
    QFETCH(int, maxHeight);
    QFETCH(int, sourceHeight);
    QFETCH(QString, expected);
    const QStringList result =
        withVideoFilters(arguments, deinterlace, sizeLimitFilter(maxHeight, sourceHeight));
    QCOMPARE(result, expected.isEmpty() ? arguments : expected.split(u' '));
}

void InterlaceTest::realConversion_data()
{
    QTest::addColumn<QString>("scan"); // of the interlace filter; empty: progressive
    QTest::addColumn<QStringList>("codec");
    QTest::addColumn<Scan>("expected");
    QTest::addColumn<int>("maxHeight");

    const QStringList ildct{u"-flags"_s, u"+ildct+ilme"_s};
    QTest::newRow("MPEG-2, top first")
        << u"tff"_s << QStringList{u"-c:v"_s, u"mpeg2video"_s, u"-b:v"_s, u"3M"_s, u"-top"_s, u"1"_s} + ildct
        << Scan::TopFieldFirst << 0;
    // Matroska marks this one progressive, though every frame is woven. The limit
    // lies above its height, which the job is taken not to know.
    QTest::newRow("H.264 in Matroska, bottom first")
        << u"bff"_s << QStringList{u"-c:v"_s, u"libx264"_s, u"-x264opts"_s, u"bff=1"_s} + ildct
        << Scan::BottomFieldFirst << 480;
    QTest::newRow("flagged top first, progressive pictures")
        << QString() << QStringList{u"-c:v"_s, u"libx264"_s, u"-x264opts"_s, u"tff=1"_s} + ildct
        << Scan::Progressive << 0;
}

void InterlaceTest::realConversion()
{
    QFETCH(QString, scan);
    QFETCH(QStringList, codec);
    QFETCH(Scan, expected);
    QFETCH(int, maxHeight);

    // A moving picture scaled down, so that it holds no lines finer than a
    // camera's; interlaced clips weave 50 pictures a second into 25 frames.
    const QString source = dir.filePath(u"clip%1.mkv"_s.arg(++clips));
    QString picture =
        u"testsrc2=size=640x480:rate=%1:duration=2,scale=320:240"_s.arg(scan.isEmpty() ? 25 : 50);
    if (!scan.isEmpty())
        picture += u",interlace=scan="_s + scan;
    QString errors;
    run(u"ffmpeg"_s,
        QStringList{u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, picture, u"-pix_fmt"_s, u"yuv420p"_s} +
            codec + QStringList{source},
        &errors);
    QVERIFY2(QFileInfo::exists(source), qPrintable(errors));
    const Scan decided =
        decideScan(declaredScan(probeVideo(source)[u"field_order"_s].toString()), detect(source));
    QCOMPARE(decided, expected);

    const QString output = source + u".mp4"_s;
    const QStringList plain = buildArguments(h264Original(), source, output);
    const QStringList arguments = withVideoFilters(
        plain, deinterlaceByDefault(decided, h264Item) ? deinterlaceFilter(decided) : QString(),
        sizeLimitFilter(maxHeight, 0));
    // A progressive source, however it is flagged, gets the builder's list as it is.
    QCOMPARE(arguments == plain, expected == Scan::Progressive);
    run(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s} + arguments, &errors);
    QVERIFY2(QFileInfo::exists(output), qPrintable(errors));

    // Full frames at 25 a second, marked progressive, at the source's size and
    // length, and (almost) none of them woven.
    const QJsonObject video = probeVideo(output);
    QCOMPARE(video[u"field_order"_s].toString(), u"progressive"_s);
    QCOMPARE(video[u"r_frame_rate"_s].toString(), u"25/1"_s);
    QCOMPARE(video[u"height"_s].toInt(), 240);
    QVERIFY2(qAbs(video[u"duration"_s].toString().toDouble() - 2.0) < 0.05,
             qPrintable(video[u"duration"_s].toString()));
    const FieldCounts counts = detect(output).counts;
    QVERIFY2(counts.total() >= 45 && counts.interlaced() * 20 <= counts.total(),
             qPrintable(u"%1 of %2 frames woven"_s.arg(counts.interlaced()).arg(counts.total())));
}

QTEST_GUILESS_MAIN(InterlaceTest)
#include "tst_interlace.moc"
