// Tracks against the real converter: files with many streams, read in the
// background, converted into every kind of output the codecs lead to. ffprobe
// must find what the plan promises, and a stream the plan calls impossible must
// indeed fail or go missing when forced in.
#include <QtTest>

#include <csignal>

#include "formats.h"
#include "mediasurvey.h"
#include "tracks.h"

using namespace Qt::StringLiterals;
using Kind = StreamFacts::Kind;

namespace {
// A run that has not ended after `seconds` is killed and counts as failed.
bool run(const QString &program, const QStringList &arguments, QString *lastWords = nullptr,
         QByteArray *output = nullptr, int seconds = 60)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, arguments);
    const bool ended = p.waitForFinished(seconds * 1000);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    if (output)
        *output = p.readAllStandardOutput();
    if (lastWords)
        *lastWords = QString::fromUtf8(p.readAllStandardError()).trimmed().section(u'\n', -1);
    return ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

MediaFacts probe(const QString &file)
{
    QByteArray json;
    run(u"/usr/bin/ffprobe"_s, probeArguments(file), nullptr, &json);
    return readProbe(json);
}

// One DVD subtitle picture (a 4x2 block shown from 0.5 s for a second) in a VobSub
// pair: the converter cannot make picture subtitles out of text, so we write one.
void writeVobSub(const QString &stem)
{
    const QByteArray lines("\x00\x01\x00\x01", 4); // each field: colour 1 to the end of the line
    const QByteArray show("\x00\x00\x00\x20\x01\x03\x32\x10\x04\xff\xf0\x05\x00\x00\x03\x00\x00\x01"
                          "\x06\x00\x04\x00\x06\xff",
                          24);
    const QByteArray hide("\x00\x58\x00\x20\x02\xff", 6);
    const QByteArray unit = QByteArray("\x00\x26\x00\x08", 4) + lines + show + hide;
    const QByteArray pes = QByteArray("\x81\x80\x05\x21\x00\x01\x00\x01\x20", 9) + unit;
    QFile sub(stem + u".sub"_s);
    QVERIFY(sub.open(QIODevice::WriteOnly));
    sub.write(QByteArray("\x00\x00\x01\xba\x44\x00\x04\x00\x04\x01\x01\x89\xc3\xf8\x00\x00\x01\xbd", 18) +
              char(pes.size() >> 8) + char(pes.size() & 0xff) + pes);
    QFile idx(stem + u".idx"_s);
    QVERIFY(idx.open(QIODevice::WriteOnly));
    idx.write("# VobSub index file, v7 (do not modify this line!)\nsize: 160x120\npalette: 000000, ffffff, "
              "808080, ff0000, 00ff00, 0000ff, ffff00, ff00ff, 00ffff, 404040, c0c0c0, 800000, 008000, "
              "000080, 808000, 800080\nid: fr, index: 0\ntimestamp: 00:00:00:500, filepos: 000000000\n");
}

PanelSettings panel(int video, int audio, bool videoOn = true)
{
    PanelSettings s;
    s.videoOn = videoOn;
    s.videoCodec = video;
    s.originalSize = isModernVideoCodec(video);
    s.frameRate = s.originalSize ? originalFrameRateIndex : 1;
    s.ratio = s.originalSize ? originalRatioIndex : 0;
    s.quality = s.originalSize ? defaultQualityIndex : 0;
    s.audioCodec = audio;
    const AudioControls controls = audioControls(audio);
    s.audioBitrateEnabled = controls.bitrate;
    s.channelsEnabled = controls.channels;
    s.frequencyEnabled = controls.frequency;
    return s;
}

QList<int> countKinds(const QList<StreamFacts> &streams)
{
    QList<int> counts(6, 0);
    for (const StreamFacts &s : streams)
        ++counts[int(s.kind)];
    return counts;
}

// Language, title and default flag of the audio and subtitle streams, in order,
// as far as the container stores them.
QStringList labels(const QList<StreamFacts> &streams, const QString &container, bool titles)
{
    const bool flags = QStringList{u"mp4"_s, u"m4a"_s, u"mkv"_s, u"webm"_s}.contains(container);
    const bool languages = flags || container == u"ogg"_s;
    QStringList result;
    for (const StreamFacts &s : streams)
        if (s.kind == Kind::Audio || s.kind == Kind::Subtitle)
            result << u"%1 %2 %3 %4"_s.arg(kindLabel(s.kind), languages ? s.language : QString(),
                                           flags && titles ? s.title : QString(),
                                           flags && s.isDefault ? u"*"_s : u""_s);
    return result;
}
} // namespace

Q_DECLARE_METATYPE(PanelSettings)
Q_DECLARE_METATYPE(TrackChecks)

class RealTracksTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversions_data();
    void conversions();
    void surveyFailures();

private:
    QTemporaryDir dir;
    QHash<QString, MediaFacts> facts;
};

void RealTracksTest::initTestCase()
{
    QVERIFY(dir.isValid());
    const auto in = [this](const QString &name) { return dir.filePath(name); };
    for (const auto &[language, words] : {std::pair(u"de"_s, u"Hallo"_s), std::pair(u"en"_s, u"Hello"_s)}) {
        QFile srt(in(language + u".srt"_s));
        QVERIFY(srt.open(QIODevice::WriteOnly));
        srt.write((u"1\n00:00:00,000 --> 00:00:01,000\n"_s + words + u"\n"_s).toUtf8());
    }
    writeVobSub(in(u"fr"_s));
    QFile font(in(u"font.ttf"_s));
    QVERIFY(font.open(QIODevice::WriteOnly) && font.write("not really a font") > 0);
    font.close();
    QString lastWords;
    const QStringList lavfi{u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s};
    const QString picture = u"testsrc=size=160x120:rate=25:duration=1"_s;
    const QString sound = u"sine=duration=1:frequency="_s;
    QVERIFY2(run(u"/usr/bin/ffmpeg"_s,
                 lavfi + QStringList{picture, u"-frames:v"_s, u"1"_s, in(u"cover.jpg"_s)}, &lastWords),
             qPrintable(lastWords));

    // Video; German AAC (default, titled), English MP3, French AC3; German and
    // English text subtitles (English default), a French DVD subtitle; a cover and
    // a font attached.
    QStringList movie = lavfi + QStringList{picture};
    for (const QString &frequency : {u"440"_s, u"660"_s, u"880"_s})
        movie << u"-f"_s << u"lavfi"_s << u"-i"_s << sound + frequency;
    movie << u"-i"_s << in(u"de.srt"_s) << u"-i"_s << in(u"en.srt"_s) << u"-i"_s << in(u"fr.idx"_s);
    for (int input = 0; input < 7; ++input)
        movie << u"-map"_s << QString::number(input);
    movie << u"-c:v libx264 -pix_fmt yuv420p -c:a:0 aac -c:a:1 libmp3lame -c:a:2 ac3 -c:s copy "
             "-metadata:s:a:0 language=deu -metadata:s:a:0 title=Deutsch -metadata:s:a:1 language=eng "
             "-metadata:s:a:2 language=fra -metadata:s:s:0 language=deu -metadata:s:s:1 language=eng "
             "-metadata:s:s:1 title=SDH -disposition:a:0 default -disposition:a:1 0 -disposition:a:2 0 "
             "-disposition:s:0 0 -disposition:s:1 default -disposition:s:2 0 -attach"_s.split(u' ')
          << in(u"cover.jpg"_s) << u"-metadata:s:t:0"_s << u"mimetype=image/jpeg"_s << u"-attach"_s
          << in(u"font.ttf"_s) << u"-metadata:s:t:1"_s << u"mimetype=application/x-truetype-font"_s
          << in(u"movie.mkv"_s);
    QVERIFY2(run(u"/usr/bin/ffmpeg"_s, movie, &lastWords), qPrintable(lastWords));
    QVERIFY2(run(u"/usr/bin/ffmpeg"_s,
                 lavfi + QStringList{sound + u"440"_s, u"-i"_s, in(u"cover.jpg"_s), u"-map"_s, u"0"_s,
                                     u"-map"_s, u"1"_s, u"-c:v"_s, u"copy"_s, u"-disposition:v"_s,
                                     u"attached_pic"_s, in(u"song.mp3"_s)},
                 &lastWords),
             qPrintable(lastWords));
    // A time code track beside video and Italian sound.
    QVERIFY2(
        run(u"/usr/bin/ffmpeg"_s,
            lavfi + QStringList{picture, u"-f"_s, u"lavfi"_s, u"-i"_s, sound + u"440"_s, u"-c:v"_s,
                                u"libx264"_s, u"-pix_fmt"_s, u"yuv420p"_s, u"-timecode"_s, u"01:00:00:00"_s,
                                u"-metadata:s:a"_s, u"language=ita"_s, in(u"clip.mp4"_s)},
            &lastWords),
        qPrintable(lastWords));

    // All three read in the background, two at a time.
    MediaSurvey survey;
    QSignalSpy surveyed(&survey, &MediaSurvey::surveyed);
    QSignalSpy finished(&survey, &MediaSurvey::finished);
    QSignalSpy progress(&survey, &MediaSurvey::progressChanged);
    survey.add({in(u"movie.mkv"_s), in(u"song.mp3"_s), in(u"clip.mp4"_s)});
    QVERIFY(survey.busy());
    QVERIFY(finished.wait(30000));
    QCOMPARE(surveyed.size(), 3);
    for (const QList<QVariant> &report : surveyed)
        facts[QFileInfo(report[0].toString()).fileName()] = report[1].value<MediaFacts>();
    QCOMPARE(progress.last(), (QList<QVariant>{3, 3}));
    QCOMPARE(countKinds(facts[u"movie.mkv"_s].streams), (QList<int>{1, 3, 3, 1, 0, 1}));
    QCOMPARE(countKinds(facts[u"song.mp3"_s].streams), (QList<int>{0, 1, 0, 1, 0, 0}));
    QCOMPARE(countKinds(facts[u"clip.mp4"_s].streams), (QList<int>{1, 1, 0, 0, 1, 0}));
    QVERIFY(facts[u"movie.mkv"_s].streams[6].bitmapSubtitle);
}

void RealTracksTest::conversions_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<PanelSettings>("settings");
    QTest::addColumn<QString>("container");
    QTest::addColumn<TrackChecks>("checks");

    const TrackChecks none;
    // Today's codecs into each of their containers, audio alone included.
    QTest::newRow("movie, h264") << u"movie.mkv"_s << panel(7, 0) << u"mp4"_s << none;
    QTest::newRow("movie, vp9") << u"movie.mkv"_s << panel(9, 6) << u"webm"_s << none;
    QTest::newRow("movie, av1") << u"movie.mkv"_s << panel(10, 0) << u"mkv"_s << none;
    QTest::newRow("movie, aac") << u"movie.mkv"_s << panel(0, 5, false) << u"m4a"_s << none;
    QTest::newRow("movie, flac") << u"movie.mkv"_s << panel(0, 7, false) << u"flac"_s << none;
    QTest::newRow("song, aac") << u"song.mp3"_s << panel(0, 5, false) << u"m4a"_s << none;
    QTest::newRow("song, vorbis") << u"song.mp3"_s << panel(0, 8, false) << u"ogg"_s << none;
    QTest::newRow("clip, h264") << u"clip.mp4"_s << panel(7, 0) << u"mp4"_s << none;
    QTest::newRow("clip, av1") << u"clip.mp4"_s << panel(10, 0) << u"mkv"_s << none;
    // The first codecs: the converter's own choice must be what the plan shows.
    QTest::newRow("movie, mpeg4") << u"movie.mkv"_s << panel(5, 2) << u"mp4"_s << none;
    QTest::newRow("movie, mjpeg") << u"movie.mkv"_s << panel(2, 2) << u"avi"_s << none;
    QTest::newRow("movie, copy") << u"movie.mkv"_s << panel(0, 0) << u"mkv"_s << none;
    QTest::newRow("movie, wav") << u"movie.mkv"_s << panel(0, 1, false) << u"wav"_s << none;
    QTest::newRow("song, mp3 copy") << u"song.mp3"_s << panel(0, 0) << u"mp3"_s << none;
    // Boxes changed by the user.
    QTest::newRow("movie, h264, one language")
        << u"movie.mkv"_s << panel(7, 0) << u"mp4"_s << TrackChecks{{1, false}, {3, false}, {4, false}};
    QTest::newRow("movie, mpeg4 + all audio")
        << u"movie.mkv"_s << panel(5, 2) << u"mp4"_s << TrackChecks{{2, true}, {3, true}, {5, true}};
    QTest::newRow("song, mp3 + cover")
        << u"song.mp3"_s << panel(0, 2, false) << u"mp3"_s << TrackChecks{{1, true}};
}

void RealTracksTest::conversions()
{
    QFETCH(QString, source);
    QFETCH(PanelSettings, settings);
    QFETCH(QString, container);
    QFETCH(TrackChecks, checks);

    const MediaFacts &in = facts[source];
    const QString output = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u'.' + container);
    const TrackPlan plan = planTracks(in, settings, container, checks);
    QVERIFY(trackProblems(in, plan).isEmpty());
    const QStringList arguments = withTracks(buildArguments(settings, dir.filePath(source), output), plan);
    QString lastWords;
    QVERIFY2(run(u"/usr/bin/ffmpeg"_s, arguments, &lastWords),
             qPrintable(arguments.join(u' ') + u"\n"_s + lastWords));

    QList<StreamFacts> promised;
    for (qsizetype i = 0; i < plan.tracks.size(); ++i)
        if (plan.tracks[i].kept)
            promised << in.streams[i];
    const MediaFacts out = probe(output);
    QCOMPARE(countKinds(out.streams), countKinds(promised));
    // MP4 makes the first track of a kind the default when none is; it keeps
    // titles only where the plan passes them on as handler names.
    const bool mp4 = container == u"mp4"_s || container == u"m4a"_s;
    for (const Kind kind : {Kind::Audio, Kind::Subtitle}) {
        const auto first = std::find_if(promised.begin(), promised.end(),
                                        [kind](const StreamFacts &s) { return s.kind == kind; });
        if (mp4 && first != promised.end() &&
            std::none_of(first, promised.end(),
                         [kind](const StreamFacts &s) { return s.kind == kind && s.isDefault; }))
            first->isDefault = true;
    }
    const bool titles = !mp4 || !plan.arguments.isEmpty();
    QCOMPARE(labels(out.streams, container, titles), labels(promised, container, titles));

    // The other direction: a stream the plan calls impossible, mapped in by force,
    // makes the converter fail or is not written as what it was.
    // One stream per reason: the same reason has the same cause.
    QStringList reasons;
    for (qsizetype i = 0; i < plan.tracks.size(); ++i) {
        const TrackDecision &d = plan.tracks[i];
        if (d.kept || d.holdable || !d.switchable || reasons.contains(d.reason))
            continue;
        reasons << d.reason;
        QStringList forced = arguments;
        const QString forcedOutput = dir.filePath(u"forced."_s + container);
        forced.last() = forcedOutput;
        forced.insert(forced.size() - 1, u"-map"_s);
        forced.insert(forced.size() - 1, u"0:"_s + QString::number(d.index));
        if (!plan.arguments.contains(u"-map"_s)) // the converter's choice: name its streams too
            for (const StreamFacts &s : promised)
                forced.insert(forced.size() - 1, u"-map 0:"_s + QString::number(s.index));
        forced = forced.join(u' ').split(u' '); // no blanks in these test paths
        // SVT-AV1 hangs when the output cannot take a stream: that is a failure too.
        if (!run(u"/usr/bin/ffmpeg"_s, forced, nullptr, nullptr, 8))
            continue;
        QList<StreamFacts> withForced = promised;
        withForced << in.streams[i];
        QVERIFY2(countKinds(probe(forcedOutput).streams) != countKinds(withForced),
                 qPrintable(u"stream %1 was written: %2"_s.arg(d.index).arg(d.reason)));
    }
}

void RealTracksTest::surveyFailures()
{
    // A text file, a missing file, and a probe that never answers.
    QFile text(dir.filePath(u"notes.txt"_s));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("just words\n") > 0);
    text.close();
    MediaSurvey survey;
    QSignalSpy surveyed(&survey, &MediaSurvey::surveyed);
    QSignalSpy finished(&survey, &MediaSurvey::finished);
    survey.add({text.fileName(), dir.filePath(u"missing.mkv"_s)});
    QVERIFY(finished.wait(30000));
    QCOMPARE(surveyed.size(), 2);
    for (const QList<QVariant> &report : surveyed) {
        const MediaFacts f = report[1].value<MediaFacts>();
        QVERIFY(!f.valid);
        QVERIFY2(f.problem.contains(u"ffprobe konnte die Datei nicht lesen"_s), qPrintable(f.problem));
    }

    const QString pidFile = dir.filePath(u"probe.pid"_s);
    const QString hanging = dir.filePath(u"hanging-probe"_s);
    QFile script(hanging);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\necho $$ > '" + pidFile.toUtf8() + "'\nexec sleep 60\n"));
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    survey.setProgram(hanging);
    survey.setTimeout(500);
    surveyed.clear();
    survey.add({dir.filePath(u"clip.mp4"_s)});
    QVERIFY(finished.wait(10000));
    QCOMPARE(surveyed.size(), 1);
    QVERIFY(surveyed[0][1].value<MediaFacts>().problem.contains(u"nicht in 1 Sekunden gelesen"_s));

    // Stopped: the probe is killed at once and nothing more is reported.
    QFile::remove(pidFile);
    survey.setTimeout(60000);
    surveyed.clear();
    survey.add({dir.filePath(u"clip.mp4"_s), dir.filePath(u"song.mp3"_s), dir.filePath(u"movie.mkv"_s)});
    QTRY_VERIFY(QFile::exists(pidFile) && QFileInfo(pidFile).size() > 0);
    QFile pid(pidFile);
    QVERIFY(pid.open(QIODevice::ReadOnly));
    const int probePid = pid.readAll().trimmed().toInt();
    QVERIFY(probePid > 0);
    survey.stop();
    QVERIFY(!survey.busy());
    QCOMPARE(::kill(probePid, 0), -1); // gone, and collected
    QTest::qWait(200);
    QCOMPARE(surveyed.size(), 0);
}

QTEST_MAIN(RealTracksTest)
#include "tst_realtracks.moc"
