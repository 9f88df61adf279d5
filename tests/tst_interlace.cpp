// Interlaced sources: the decision from field order and detector counts, the one
// video filter chain, and real conversions of generated interlaced and
// progressive clips checked with the converter's own field detector.
#include <QtTest>

#include "arguments.h"
#include "formats.h"
#include "interlace.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Scan)

namespace {
QString report(int tff, int bff, int progressive, int undetermined)
{
    return u"[Parsed_idet_0 @ 0x55d3] Multi frame detection: TFF: %1 BFF: %2 Progressive: %3 Undetermined: %4\n"_s
        .arg(tff, 5)
        .arg(bff, 5)
        .arg(progressive, 5)
        .arg(undetermined, 5);
}

// Standard output of a successful run, or nothing; the standard error in `errors`.
QByteArray run(const QString &program, const QStringList &arguments, QString *errors = nullptr)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, arguments);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (errors)
        *errors = QString::fromUtf8(p.readAllStandardError());
    return ok ? p.readAllStandardOutput() : QByteArray();
}

QJsonObject probeVideo(const QString &file)
{
    const QJsonObject all =
        QJsonDocument::fromJson(run(u"/usr/bin/ffprobe"_s,
                                    {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                                     u"stream=field_order,r_frame_rate,width,height:format=duration"_s,
                                     u"-of"_s, u"json"_s, file}))
            .object();
    QJsonObject video = all[u"streams"_s][0].toObject();
    video[u"duration"_s] = all[u"format"_s][u"duration"_s];
    return video;
}

FieldDetection detect(const QString &file)
{
    QString errors;
    run(u"/usr/bin/ffmpeg"_s, fieldDetectionArguments(file, 2.0), &errors);
    return parseFieldDetection(errors);
}
} // namespace

class InterlaceTest : public QObject
{
    Q_OBJECT

private slots:
    void declaredOrder_data();
    void declaredOrder();
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

void InterlaceTest::declaredOrder_data()
{
    QTest::addColumn<QString>("ffprobeWord");
    QTest::addColumn<QString>("streamLine");
    QTest::addColumn<Scan>("expected");
    // "tb" is coded top first and shown bottom first.
    QTest::newRow("tt") << u"tt"_s << u"yuv420p(tv, bt709, top first), 1920x1080"_s << Scan::TopFieldFirst;
    QTest::newRow("bb") << u"bb"_s << u"yuv420p(bottom first), 720x576"_s << Scan::BottomFieldFirst;
    QTest::newRow("tb") << u"tb"_s << u"yuv422p(top coded first (swapped)), 720x576"_s
                        << Scan::BottomFieldFirst;
    QTest::newRow("bt") << u"bt"_s << u"yuv420p(bottom coded first (swapped))"_s << Scan::TopFieldFirst;
    QTest::newRow("progressive") << u"progressive"_s << u"yuv420p(progressive), 320x240"_s
                                 << Scan::Progressive;
    QTest::newRow("unknown") << u"unknown"_s << u"yuv420p, 160x120 [SAR 1:1 DAR 4:3]"_s << Scan::Unknown;
    QTest::newRow("empty") << QString() << QString() << Scan::Unknown;
}

void InterlaceTest::declaredOrder()
{
    QFETCH(QString, ffprobeWord);
    QFETCH(QString, streamLine);
    QFETCH(Scan, expected);
    QCOMPARE(declaredScan(ffprobeWord), expected);
    QCOMPARE(streamLineScan(QString(u"Stream #0:0: Video: h264 (High), "_s + streamLine)), expected);
}

void InterlaceTest::decision_data()
{
    QTest::addColumn<QString>("fieldOrder");
    QTest::addColumn<QString>("output"); // the detection run's standard error
    QTest::addColumn<Scan>("expected");

    QTest::newRow("camera 1080i, every frame woven") << u"tt"_s << report(61, 0, 0, 0) << Scan::TopFieldFirst;
    QTest::newRow("TV capture flagged, progressive pictures")
        << u"tt"_s << report(0, 0, 46, 15) << Scan::Progressive;
    QTest::newRow("bottom first") << u"bb"_s << report(0, 50, 0, 0) << Scan::BottomFieldFirst;
    QTest::newRow("pictures overrule the declared order")
        << u"tt"_s << report(2, 48, 0, 0) << Scan::BottomFieldFirst;
    QTest::newRow("tie keeps the declared order")
        << u"bb"_s << report(20, 20, 10, 0) << Scan::BottomFieldFirst;
    QTest::newRow("tie without order: top first") << u""_s << report(20, 20, 10, 0) << Scan::TopFieldFirst;
    QTest::newRow("undeclared, woven") << u"unknown"_s << report(0, 60, 1, 0) << Scan::BottomFieldFirst;
    QTest::newRow("undeclared, only still frames")
        << u"unknown"_s << report(0, 0, 0, 50) << Scan::Progressive;
    QTest::newRow("a quarter woven") << u"tt"_s << report(15, 0, 40, 5) << Scan::TopFieldFirst;
    QTest::newRow("just under a quarter") << u"tt"_s << report(14, 0, 41, 5) << Scan::Progressive;
    QTest::newRow("declared progressive, sharp test pattern")
        << u"progressive"_s << report(49, 12, 0, 0) << Scan::Progressive;
    QTest::newRow("declared progressive, woven fields in every frame")
        << u"progressive"_s << report(0, 50, 0, 0) << Scan::BottomFieldFirst;
    QTest::newRow("declared progressive, nine in ten woven")
        << u"progressive"_s << report(45, 0, 5, 0) << Scan::TopFieldFirst;
    QTest::newRow("declared progressive, just under nine in ten")
        << u"progressive"_s << report(44, 0, 6, 0) << Scan::Progressive;
    QTest::newRow("declared progressive, no detection run")
        << u"progressive"_s << QString() << Scan::Progressive;
    QTest::newRow("detection failed")
        << u"tt"_s << u"clip.mts: Invalid data found when processing input\n"_s << Scan::Unknown;
    QTest::newRow("no frame seen") << u"tt"_s << report(0, 0, 0, 0) << Scan::Unknown;
    QTest::newRow("only the single-frame report")
        << u"tt"_s
        << u"Single frame detection: TFF:    40 BFF:     0 Progressive:    10 Undetermined:     0"_s
        << Scan::TopFieldFirst;
    QTest::newRow("the last report counts")
        << u"bb"_s << QString(report(50, 0, 0, 0).chopped(1) + u"\r"_s + report(0, 0, 50, 0))
        << Scan::Progressive;
}

void InterlaceTest::decision()
{
    QFETCH(QString, fieldOrder);
    QFETCH(QString, output);
    QFETCH(Scan, expected);
    const Scan declared = declaredScan(fieldOrder);
    const FieldDetection detection = parseFieldDetection(output);
    QCOMPARE(decideScan(declared, detection), expected);
    // Only a decided interlaced source is deinterlaced by default, only with today's codecs.
    const bool interlaced = expected == Scan::TopFieldFirst || expected == Scan::BottomFieldFirst;
    QCOMPARE(deinterlaceByDefault(expected, firstModernVideoCodec), interlaced);
    QVERIFY(!deinterlaceByDefault(expected, 5));
}

void InterlaceTest::videoFilters_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("deinterlace");
    QTest::addColumn<int>("maxHeight");
    QTest::addColumn<int>("sourceHeight");
    QTest::addColumn<QString>("expected"); // blank-separated; empty: unchanged

    PanelSettings h264;
    h264.videoCodec = firstModernVideoCodec;
    h264.originalSize = true;
    h264.frameRate = originalFrameRateIndex;
    h264.ratio = originalRatioIndex;
    h264.quality = defaultQualityIndex;
    const QStringList modern = buildArguments(h264, u"/v/in.mts"_s, u"/v/out.mp4"_s);
    const QString crop = evenSizeFilter();
    const QString tail = u" -vcodec libx264 -pix_fmt yuv420p -crf 23 -acodec copy /v/out.mp4"_s;
    const QString bwdif = deinterlaceFilter(Scan::TopFieldFirst);

    QTest::newRow("nothing to add") << modern << QString() << 0 << 1080 << QString();
    QTest::newRow("height fits the limit") << modern << QString() << 1080 << 1080 << QString();
    QTest::newRow("deinterlace before the crop")
        << modern << bwdif << 0 << 0
        << QString(u"-y -i /v/in.mts -vf bwdif=mode=send_frame:parity=tff:deint=all[f1];[f1]"_s + crop +
                   tail);
    QTest::newRow("deinterlace, limit, crop")
        << modern << deinterlaceFilter(Scan::BottomFieldFirst) << 720 << 1080
        << QString(
               u"-y -i /v/in.mts -vf bwdif=mode=send_frame:parity=bff:deint=all[f1];[f1]scale=-2:720[f2];[f2]"_s +
               crop + tail);
    QTest::newRow("limit, height unknown")
        << modern << QString() << 720 << 0
        << QString(u"-y -i /v/in.mts -vf scale=-2:(ih+720-abs(ih-720))/2[f1];[f1]"_s + crop + tail);
    QTest::newRow("a link name already taken")
        << QStringList{u"-i"_s, u"/a.avi"_s, u"-vf"_s, u"hflip[f1];[f1]vflip"_s, u"/b.mp4"_s}
        << deinterlaceFilter(Scan::Unknown) << 0 << 0
        << u"-i /a.avi -vf bwdif=mode=send_frame:parity=auto:deint=all[f2];[f2]hflip[f1];[f1]vflip /b.mp4"_s;

    PanelSettings mpeg4;
    mpeg4.videoCodec = 5;
    QTest::newRow("no -vf yet: one before the output")
        << buildArguments(mpeg4, u"/in.mpg"_s, u"/out.avi"_s) << bwdif << 0 << 0
        << QString(u"-y -i /in.mpg -s 320x240 -vcodec mpeg4 -r 25 -aspect 4:3 -b 8000k -acodec copy -vf "_s +
                   bwdif + u" /out.avi"_s);
    QTest::newRow("video copied") << buildArguments(PanelSettings(), u"/in"_s, u"/out"_s) << bwdif << 720 << 0
                                  << QString();
    PanelSettings noVideo;
    noVideo.videoOn = false;
    QTest::newRow("no video") << buildArguments(noVideo, u"/in"_s, u"/out"_s) << bwdif << 0 << 0 << QString();
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
    QVERIFY(!result.join(QString()).contains(u','));
}

void InterlaceTest::realConversion_data()
{
    QTest::addColumn<QString>("scan");      // the interlace filter's scan, or empty for progressive
    QTest::addColumn<QStringList>("codec"); // how the clip is written
    QTest::addColumn<Scan>("expected");
    QTest::addColumn<int>("maxHeight");
    QTest::addColumn<int>("sourceHeight");
    QTest::addColumn<QString>("size"); // of the output

    const QStringList ildct{u"-flags"_s, u"+ildct+ilme"_s};
    QTest::newRow("MPEG-2, top first")
        << u"tff"_s << QStringList{u"-c:v"_s, u"mpeg2video"_s, u"-b:v"_s, u"3M"_s, u"-top"_s, u"1"_s} + ildct
        << Scan::TopFieldFirst << 0 << 240 << u"320x240"_s;
    // The container of this one marks it progressive; its frames are woven.
    QTest::newRow("H.264 in Matroska, bottom first, a limit above an unknown height")
        << u"bff"_s << QStringList{u"-c:v"_s, u"libx264"_s, u"-x264opts"_s, u"bff=1"_s} + ildct
        << Scan::BottomFieldFirst << 480 << 0 << u"320x240"_s;
    QTest::newRow("progressive") << QString() << QStringList{u"-c:v"_s, u"libx264"_s} << Scan::Progressive
                                 << 0 << 0 << u"320x240"_s;
    // Scaling halves of woven frames together hides their fields from the
    // detector, so the size limit is proven on a progressive source.
    QTest::newRow("progressive, at most 120 rows") << QString() << QStringList{u"-c:v"_s, u"libx264"_s}
                                                   << Scan::Progressive << 120 << 240 << u"160x120"_s;
    QTest::newRow("flagged top first, progressive pictures")
        << QString() << QStringList{u"-c:v"_s, u"libx264"_s, u"-x264opts"_s, u"tff=1"_s} + ildct
        << Scan::Progressive << 0 << 0 << u"320x240"_s;
}

void InterlaceTest::realConversion()
{
    QFETCH(QString, scan);
    QFETCH(QStringList, codec);
    QFETCH(Scan, expected);
    QFETCH(int, maxHeight);
    QFETCH(int, sourceHeight);
    QFETCH(QString, size);

    // A moving picture scaled down from a larger one, so that it holds no lines
    // finer than a real camera's; interlaced clips weave 50 pictures a second into
    // 25 frames.
    const QString source = dir.filePath(u"clip%1.mkv"_s.arg(++clips));
    QString picture =
        u"testsrc2=size=640x480:rate=%1:duration=2,scale=320:240"_s.arg(scan.isEmpty() ? 25 : 50);
    if (!scan.isEmpty())
        picture += u",interlace=scan="_s + scan;
    QString errors;
    run(u"/usr/bin/ffmpeg"_s,
        QStringList{u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, picture, u"-pix_fmt"_s,
                    u"yuv420p"_s} +
            codec + QStringList{source},
        &errors);
    QVERIFY2(QFileInfo::exists(source), qPrintable(errors));

    const Scan decided =
        decideScan(declaredScan(probeVideo(source)[u"field_order"_s].toString()), detect(source));
    QCOMPARE(decided, expected);

    PanelSettings h264;
    h264.videoCodec = firstModernVideoCodec;
    h264.originalSize = true;
    h264.frameRate = originalFrameRateIndex;
    h264.ratio = originalRatioIndex;
    h264.quality = defaultQualityIndex;
    h264.audioOn = false;
    const QString output = source + u".mp4"_s;
    const QStringList plain = buildArguments(h264, source, output);
    const QStringList arguments = withVideoFilters(
        plain, deinterlaceByDefault(decided, h264.videoCodec) ? deinterlaceFilter(decided) : QString(),
        sizeLimitFilter(maxHeight, sourceHeight));
    // Progressive sources, however they are flagged, get the builder's list as it is.
    QCOMPARE(arguments == plain, expected == Scan::Progressive && maxHeight == 0);
    run(u"/usr/bin/ffmpeg"_s, QStringList{u"-v"_s, u"error"_s} + arguments, &errors);
    QVERIFY2(QFileInfo::exists(output), qPrintable(errors));

    // Full frames at the source's 25 a second, marked progressive, two seconds long,
    // and (almost) none of them woven.
    const QJsonObject video = probeVideo(output);
    QCOMPARE(video[u"field_order"_s].toString(), u"progressive"_s);
    QCOMPARE(video[u"r_frame_rate"_s].toString(), u"25/1"_s);
    QCOMPARE(u"%1x%2"_s.arg(video[u"width"_s].toInt()).arg(video[u"height"_s].toInt()), size);
    QVERIFY2(qAbs(video[u"duration"_s].toString().toDouble() - 2.0) < 0.05,
             qPrintable(video[u"duration"_s].toString()));
    const FieldCounts counts = detect(output).multiFrame;
    QVERIFY2(counts.total() >= 45 && counts.interlaced() * 20 <= counts.total(),
             qPrintable(u"%1 of %2 frames woven"_s.arg(counts.interlaced()).arg(counts.total())));
}

QTEST_GUILESS_MAIN(InterlaceTest)
#include "tst_interlace.moc"
