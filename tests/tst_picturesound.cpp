// Black bars, HDR and loudness with the real converter on short generated clips:
// what the background look finds, and what the jobs made of it write.
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "blackbars.h"
#include "codecs.h"
#include "hdr.h"
#include "jobrunner.h"
#include "loudness.h"
#include "makejob.h"
#include "mediasurvey.h"
#include "presets.h"
#include "quorvid.h"
#include "testsupport.h"
#include "tracklist.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

class PictureSoundTest : public QObject
{
    Q_OBJECT

private slots:
    void barsDecision_data();
    void barsDecision();
    void barsFound_data();
    void barsFound();
    void barsInSuiteFiles_data();
    void barsInSuiteFiles();
    void hdr_data();
    void hdr();
    void loudness_data();
    void loudness();
    void presetFields_data();
    void presetFields();
    void convertOptions_data();
    void convertOptions();
    void windowWaitsForBars_data();
    void windowWaitsForBars();
    void windowShowsHdr_data();
    void windowShowsHdr();

private:
    QTemporaryDir m_work;
};

namespace {
// Runs a program to its end; its standard error (and output) as text.
QString run(const QString &program, const QStringList &arguments, int *status = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(120000);
    if (status)
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

// A clip made by the converter from a lavfi graph; empty when it failed.
QString makeClip(const QString &path, const QString &graph, const QStringList &options)
{
    int status = 0;
    const QString said = run(u"ffmpeg"_s,
                             QStringList{u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, graph} +
                                 options + QStringList{path},
                             &status);
    return status == 0 ? QString() : said;
}

// What the background look finds in a file, bars included.
MediaFacts look(const QString &path)
{
    MediaSurvey survey;
    MediaFacts facts;
    QObject::connect(&survey, &MediaSurvey::surveyed,
                     [&](const QString &, const MediaFacts &f) { facts = f; });
    QObject::connect(&survey, &MediaSurvey::barsLooked,
                     [&](const QString &, const MediaFacts &f) { facts = f; });
    QSignalSpy done(&survey, &MediaSurvey::finished);
    survey.add({path});
    done.wait(60000);
    return facts;
}

// Runs one job through the runner; its end.
JobEnd runJob(const Job &job)
{
    JobRunner runner;
    JobEnd result;
    result.outcome = RunOutcome::Error;
    result.reason = u"nicht beendet"_s;
    QObject::connect(&runner, &JobRunner::jobEnded, [&](int, const JobEnd &end) { result = end; });
    QSignalSpy over(&runner, &JobRunner::runEnded);
    runner.start({job}, {JobState::Pending}, 1, false);
    over.wait(120000);
    return result;
}

QString probe(const QString &path, const QString &entries)
{
    return run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                              u"stream="_s + entries, u"-of"_s, u"default=nw=1"_s, path})
        .trimmed();
}

PanelSettings presetSettings(const QString &name)
{
    return findPreset(builtInPresets(), name)->settings;
}

BarsMoment moment(int top, int bottom, int left = 0, int right = 0, bool dark = false)
{
    return {{top, bottom, left, right}, dark};
}
} // namespace

void PictureSoundTest::barsDecision_data()
{
    QTest::addColumn<QList<BarsMoment>>("moments");
    QTest::addColumn<Bars>("expected");
    const QList<BarsMoment> letterbox(10, moment(140, 140));
    QList<BarsMoment> subtitle = letterbox;
    for (int i = 0; i < 6; ++i)
        subtitle[i] = moment(140, 40); // more than half the moments, one edge
    QList<BarsMoment> twoShapes = letterbox;
    twoShapes[2] = twoShapes[5] = twoShapes[7] = moment(20, 20);
    QList<BarsMoment> oneOdd = letterbox;
    oneOdd[3] = moment(20, 20); // one moment is no other shape
    QList<BarsMoment> darkScenes =
        QList<BarsMoment>(7, moment(0, 0)) + QList<BarsMoment>(3, moment(200, 220));
    QList<BarsMoment> fades =
        QList<BarsMoment>(4, moment(0, 0, 0, 0, true)) + QList<BarsMoment>(4, moment(140, 140));
    QTest::newRow("letterbox") << letterbox << Bars{140, 140, 0, 0};
    QTest::newRow("subtitle in the lower bar") << subtitle << Bars{140, 140, 0, 0};
    QTest::newRow("two shapes: the smallest crop") << twoShapes << Bars{20, 20, 0, 0};
    QTest::newRow("one odd moment: the median") << oneOdd << Bars{140, 140, 0, 0};
    QTest::newRow("dark scenes without bars") << darkScenes << Bars{};
    QTest::newRow("fades are left out") << fades << Bars{140, 140, 0, 0};
    QTest::newRow("too few moments") << QList<BarsMoment>(2, moment(140, 140)) << Bars{};
    QTest::newRow("a border of noise is no bar") << QList<BarsMoment>(8, moment(4, 3, 2, 4)) << Bars{};
    QTest::newRow("black at one side only is picture")
        << QList<BarsMoment>(8, moment(0, 40, 12, 0)) << Bars{};
    QTest::newRow("bars above and below, black at one side")
        << QList<BarsMoment>(8, moment(60, 60, 0, 30)) << Bars{60, 60, 0, 0};
    QTest::newRow("odd bars: even sides")
        << QList<BarsMoment>(8, moment(139, 141, 31, 31)) << Bars{140, 142, 32, 32};
}

void PictureSoundTest::barsDecision()
{
    QFETCH(QList<BarsMoment>, moments);
    QFETCH(Bars, expected);
    const Bars found = decideBars(moments, 1920, 1080);
    QCOMPARE(found, expected);
}

void PictureSoundTest::barsFound_data()
{
    QTest::addColumn<QString>("graph");
    QTest::addColumn<Bars>("expected");
    // Pictures with motion, 6 s at 320x240.
    const QString film = u"testsrc2=s=%1:r=25:d=%2"_s;
    QTest::newRow("letterbox") << film.arg(u"320x180"_s).arg(6) + u",pad=320:240:0:30"_s
                               << Bars{30, 30, 0, 0};
    QTest::newRow("pillarbox") << film.arg(u"240x240"_s).arg(6) + u",pad=320:240:40:0"_s
                               << Bars{0, 0, 40, 40};
    // A channel's logo in a corner of the upper bar all the time, and subtitles in
    // the lower bar most of the time.
    QTest::newRow("logo and subtitles in the bars")
        << film.arg(u"320x180"_s).arg(6) +
               u",pad=320:240:0:30,drawbox=x=280:y=6:w=30:h=16:c=white:t=fill,"
               u"drawbox=x=110:y=214:w=100:h=12:c=white:t=fill:enable=lt(mod(t\\,2)\\,1.4)"_s
        << Bars{30, 30, 0, 0};
    QTest::newRow("dark scene, no bars")
        << u"testsrc2=s=320x240:r=25:d=4[a];color=c=0x080808:s=320x240:r=25:d=2,"
           u"drawbox=x=130:y=90:w=60:h=60:c=gray:t=fill[b];[a][b]concat"_s
        << Bars{};
    QTest::newRow("two shapes: the smallest crop")
        << film.arg(u"320x140"_s).arg(4) + u",pad=320:240:0:50[a];"_s + film.arg(u"320x200"_s).arg(2) +
               u",pad=320:240:0:20[b];[a][b]concat"_s
        << Bars{20, 20, 0, 0};
    QTest::newRow("no bars") << film.arg(u"320x240"_s).arg(6) << Bars{};
}

void PictureSoundTest::barsFound()
{
    QFETCH(QString, graph);
    QFETCH(Bars, expected);
    const QString clip =
        m_work.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + u".mp4"_s);
    const QString failure = makeClip(
        clip, graph, {u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s, u"-pix_fmt"_s, u"yuv420p"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const MediaFacts facts = look(clip);
    QVERIFY2(facts.barsLooked, qPrintable(facts.problem));
    const Bars &b = facts.bars;
    // Exact to 2 lines at each edge.
    QVERIFY2(std::abs(b.top - expected.top) <= 2 && std::abs(b.bottom - expected.bottom) <= 2 &&
                 std::abs(b.left - expected.left) <= 2 && std::abs(b.right - expected.right) <= 2,
             qPrintable(barsLabel(b, 320, 240)));
    if (expected.isEmpty())
        QCOMPARE(b, Bars());
    // The job crops before it scales, to an even picture, and the output has it.
    PanelSettings settings = presetSettings(u"Teilen (H.264/AAC, höchstens 1080p)"_s);
    settings.maxHeight = 120;
    settings.removeBars = true;
    const QString output = m_work.filePath(u"out-"_s + QFileInfo(clip).fileName());
    const Job job = makeJob(settings, clip, output, facts);
    const JobEnd end = runJob(job);
    QVERIFY2(end.outcome == RunOutcome::Success, qPrintable(end.reason));
    const int width = 320 - b.left - b.right, height = 240 - b.top - b.bottom;
    const int scaledWidth = (width * 120 / height + 1) / 2 * 2;
    QCOMPARE(probe(output, u"width,height"_s),
             u"width=%1\nheight=%2"_s.arg(height > 120 ? scaledWidth : width).arg(std::min(height, 120)));
}

void PictureSoundTest::barsInSuiteFiles_data()
{
    // The kinds of files the other tests use, each made by converter runs (a
    // leading "@" names a file in the work folder); the last run's output is the
    // file looked at.
    QTest::addColumn<QList<QStringList>>("makes");
    QTest::addColumn<Bars>("expected");
    QTest::addColumn<QString>("converted"); // the output's size with the bars removed; empty: not converted
    const QString film = u"testsrc2=s=320x180:r=25:d=6,pad=320:240:0:30"_s;
    const QStringList h264{u"-c:v"_s,      u"libx264"_s,  u"-preset"_s,
                           u"ultrafast"_s, u"-pix_fmt"_s, u"yuv420p"_s};
    const auto lavfi = [](const QString &graph) { return QStringList{u"-f"_s, u"lavfi"_s, u"-i"_s, graph}; };
    QTest::newRow("MPEG-4 and MP3 in AVI, no bars")
        << QList<QStringList>{lavfi(u"testsrc=s=160x120:r=25:d=4"_s) + lavfi(u"sine=d=4"_s) +
                              QStringList{u"-c:v"_s, u"mpeg4"_s, u"-c:a"_s, u"libmp3lame"_s, u"@clip.avi"_s}}
        << Bars{} << QString();
    QTest::newRow("sound only") << QList<QStringList>{lavfi(u"sine=d=3"_s) + QStringList{u"@sound.mp3"_s}}
                                << Bars{} << QString();
    QTest::newRow("shorter than a second")
        << QList<QStringList>{lavfi(u"testsrc2=s=320x180:r=25:d=0.4,pad=320:240:0:30"_s) + h264 +
                              QStringList{u"@short.mp4"_s}}
        << Bars{} << QString();
    // Interlaced MPEG-2 with bars: the crop keeps the fields' order (even lines).
    QTest::newRow("interlaced letterbox, MPEG-2")
        << QList<QStringList>{lavfi(film) + QStringList{u"-c:v"_s, u"mpeg2video"_s, u"-flags"_s,
                                                        u"+ilme+ildct"_s, u"-top"_s, u"1"_s, u"-b:v"_s,
                                                        u"2M"_s, u"@tv.mpg"_s}}
        << Bars{30, 30, 0, 0} << u"320x180"_s;
    // A phone clip stored on its side: the bars are at the sides as shown.
    QTest::newRow("letterbox turned upright by its rotation")
        << QList<QStringList>{lavfi(film) + h264 + QStringList{u"@lying.mp4"_s},
                              {u"-i"_s, u"@lying.mp4"_s, u"-c"_s, u"copy"_s, u"-metadata:s:v:0"_s,
                               u"rotate=90"_s, u"@upright.mp4"_s}}
        << Bars{0, 0, 30, 30} << u"180x320"_s;
    // Black picture, two sound tracks and a DVD subtitle: dark, so no crop.
    QTest::newRow("dark file of many tracks")
        << QList<QStringList>{lavfi(u"color=black:s=160x120:r=25:d=4"_s) + lavfi(u"sine=d=4"_s) +
                              lavfi(u"sine=d=4:f=660"_s) +
                              QStringList{u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-map"_s, u"2"_s, u"-c:v"_s,
                                          u"libx264"_s, u"-c:a"_s, u"aac"_s, u"@tracks.mkv"_s}}
        << Bars{} << QString();
    QTest::newRow("10-bit HLG, no bars")
        << QList<QStringList>{lavfi(u"testsrc2=s=320x240:r=25:d=3,format=yuv420p10le"_s) +
                              QStringList{u"-c:v"_s, u"libx265"_s, u"-x265-params"_s, u"log-level=error"_s,
                                          u"-preset"_s, u"ultrafast"_s, u"-color_trc"_s, u"arib-std-b67"_s,
                                          u"-color_primaries"_s, u"bt2020"_s, u"-colorspace"_s, u"bt2020nc"_s,
                                          u"@phone.mov"_s}}
        << Bars{} << QString();
}

void PictureSoundTest::barsInSuiteFiles()
{
    QFETCH(QList<QStringList>, makes);
    QFETCH(Bars, expected);
    QFETCH(QString, converted);
    QString file;
    for (QStringList arguments : makes) {
        for (QString &argument : arguments)
            if (argument.startsWith(u'@'))
                argument = file = m_work.filePath(argument.mid(1));
        int status = 0;
        const QString said = run(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + arguments, &status);
        QVERIFY2(status == 0, qPrintable(said));
    }
    QElapsedTimer clock;
    clock.start();
    const MediaFacts facts = look(file);
    // Every kind is looked at to its end, quickly, and without a word of failure.
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(facts.valid && facts.problem.isEmpty(), qPrintable(facts.problem));
    const StreamFacts *video = firstVideo(facts);
    QCOMPARE(facts.barsLooked, video != nullptr);
    const Bars &b = facts.bars;
    QVERIFY2(std::abs(b.top - expected.top) <= 2 && std::abs(b.bottom - expected.bottom) <= 2 &&
                 std::abs(b.left - expected.left) <= 2 && std::abs(b.right - expected.right) <= 2,
             qPrintable(video ? barsLabel(b, video->shownWidth(), video->shownHeight()) : u"kein Bild"_s));
    if (converted.isEmpty())
        return;
    PanelSettings settings = presetSettings(u"Teilen (H.264/AAC, höchstens 1080p)"_s);
    settings.removeBars = true;
    const QString output = m_work.filePath(u"cropped-"_s + QFileInfo(file).completeBaseName() + u".mp4"_s);
    const JobEnd end = runJob(makeJob(settings, file, output, facts));
    QVERIFY2(end.outcome == RunOutcome::Success, qPrintable(end.reason + end.details));
    QCOMPARE(probe(output, u"width,height"_s).replace(u"\nheight="_s, u"x"_s), u"width="_s + converted);
}

void PictureSoundTest::hdr_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<bool>("keepHdr");
    QTest::addColumn<QString>("expected"); // the output's transfer
    const QString share = u"Teilen (H.264/AAC, höchstens 1080p)"_s,
                  archive = u"Archiv (H.265, hohe Qualität, alle Spuren)"_s;
    QTest::newRow("PQ tone-mapped") << u"smpte2084"_s << share << false << u"bt709"_s;
    QTest::newRow("HLG tone-mapped") << u"arib-std-b67"_s << share << false << u"bt709"_s;
    // H.264 cannot keep it: tone-mapped whatever the box says.
    QTest::newRow("HLG kept, but H.264") << u"arib-std-b67"_s << share << true << u"bt709"_s;
    QTest::newRow("HLG kept by the archive") << u"arib-std-b67"_s << archive << true << u"arib-std-b67"_s;
    QTest::newRow("SDR untouched") << u"bt709"_s << share << true << QString();
}

void PictureSoundTest::hdr()
{
    QFETCH(QString, transfer);
    QFETCH(QString, preset);
    QFETCH(bool, keepHdr);
    QFETCH(QString, expected);
    const QString clip = m_work.filePath(u"hdr-%1.mkv"_s.arg(transfer));
    const bool sdr = transfer == u"bt709"_s;
    QStringList options{u"-c:v"_s,    u"libx265"_s,  u"-x265-params"_s, u"log-level=error"_s,
                        u"-preset"_s, u"ultrafast"_s};
    if (!sdr)
        options << u"-color_trc"_s << transfer << u"-color_primaries"_s << u"bt2020"_s << u"-colorspace"_s
                << u"bt2020nc"_s;
    const QString graph = sdr ? u"testsrc2=s=320x240:r=25:d=1,format=yuv420p"_s
                              : u"testsrc2=s=320x240:r=25:d=1,zscale=tin=bt709:pin=bt709:min=bt709:t=%1:p="
                                u"bt2020:m=bt2020nc:npl=100,"
                                u"format=yuv420p10le"_s.arg(transfer);
    const QString failure = makeClip(clip, graph, options);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const MediaFacts facts = look(clip);
    const StreamFacts *video = firstVideo(facts);
    QVERIFY(video);
    QCOMPARE(dynamicRangeLabel(dynamicRange(*video)), sdr                          ? QString()
                                                      : transfer == u"smpte2084"_s ? u"HDR (PQ)"_s
                                                                                   : u"HDR (HLG)"_s);
    PanelSettings settings = presetSettings(preset);
    settings.keepHdr = keepHdr;
    settings.removeBars = true; // no bars in the clip: nothing changes
    const QString output = m_work.filePath(
        u"out-%1-%2.mp4"_s.arg(QString::fromLatin1(QTest::currentDataTag()).left(12)).arg(keepHdr));
    const Job job = makeJob(settings, clip, output, facts);
    if (sdr) {
        // Exactly the job without the new choices.
        PanelSettings plain = settings;
        plain.removeBars = plain.keepHdr = false;
        QCOMPARE(job.runs, makeJob(plain, clip, output, facts).runs);
        QVERIFY(!job.runs.first().join(u' ').contains(u"zscale"_s));
        return;
    }
    const JobEnd end = runJob(job);
    QVERIFY2(end.outcome == RunOutcome::Success, qPrintable(end.reason + end.details));
    QCOMPARE(probe(output, u"color_transfer"_s), u"color_transfer="_s + expected);
    if (expected != u"bt709"_s) {
        QCOMPARE(probe(output, u"pix_fmt,color_primaries"_s),
                 u"pix_fmt=yuv420p10le\ncolor_primaries=bt2020"_s);
        return;
    }
    QCOMPARE(probe(output, u"color_space,color_primaries"_s), u"color_space=bt709\ncolor_primaries=bt709"_s);
    // Against the documented chain, rendered from the source without encoding.
    const QString reference =
        u"zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
        u"zscale=t=bt709:m=bt709:r=tv,format=yuv420p"_s;
    const QString said =
        run(u"ffmpeg"_s, {u"-hide_banner"_s, u"-i"_s, output, u"-i"_s, clip, u"-lavfi"_s,
                          u"[1:v]"_s + reference + u"[r];[0:v]format=yuv420p[o];[o][r]ssim"_s, u"-f"_s,
                          u"null"_s, u"-"_s});
    const QRegularExpressionMatch ssim = QRegularExpression(u"SSIM .* All:([0-9.]+)"_s).match(said);
    QVERIFY2(ssim.hasMatch(), qPrintable(said.right(400)));
    qInfo("%s: SSIM %s", QTest::currentDataTag(), qPrintable(ssim.captured(1)));
    QVERIFY2(ssim.captured(1).toDouble() >= 0.95, qPrintable(ssim.captured(1)));
}

void PictureSoundTest::loudness_data()
{
    QTest::addColumn<QString>("graph");
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("codec");
    // 6 s each: quiet, loud, very dynamic (whispers and bursts), speech-like.
    QTest::newRow("quiet sine to -16, AAC") << u"sine=f=440:d=6,volume=-40dB"_s << -16 << u"aac"_s;
    QTest::newRow("loud noise to -23, FLAC") << u"anoisesrc=d=6:a=0.9"_s << -23 << u"flac"_s;
    QTest::newRow("very dynamic to -14, Opus")
        << u"sine=f=220:d=6,volume=volume='if(lt(mod(t,2),1.5),0.003,0.9)':eval=frame"_s << -14
        << u"libopus"_s;
    // Clicks above a tone: raised evenly to the target, the clicks would pass
    // -1 dBTP, so they are limited.
    QTest::newRow("clicks over a tone to -14, FLAC")
        << u"aevalsrc='0.1*sin(2*PI*440*t)+0.9*lt(mod(t,1),0.001)':d=6:s=48000"_s << -14 << u"flac"_s;
    QTest::newRow("pulsed tones to -16, MP3")
        << u"aevalsrc='sin(2*PI*300*t)*0.5*gt(sin(2*PI*3*t),0)':d=6:s=44100"_s << -16 << u"libmp3lame"_s;
    // Speech from the speech synthesizer (22.05 kHz mono), and music made of a
    // chord that swells, a melody and a beat of short noise bursts.
    QTest::newRow("speech to -16, AAC") << u"amovie=%SPEECH%"_s << -16 << u"aac"_s;
    QTest::newRow("music to -14, Opus")
        << u"aevalsrc='0.25*sin(2*PI*261.6*t)*(0.6+0.4*sin(2*PI*0.5*t))+0.15*sin(2*PI*329.6*t)+"
           u"0.15*sin(2*PI*(392+98*gt(mod(t,2),1))*t)+0.5*(random(0)-0.5)*lt(mod(t,0.5),0.04)':d=6:s=44100"_s
        << -14 << u"libopus"_s;
}

void PictureSoundTest::loudness()
{
    QFETCH(QString, graph);
    QFETCH(int, target);
    QFETCH(QString, codec);
    const QString clip =
        m_work.filePath(u"sound-%1.mkv"_s.arg(QString::fromLatin1(QTest::currentDataTag()).left(5)));
    if (graph.contains(u"%SPEECH%"_s)) {
        // The test set-up installs espeak-ng; a machine without it says so.
        if (QStandardPaths::findExecutable(u"espeak-ng"_s).isEmpty())
            QSKIP("espeak-ng is not installed: no speech to measure");
        const QString speech = m_work.filePath(u"speech.wav"_s);
        int status = 0;
        const QString said = run(u"espeak-ng"_s,
                                 {u"-v"_s, u"de"_s, u"-w"_s, speech,
                                  u"Guten Tag. Dies ist eine kurze Ansage, gesprochen von einer "
                                  u"Maschine, damit die Lautstärke gemessen werden kann."_s},
                                 &status);
        QVERIFY2(status == 0, qPrintable(said));
        graph.replace(u"%SPEECH%"_s, speech);
    }
    // A second track far louder than the first: each is normalised on its own.
    const QString failure = makeClip(clip, graph,
                                     {u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=f=880:d=6,volume=-3dB"_s,
                                      u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-c:a"_s, u"flac"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    PanelSettings settings = presetSettings(u"Nur Ton: FLAC"_s);
    settings.audioCodec = audioCodecIndex(codec);
    settings.frequencyEnabled = false;
    settings.loudnessTarget = target;
    const QString suffix = audioCodec(settings.audioCodec).suffix;
    const QString output = m_work.filePath(u"out-"_s + QFileInfo(clip).completeBaseName() + suffix);
    const MediaFacts facts = look(clip);
    const Job job = makeJob(settings, clip, output, facts);
    QCOMPARE(job.runs.size(), 2); // measuring, then encoding
    const JobEnd end = runJob(job);
    QVERIFY2(end.outcome == RunOutcome::Success, qPrintable(end.reason + end.details));
    const QString rate = run(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s, u"stream=sample_rate"_s,
                                            u"-of"_s, u"csv=p=0"_s, output})
                             .simplified();
    // Every track the output holds (a FLAC, Opus or MP3 file holds one).
    const int tracks = int(rate.split(u' ', Qt::SkipEmptyParts).size());
    QVERIFY(tracks >= 1);
    for (int track = 0; track < tracks; ++track) {
        const QString said = run(u"ffmpeg"_s, {u"-hide_banner"_s, u"-nostats"_s, u"-i"_s, output, u"-map"_s,
                                               u"0:a:%1"_s.arg(track), u"-af"_s, u"ebur128=peak=true"_s,
                                               u"-f"_s, u"null"_s, u"-"_s});
        const QString summary = said.mid(said.lastIndexOf(u"Summary:"_s));
        const QRegularExpressionMatch integrated =
            QRegularExpression(u"I:\\s+(-?[0-9.]+) LUFS"_s).match(summary);
        const QRegularExpressionMatch peak =
            QRegularExpression(u"Peak:\\s+(-?[0-9.]+|-inf) dBFS"_s).match(summary);
        QVERIFY2(integrated.hasMatch() && peak.hasMatch(), qPrintable(summary));
        qInfo("%s, track %d: I %s LUFS, true peak %s dBTP, rates %s", QTest::currentDataTag(), track,
              qPrintable(integrated.captured(1)), qPrintable(peak.captured(1)), qPrintable(rate));
        QVERIFY2(std::abs(integrated.captured(1).toDouble() - target) <= 1.0,
                 qPrintable(integrated.captured(1)));
        QVERIFY2(peak.captured(1).toDouble() <= loudnessTruePeak, qPrintable(peak.captured(1)));
    }
    // Never the 192 kHz loudnorm works at.
    QVERIFY2(!rate.contains(u"192000"_s) && !rate.isEmpty(), qPrintable(rate));
}

void PictureSoundTest::presetFields_data()
{
    QTest::addColumn<QByteArray>("extra"); // JSON members added to a valid preset file
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("removeBars");
    QTest::addColumn<bool>("keepHdr");
    QTest::addColumn<int>("loudness");
    QTest::newRow("older file: all off") << QByteArray() << true << false << false << 0;
    QTest::newRow("all on") << QByteArray(R"("removeBars": true, "keepHdr": true, "loudness": -16,)") << true
                            << true << true << -16;
    QTest::newRow("a target not offered")
        << QByteArray(R"("loudness": -18,)") << false << false << false << 0;
    QTest::newRow("no number") << QByteArray(R"("loudness": "-16",)") << false << false << false << 0;
    QTest::newRow("no true or false") << QByteArray(R"("keepHdr": 1,)") << false << false << false << 0;
}

void PictureSoundTest::presetFields()
{
    QFETCH(QByteArray, extra);
    QFETCH(bool, valid);
    QFETCH(bool, removeBars);
    QFETCH(bool, keepHdr);
    QFETCH(int, loudness);
    QByteArray text = presetToJson({u"Probe"_s, false, PanelSettings()});
    text.insert(text.indexOf('{') + 1, extra);
    QString reason;
    const std::optional<Preset> read = presetFromJson(text, &reason);
    QCOMPARE(read.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(read->settings.removeBars, removeBars);
    QCOMPARE(read->settings.keepHdr, keepHdr);
    QCOMPARE(read->settings.loudnessTarget, loudness);
    // Written back the same; an older file stays byte for byte.
    QCOMPARE(presetToJson(*read), presetToJson({u"Probe"_s, false, read->settings}));
    if (extra.isEmpty())
        QCOMPARE(presetToJson(*read), text);
}

void PictureSoundTest::convertOptions_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("size"); // of the output's picture; empty: no output
    QTest::newRow("bars removed, sound evened out")
        << QStringList{u"--bars"_s, u"remove"_s, u"--loudness"_s, u"-16"_s} << 0 << u"320x180"_s;
    QTest::newRow("the preset's own: bars kept") << QStringList() << 0 << u"320x240"_s;
    QTest::newRow("a target not offered") << QStringList{u"--loudness"_s, u"-18"_s} << 2 << QString();
    QTest::newRow("no such choice") << QStringList{u"--hdr"_s, u"hell"_s} << 2 << QString();
}

void PictureSoundTest::convertOptions()
{
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, size);
    QTemporaryDir folder;
    const QString clip = folder.filePath(u"film.mkv"_s);
    const QString failure = makeClip(clip, u"testsrc2=s=320x180:r=25:d=5,pad=320:240:0:30"_s,
                                     {u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=d=5,volume=-30dB"_s, u"-c:v"_s,
                                      u"libx264"_s, u"-preset"_s, u"ultrafast"_s, u"-c:a"_s, u"flac"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    int ended = -1;
    const QString said = run(QStringLiteral(QUORVID_BINARY),
                             QStringList{u"--convert"_s, clip, u"--preset"_s, u"teilen"_s} + options, &ended);
    QVERIFY2(ended == status, qPrintable(said));
    const QString output = folder.filePath(u"film.mp4"_s);
    QCOMPARE(QFileInfo::exists(output), !size.isEmpty());
    if (size.isEmpty())
        return;
    QCOMPARE(probe(output, u"width,height"_s).replace(u"\nheight="_s, u"x"_s), u"width="_s + size);
    const QString loudness = run(u"ffmpeg"_s, {u"-hide_banner"_s, u"-nostats"_s, u"-i"_s, output, u"-af"_s,
                                               u"ebur128"_s, u"-f"_s, u"null"_s, u"-"_s});
    const double integrated = QRegularExpression(u"I:\\s+(-?[0-9.]+) LUFS"_s)
                                  .match(loudness.mid(loudness.lastIndexOf(u"Summary:"_s)))
                                  .captured(1)
                                  .toDouble();
    // Evened out to -16, or left near the -33 LUFS of the source.
    QVERIFY2(options.contains(u"-16"_s) ? std::abs(integrated + 16) <= 1 : integrated < -25,
             qPrintable(QString::number(integrated)));
}

void PictureSoundTest::windowWaitsForBars_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("crop"); // in the job; empty: none
    QTest::addColumn<QString>("label");
    QTest::newRow("letterbox") << 6.0 << u"crop=320:180:0:30"_s << u"oben 30"_s;
    // Too short to look at: the press goes out at once, without a crop.
    QTest::newRow("too short to look at") << 0.5 << QString() << u"Keine schwarzen Ränder"_s;
}

void PictureSoundTest::windowWaitsForBars()
{
    // A quick user: the file opened, the preset chosen, the bars ticked and the
    // job added at once. The job waits for the look at the bars and crops them.
    QFETCH(double, seconds);
    QFETCH(QString, crop);
    QFETCH(QString, label);
    const QString clip = m_work.filePath(u"window-letterbox-%1.mp4"_s.arg(seconds));
    const QString failure = makeClip(clip, u"testsrc2=s=320x180:r=25:d=%1,pad=320:240:0:30"_s.arg(seconds),
                                     {u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFiles({clip});
    auto *open = window.findChild<QLineEdit *>(u"openLineEdit"_s);
    QTRY_COMPARE(open->text(), clip);
    auto *presets = window.findChild<QComboBox *>(u"presetComboBox"_s);
    const int share = presets->findText(u"Teilen (H.264/AAC, höchstens 1080p)"_s);
    QVERIFY(share > 0);
    presets->setCurrentIndex(share);
    emit presets->activated(share);
    window.findChild<QCheckBox *>(u"removeBarsCheckBox"_s)->setChecked(true);
    auto *add = window.findChild<QPushButton *>(u"insertJobButton"_s);
    add->click();
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    QCOMPARE(table->rowCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 30000);
    const QString job = table->item(0, 0)->text();
    // (The crop to even sides every job has is no crop of bars.)
    QVERIFY2(crop.isEmpty() ? !job.contains(QRegularExpression(u"crop=\\d"_s)) : job.contains(crop),
             qPrintable(job));
    QVERIFY(window.findChild<QLabel *>(u"barsLabel"_s)->text().contains(label));
}

void PictureSoundTest::windowShowsHdr_data()
{
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<QString>("words"); // in the video row; empty: none
    QTest::newRow("HLG") << u"arib-std-b67"_s << u"HDR (HLG)"_s;
    QTest::newRow("PQ") << u"smpte2084"_s << u"HDR (PQ)"_s;
    QTest::newRow("SDR") << u"bt709"_s << QString();
}

void PictureSoundTest::windowShowsHdr()
{
    // The opened file's video row says what kind of HDR it is, and "HDR behalten"
    // is there only for HDR and can be ticked only where the target keeps it.
    QFETCH(QString, transfer);
    QFETCH(QString, words);
    const QString clip = m_work.filePath(u"window-%1.mkv"_s.arg(transfer));
    const QString failure = makeClip(clip, u"testsrc2=s=320x240:r=25:d=1,format=yuv420p10le"_s,
                                     {u"-c:v"_s, u"libx265"_s, u"-x265-params"_s, u"log-level=error"_s,
                                      u"-preset"_s, u"ultrafast"_s, u"-color_trc"_s, transfer,
                                      u"-color_primaries"_s, u"bt2020"_s, u"-colorspace"_s, u"bt2020nc"_s});
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFiles({clip});
    auto *tracks = window.findChild<QTreeWidget *>(u"trackList"_s);
    QVERIFY(tracks);
    const auto videoRow = [&] {
        for (int row = 0; row < tracks->topLevelItemCount(); ++row)
            if (tracks->topLevelItem(row)->text(TrackList::KindColumn) == kindLabel(StreamFacts::Kind::Video))
                return tracks->topLevelItem(row)->text(TrackList::DetailsColumn);
        return QString();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!videoRow().isEmpty(), 20000);
    auto *keep = window.findChild<QCheckBox *>(u"keepHdrCheckBox"_s);
    auto *presets = window.findChild<QComboBox *>(u"presetComboBox"_s);
    const auto choose = [&](const QString &name) {
        const int index = presets->findText(name);
        QVERIFY(index > 0);
        presets->setCurrentIndex(index);
        emit presets->activated(index);
    };
    choose(u"Archiv (H.265, hohe Qualität, alle Spuren)"_s);
    QCOMPARE(videoRow().contains(u"HDR"_s), !words.isEmpty());
    if (!words.isEmpty())
        QVERIFY2(videoRow().contains(words), qPrintable(videoRow()));
    QCOMPARE(keep->isVisibleTo(&window), !words.isEmpty());
    if (words.isEmpty())
        return;
    QVERIFY(keep->isEnabled());
    QVERIFY(keep->isChecked());
    choose(u"Teilen (H.264/AAC, höchstens 1080p)"_s);
    QVERIFY(!keep->isEnabled());
}

QTEST_MAIN(PictureSoundTest)
#include "tst_picturesound.moc"
