// Which streams each output keeps and the options that say so; what ffprobe's
// JSON is read as; the track list; and the background survey. Then the real
// converter: files with many streams, read in the background and converted into
// every kind of output the codecs lead to. ffprobe must find what the plan
// promises, and a stream the plan calls impossible must fail or go missing when
// forced in.
#include <QtTest>
#include <QtWidgets>

#include <csignal>

#include "codecs.h"
#include "mediasurvey.h"
#include "quorvid.h"
#include "testsupport.h"
#include "tracklist.h"
#include "tracks.h"

using namespace Qt::StringLiterals;
using Kind = StreamFacts::Kind;

namespace {
// A stream layout in a few letters: "kind/codec[/language][/*]" per stream, kinds
// v a s p d t (video, audio, subtitle, picture, data, attachment), "*" for the
// default flag, "=Title" at the end for a title.
MediaFacts layout(const QString &text)
{
    MediaFacts facts;
    facts.valid = true;
    for (const QString &token : text.split(u' ', Qt::SkipEmptyParts)) {
        StreamFacts s;
        QStringList parts = token.section(u'=', 0, 0).split(u'/');
        s.index = int(facts.streams.size());
        s.kind = Kind(u"vaspdt"_s.indexOf(parts[0]));
        s.codec = parts.value(1);
        s.isDefault = parts.removeAll(u"*"_s) > 0;
        s.language = parts.value(2);
        s.title = token.section(u'=', 1);
        s.bitmapSubtitle = s.codec == u"dvd_subtitle"_s;
        s.channels = s.kind == Kind::Audio ? 2 : 0;
        s.width = s.height = s.kind == Kind::Video || s.kind == Kind::Picture ? 64 : 0;
        facts.streams << s;
    }
    return facts;
}

// The panel as the window leaves it after choosing these codecs.
PanelSettings panel(int video, int audio, bool videoOn = true)
{
    PanelSettings s;
    s.videoOn = videoOn;
    s.videoCodec = video;
    s.originalSize = videoCodec(video).modern;
    s.frameRateIndex = s.originalSize ? originalFrameRateIndex : 1;
    s.ratio = s.originalSize ? originalRatioIndex : 0;
    s.quality = s.originalSize ? defaultQualityIndex : 0;
    s.audioCodec = audio;
    const AudioControls controls = audioCodec(audio).controls;
    s.audioBitrateEnabled = controls.bitrate;
    s.channelsEnabled = controls.channels;
    s.frequencyEnabled = controls.frequency;
    return s;
}

const QString movie = u"v/h264 a/aac/deu/*=Deutsch a/mp3/eng a/ac3/fra s/subrip/deu s/subrip/eng/* "
                      "s/dvd_subtitle/fra p/mjpeg t/ttf"_s;
const QString song = u"a/mp3 p/mjpeg"_s;
const QString clip = u"v/h264 a/aac/ita d/tmcd"_s;

// A run that has not ended after `seconds` is killed and counts as failed.
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr, int seconds = 60)
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
        *output = p.readAllStandardOutput() + p.readAllStandardError();
    return ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

MediaFacts probe(const QString &file)
{
    QProcess p;
    p.start(u"/usr/bin/ffprobe"_s, probeArguments(file));
    p.waitForFinished(30000);
    return readProbe(p.readAllStandardOutput());
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

void write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

} // namespace

Q_DECLARE_METATYPE(PanelSettings)
Q_DECLARE_METATYPE(TrackChecks)

class TracksTest : public QObject
{
    Q_OBJECT

private slots:
    void plans_data();
    void plans();
    void readProbe_data();
    void readProbe();
    void trackList();
    void conversions_data();
    void conversions();
    void surveyFailures();
    void pressBeforeLookEnds_data();
    void pressBeforeLookEnds();

private:
    bool makeFiles();

    QTemporaryDir dir;
    QHash<QString, MediaFacts> facts;
};

void TracksTest::plans_data()
{
    QTest::addColumn<QString>("streams");
    QTest::addColumn<PanelSettings>("settings");
    QTest::addColumn<QString>("container");
    QTest::addColumn<TrackChecks>("checks");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("options"); // after the "-map"s of the kept streams; null: no options at all
    QTest::addColumn<int>("problems");

    const TrackChecks none;
    const PanelSettings h264 = panel(7, 0), vp9 = panel(9, 6), av1 = panel(10, 0), mpeg4 = panel(5, 2);
    const PanelSettings aac = panel(0, 5, false), flac = panel(0, 7, false), mp3 = panel(0, 2, false);
    PanelSettings noAudio = h264;
    noAudio.audioOn = false;
    const QString handler = u"-metadata:s:1 handler_name=Deutsch"_s;
    // clang-format off
    QTest::newRow("movie to mp4") << movie << h264 << u"mp4"_s << none << u"0 1 2 3 4 5"_s << u"-c:s mov_text "_s + handler << 0;
    QTest::newRow("movie to webm") << movie << vp9 << u"webm"_s << none << u"0 1 2 3 4 5"_s << u"-c:s webvtt"_s << 0;
    QTest::newRow("movie to mkv") << movie << av1 << u"MKV"_s << none << u"0 1 2 3 4 5 6 8"_s << u"-c:s copy"_s << 0;
    QTest::newRow("movie to m4a") << movie << aac << u"m4a"_s << none << u"1 2 3 7"_s << u"-c:v:0 copy -metadata:s:0 handler_name=Deutsch"_s << 0;
    QTest::newRow("movie to flac: default track") << movie << flac << u"flac"_s << none << u"1 7"_s << u"-c:v:0 copy"_s << 0;
    QTest::newRow("movie to flac: user's track") << movie << flac << u"flac"_s << TrackChecks{{3, true}} << u"3 7"_s << u"-c:v:0 copy"_s << 0;
    QTest::newRow("default audio second, to flac") << u"a/mp3/eng a/aac/deu/*"_s << flac << u"flac"_s << none << u"1"_s << u""_s << 0;
    QTest::newRow("movie to mp4, audio off") << movie << noAudio << u"mp4"_s << none << u"0 4 5"_s << u"-c:s mov_text"_s << 0;
    QTest::newRow("movie, mpeg4: converter's choice") << movie << mpeg4 << u"mp4"_s << none << u"0 1"_s << QString() << 0;
    QTest::newRow("movie, copy to mkv: converter's choice") << movie << panel(0, 0) << u"mkv"_s << none << u"0 1 4"_s << QString() << 0;
    QTest::newRow("movie, mpeg4, bitmap checked") << movie << mpeg4 << u"mp4"_s << TrackChecks{{6, true}} << u"0 1"_s << handler << 1;
    QTest::newRow("movie, every box unchecked") << movie << h264 << u"mp4"_s
        << TrackChecks{{0, false}, {1, false}, {2, false}, {3, false}, {4, false}, {5, false}} << u""_s << u"-vn -an -sn -dn"_s << 1;
    QTest::newRow("song to m4a") << song << aac << u"m4a"_s << none << u"0 1"_s << u"-c:v:0 copy"_s << 0;
    QTest::newRow("song to ogg: no cover") << song << panel(0, 8, false) << u"ogg"_s << none << u"0"_s << u""_s << 0;
    QTest::newRow("song to mp3: converter's choice") << song << mp3 << u"mp3"_s << none << u"0"_s << QString() << 0;
    QTest::newRow("song to mp3, cover checked") << song << mp3 << u"mp3"_s << TrackChecks{{1, true}} << u"0 1"_s << u"-c:v:0 copy"_s << 0;
    QTest::newRow("clip to mp4: time code dropped") << clip << h264 << u"mp4"_s << none << u"0 1"_s << u"-write_tmcd 0"_s << 0;
    QTest::newRow("clip to mp4: time code checked") << clip << h264 << u"mp4"_s << TrackChecks{{2, true}} << u"0 1"_s << u"-write_tmcd 0"_s << 1;
    QTest::newRow("wav copied into mp4 stays out") << u"v/h264 a/pcm_s16le a/aac"_s << h264 << u"mp4"_s << none << u"0 2"_s << u""_s << 0;
    QTest::newRow("wav copied into mp4, checked") << u"v/h264 a/pcm_s16le a/aac"_s << h264 << u"mp4"_s << TrackChecks{{1, true}} << u"0 2"_s << u""_s << 1;
    // clang-format on
}

void TracksTest::plans()
{
    QFETCH(QString, streams);
    QFETCH(PanelSettings, settings);
    QFETCH(QString, container);
    QFETCH(TrackChecks, checks);
    QFETCH(QString, kept);
    QFETCH(QString, options);
    QFETCH(int, problems);

    const MediaFacts facts = layout(streams);
    const TrackPlan plan = planTracks(facts, settings, container, checks);
    QStringList keptIndices, fragment;
    for (const TrackDecision &d : plan.tracks) {
        if (d.kept)
            keptIndices << QString::number(d.index);
        if (d.kept && !options.isNull())
            fragment << u"-map 0:"_s + QString::number(d.index);
        // Every stream that stays out says why, unless the user unchecked one it could keep.
        QCOMPARE(d.reason.isEmpty(), d.kept || (!checks.value(d.index, true) && d.holdable));
    }
    QCOMPARE(keptIndices.join(u' '), kept);
    QCOMPARE(plan.arguments.join(u' '), (fragment << options).join(u' ').trimmed());
    const QList<Problem> found = trackProblems(facts, plan);
    QCOMPARE(found.size(), problems);
    for (const Problem &p : found)
        QVERIFY(!p.reason.isEmpty() && !p.instead.isEmpty());

    // Placed before the output, with "-vn" gone where a cover is kept.
    const QStringList base = buildArguments(settings, u"/in"_s, u"/out."_s + container);
    const QStringList full = withTracks(base, plan);
    QCOMPARE(full.mid(full.size() - plan.arguments.size() - 1), plan.arguments + QStringList{base.last()});
    QCOMPARE(full.mid(0, full.size() - plan.arguments.size() - 1).contains(u"-vn"_s),
             !settings.videoOn && !plan.arguments.contains(u"-c:v:0"_s));
}

void TracksTest::readProbe_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("read"); // per stream: kind codec language title default bitmap

    QTest::newRow("cover, font, handler title, und")
        << QByteArray(R"({"streams":[
            {"index":1,"codec_type":"audio","codec_name":"aac","channels":2,"disposition":{"default":1},
             "tags":{"language":"und","handler_name":"Kommentar"}},
            {"index":0,"codec_type":"video","codec_name":"mjpeg","disposition":{"attached_pic":1}},
            {"index":2,"codec_type":"attachment","codec_name":"ttf"},
            {"index":3,"codec_type":"subtitle","codec_name":"hdmv_pgs_subtitle","tags":{"LANGUAGE":"ger"}},
            {"index":4,"codec_type":"data","codec_tag_string":"tmcd","tags":{"handler_name":"TimeCodeHandler"}}],
            "format":{"duration":"2.5"}})")
        << u"3 mjpeg - - 0 0|1 aac - Kommentar 1 0|5 ttf - - 0 0|2 hdmv_pgs_subtitle ger - 0 1|4 tmcd - - 0 0"_s;
    QTest::newRow("not JSON") << QByteArray("Invalid data found") << QString();
    QTest::newRow("no streams") << QByteArray("{}") << QString();
}

void TracksTest::readProbe()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, read);
    const MediaFacts facts = ::readProbe(json);
    QCOMPARE(facts.valid, !read.isEmpty());
    QCOMPARE(facts.problem.isEmpty(), facts.valid);
    QStringList streams;
    for (const StreamFacts &s : facts.streams)
        streams << u"%1 %2 %3 %4 %5 %6"_s.arg(int(s.kind))
                       .arg(s.codec, s.language.isEmpty() ? u"-"_s : s.language,
                            s.title.isEmpty() ? u"-"_s : s.title)
                       .arg(int(s.isDefault))
                       .arg(int(s.bitmapSubtitle));
    QCOMPARE(streams.join(u'|'), read);
    if (facts.valid) {
        QCOMPARE(facts.durationSeconds, 2.5);
        QCOMPARE(facts.streams.first().index, 0); // file order
    }
}

void TracksTest::trackList()
{
    TrackList list;
    QSignalSpy changed(&list, &TrackList::checksChanged);
    const MediaFacts facts = layout(movie);
    PanelSettings settings = panel(7, 0);
    settings.audioOn = false;
    list.setFacts(facts);
    list.showPlan(planTracks(facts, settings, u"mp4"_s, {}));
    QCOMPARE(list.topLevelItemCount(), 9);
    QVERIFY(!list.isHeaderHidden());
    QTreeWidgetItem *bitmap = list.topLevelItem(6);
    QCOMPARE(bitmap->text(TrackList::KindColumn), u"Untertitel"_s);
    QCOMPARE(bitmap->checkState(TrackList::KindColumn), Qt::Unchecked);
    QVERIFY(!bitmap->text(TrackList::ReasonColumn).isEmpty());
    // Audio is switched off in the panel: its rows cannot be checked here.
    QVERIFY(!(list.topLevelItem(1)->flags() & Qt::ItemIsEnabled));
    QCOMPARE(list.topLevelItem(1)->text(TrackList::DetailsColumn), u"Stereo"_s);

    // Showing a plan is no change of the user's; a click is.
    QCOMPARE(changed.size(), 0);
    bitmap->setCheckState(TrackList::KindColumn, Qt::Checked);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(list.checks(), (TrackChecks{{6, true}}));
    list.showPlan(planTracks(facts, settings, u"mp4"_s, list.checks()));
    QCOMPARE(bitmap->checkState(TrackList::KindColumn), Qt::Checked);
    QCOMPARE(changed.size(), 1);

    // One video and one audio stream: two rows, no empty columns; the header stays,
    // so that the rows keep their place from one file to the next.
    const int fullHeight = list.sizeHint().height();
    list.setFacts(layout(u"v/h264 a/aac"_s));
    QVERIFY(list.checks().isEmpty());
    QCOMPARE(list.topLevelItemCount(), 2);
    QVERIFY(!list.isHeaderHidden());
    QVERIFY(list.isColumnHidden(TrackList::LanguageColumn) && list.isColumnHidden(TrackList::TitleColumn));
    QVERIFY(list.sizeHint().height() < fullHeight);
}

// Video; German AAC (default, titled), English MP3, French AC3; German and English
// text subtitles (English default), a French DVD subtitle; a cover and a font
// attached. An MP3 with a cover; an MP4 with a time code track. All three read in
// the background, two at a time.
bool TracksTest::makeFiles()
{
    if (!facts.isEmpty())
        return true;
    const QString d = dir.path(); // no blanks in it: commands are split at blanks
    write(d + u"/de.srt"_s, "1\n00:00:00,000 --> 00:00:01,000\nHallo\n");
    write(d + u"/en.srt"_s, "1\n00:00:00,000 --> 00:00:01,000\nHello\n");
    write(d + u"/font.ttf"_s, "not really a font");
    if (!writeVobSub(d + u"/fr"_s))
        return false;
    const QString lavfi = u"-y -v error -f lavfi -i testsrc=size=160x120:rate=25:duration=1 "_s;
    const QString sine = u"-f lavfi -i sine=duration=1:frequency="_s;
    const QStringList commands{
        lavfi + u"-frames:v 1 %1/cover.jpg"_s,
        lavfi + sine + u"440 "_s + sine + u"660 "_s + sine +
            u"880 -i %1/de.srt -i %1/en.srt -i %1/fr.idx "
            "-map 0 -map 1 -map 2 -map 3 -map 4 -map 5 -map 6 -c:v libx264 -pix_fmt yuv420p -c:a:0 aac "
            "-c:a:1 libmp3lame -c:a:2 ac3 -c:s copy -metadata:s:a:0 language=deu -metadata:s:a:0 "
            "title=Deutsch -metadata:s:a:1 language=eng -metadata:s:a:2 language=fra -metadata:s:s:0 "
            "language=deu -metadata:s:s:1 language=eng -metadata:s:s:1 title=SDH -disposition:a:0 default "
            "-disposition:a:1 0 -disposition:a:2 0 -disposition:s:0 0 -disposition:s:1 default "
            "-disposition:s:2 0 -attach %1/cover.jpg -metadata:s:t:0 mimetype=image/jpeg -attach "
            "%1/font.ttf -metadata:s:t:1 mimetype=application/x-truetype-font %1/movie.mkv"_s,
        u"-y -v error "_s + sine +
            u"440 -i %1/cover.jpg -map 0 -map 1 -c:v copy -disposition:v attached_pic "
            "%1/song.mp3"_s,
        lavfi + sine +
            u"440 -c:v libx264 -pix_fmt yuv420p -timecode 01:00:00:00 -metadata:s:a language=ita "
            "%1/clip.mp4"_s};
    for (const QString &command : commands) {
        QByteArray said;
        if (!run(u"/usr/bin/ffmpeg"_s, command.arg(d).split(u' '), &said)) {
            qWarning("%s", said.constData());
            return false;
        }
    }
    MediaSurvey survey;
    QSignalSpy surveyed(&survey, &MediaSurvey::surveyed);
    QSignalSpy finished(&survey, &MediaSurvey::finished);
    QSignalSpy progress(&survey, &MediaSurvey::progressChanged);
    survey.add({d + u"/movie.mkv"_s, d + u"/song.mp3"_s, d + u"/clip.mp4"_s});
    if (!finished.wait(30000) || surveyed.size() != 3 || progress.last() != QList<QVariant>{3, 3})
        return false;
    for (const QList<QVariant> &report : surveyed)
        facts[QFileInfo(report[0].toString()).fileName()] = report[1].value<MediaFacts>();
    // What the survey read is what the files hold.
    return countKinds(facts[u"movie.mkv"_s].streams) == QList<int>{1, 3, 3, 1, 0, 1} &&
           facts[u"movie.mkv"_s].streams[6].bitmapSubtitle &&
           countKinds(facts[u"song.mp3"_s].streams) == QList<int>{0, 1, 0, 1, 0, 0} &&
           countKinds(facts[u"clip.mp4"_s].streams) == QList<int>{1, 1, 0, 0, 1, 0};
}

void TracksTest::conversions_data()
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

void TracksTest::conversions()
{
    QFETCH(QString, source);
    QFETCH(PanelSettings, settings);
    QFETCH(QString, container);
    QFETCH(TrackChecks, checks);

    QVERIFY(makeFiles());
    const MediaFacts &in = facts[source];
    const QString output = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u'.' + container);
    const TrackPlan plan = planTracks(in, settings, container, checks);
    QVERIFY(trackProblems(in, plan).isEmpty());
    const QStringList arguments = withTracks(buildArguments(settings, dir.filePath(source), output), plan);
    QByteArray said;
    QVERIFY2(run(u"/usr/bin/ffmpeg"_s, arguments, &said),
             qPrintable(arguments.join(u' ') + u"\n"_s + QString::fromUtf8(said)));

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
        if (!run(u"/usr/bin/ffmpeg"_s, forced, nullptr, 8))
            continue;
        QList<StreamFacts> withForced = promised;
        withForced << in.streams[i];
        QVERIFY2(countKinds(probe(forcedOutput).streams) != countKinds(withForced),
                 qPrintable(u"stream %1 was written: %2"_s.arg(d.index).arg(d.reason)));
    }
}

void TracksTest::surveyFailures()
{
    // A text file, a missing file, and a probe that never answers.
    QVERIFY(makeFiles());
    write(dir.filePath(u"notes.txt"_s), "just words\n");
    MediaSurvey survey;
    QSignalSpy surveyed(&survey, &MediaSurvey::surveyed);
    QSignalSpy finished(&survey, &MediaSurvey::finished);
    survey.add({dir.filePath(u"notes.txt"_s), dir.filePath(u"missing.mkv"_s)});
    QVERIFY(finished.wait(30000));
    QCOMPARE(surveyed.size(), 2);
    for (const QList<QVariant> &report : surveyed) {
        const MediaFacts f = report[1].value<MediaFacts>();
        QVERIFY(!f.valid);
        QVERIFY2(f.problem.contains(u"ffprobe konnte die Datei nicht lesen"_s), qPrintable(f.problem));
    }
    survey.setProgram(dir.filePath(u"no-such-probe"_s));
    surveyed.clear();
    survey.add({dir.filePath(u"clip.mp4"_s)});
    QVERIFY(finished.wait(10000));
    QCOMPARE(surveyed.size(), 1);
    QVERIFY(surveyed[0][1].value<MediaFacts>().problem.contains(u"ließ sich nicht starten"_s));

    const QString pidFile = dir.filePath(u"probe.pid"_s);
    const QString hanging = dir.filePath(u"hanging-probe"_s);
    write(hanging, "#!/bin/sh\necho $$ > '" + pidFile.toUtf8() + "'\nexec sleep 60\n");
    QFile::setPermissions(hanging, QFile::ReadOwner | QFile::ExeOwner);
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
    // The probe answers but the look at the frames hangs: the facts stand, and
    // the look says what it could not find out.
    FakeConverter fake;
    fake.setScenario({u"sleep 20000"_s, u"exit 0"_s});
    survey.setProgram(QString());
    survey.setTimeout(3000);
    survey.add({dir.filePath(u"clip.mp4"_s)});
    QVERIFY(finished.wait(20000));
    QCOMPARE(surveyed.size(), 1);
    const MediaFacts partly = surveyed[0][1].value<MediaFacts>();
    QVERIFY(partly.valid);
    QVERIFY2(partly.problem.contains(u"Zeilensprung wurde nach 3 Sekunden abgebrochen"_s),
             qPrintable(partly.problem));
}

void TracksTest::pressBeforeLookEnds_data()
{
    QTest::addColumn<QString>("probe"); // ffprobe "slow" (a second's pause) or "failing"
    QTest::addColumn<QString>("press"); // "convert", "add" (the opened file), "reopen" (convert, then
                                        // open another) or "several" files opened
    QTest::addColumn<int>("answer");    // to the question about a failed look; 0: none is asked
    QTest::addColumn<int>("jobs");      // conversions started, or rows added
    QTest::addColumn<bool>("allAudio"); // the jobs keep all three audio tracks
    QTest::newRow("slow, convert") << u"slow"_s << u"convert"_s << 0 << 1 << true;
    QTest::newRow("slow, add") << u"slow"_s << u"add"_s << 0 << 1 << true;
    QTest::newRow("slow, several") << u"slow"_s << u"several"_s << 0 << 2 << true;
    // A job of the first codecs added at once, then one that waits, then "Start
    // Batch": the start waits for the second job, and both run.
    QTest::newRow("slow, add, start") << u"slow"_s << u"add+start"_s << 0 << 2 << true;
    // Another file opened while the press waits: the press is dropped, and said so.
    QTest::newRow("slow, convert, reopened") << u"slow"_s << u"reopen"_s << 0 << 0 << false;
    QTest::newRow("failing, convert, no")
        << u"failing"_s << u"convert"_s << int(QMessageBox::No) << 0 << false;
    QTest::newRow("failing, convert, yes")
        << u"failing"_s << u"convert"_s << int(QMessageBox::Yes) << 1 << false;
    QTest::newRow("failing, add, yes") << u"failing"_s << u"add"_s << int(QMessageBox::Yes) << 1 << false;
    QTest::newRow("failing, several, no")
        << u"failing"_s << u"several"_s << int(QMessageBox::No) << 0 << false;
    QTest::newRow("failing, several, yes")
        << u"failing"_s << u"several"_s << int(QMessageBox::Yes) << 2 << false;
}

void TracksTest::pressBeforeLookEnds()
{
    // A quick user: the button is pressed the moment it is enabled, while the
    // look at the file still runs. The job waits for the look and keeps every
    // audio track; a look that fails is named, and the user decides.
    QFETCH(QString, probe);
    QFETCH(QString, press);
    QFETCH(int, answer);
    QFETCH(int, jobs);
    QFETCH(bool, allAudio);
    QVERIFY(makeFiles());
    FakeConverter fake;
    write(fake.directory() + u"/ffprobe"_s,
          probe == u"slow"_s ? "#!/bin/sh\nsleep 1\nexec /usr/bin/ffprobe \"$@\"\n"
                             : "#!/bin/sh\necho 'Invalid data found when processing input' >&2\nexit 1\n");
    QFile::setPermissions(fake.directory() + u"/ffprobe"_s, QFile::ExeOwner | QFile::ReadOwner);
    const QString movie = dir.filePath(u"movie.mkv"_s);

    MainWindow window;
    const auto chooseH264 = [&window] {
        window.vcodecComboBox->setCurrentIndex(7); // H.264: the job depends on the file
        QMetaObject::invokeMethod(&window, "vcopywahl");
        window.acodecComboBox->setCurrentIndex(5);
    };
    const bool start = press == u"add+start"_s;
    if (!start)
        chooseH264();
    ModalAnswerer answerer;
    if (answer != 0)
        answerer.clickBox(QMessageBox::StandardButton(answer));
    const auto conversions = [&fake] {
        QList<QStringList> runs;
        for (const QStringList &run : fake.runs())
            if (run.size() > 2 && run.last() != u"-"_s)
                runs << run;
        return runs;
    };
    if (press == u"several"_s) {
        window.openFiles({movie, dir.filePath(u"clip.mp4"_s)});
    } else {
        window.openFiles({movie});
        QPushButton *button = press.startsWith(u"add"_s) ? window.insertJobButton : window.convertButton;
        QTRY_VERIFY(window.openLineEdit->text() == movie && button->isEnabled());
        if (start) {
            button->click(); // the first codecs: added at once
            QCOMPARE(window.batchTableWidget->rowCount(), 1);
            chooseH264();
        }
        button->click();
        QVERIFY(conversions().isEmpty() && window.batchTableWidget->rowCount() == int(start));
        if (probe == u"slow"_s)
            QVERIFY2(window.statusBar()->currentMessage().contains(u"wird noch untersucht"_s),
                     qPrintable(window.statusBar()->currentMessage()));
        if (press == u"reopen"_s) {
            window.openFiles({dir.filePath(u"clip.mp4"_s)});
            QTRY_VERIFY(window.statusBar()->currentMessage().contains(u"verworfen"_s));
            QTRY_VERIFY_WITH_TIMEOUT(window.convertButton->toolTip().isEmpty(), 20000); // its look ended
        }
        if (start) {
            QVERIFY(window.batchConvertButton->isEnabled());
            window.batchConvertButton->click();
            QTRY_COMPARE_WITH_TIMEOUT(conversions().size(), 2, 20000);
            for (int row = 0; row < 2; ++row)
                QTRY_VERIFY(window.batchTableWidget->item(row, 1) &&
                            window.batchTableWidget->item(row, 1)->text() == u"Done."_s);
        }
    }
    QVERIFY(answerer.waitAll(20000));
    if (answer != 0)
        QVERIFY2(answerer.seen.first().text.contains(u"nicht untersucht werden"_s) &&
                     answerer.seen.first().text.contains(u"Invalid data found"_s),
                 qPrintable(answerer.seen.first().text));
    QList<QStringList> made;
    if (!press.startsWith(u"add"_s) && press != u"several"_s) {
        if (jobs > 0)
            QTRY_COMPARE_WITH_TIMEOUT(conversions().size(), jobs, 20000);
        made = conversions();
    } else {
        if (jobs > 0)
            QTRY_COMPARE_WITH_TIMEOUT(window.batchTableWidget->rowCount(), jobs, 20000);
        for (int row = 0; row < window.batchTableWidget->rowCount(); ++row)
            made << window.batchTableWidget->item(row, 0)->text().split(u',');
    }
    QTest::qWait(200);
    QCOMPARE(made.size(), jobs);
    if (jobs == 0)
        return;
    // The last job of the movie (the first of "add, start" is of the first codecs).
    const auto ofMovie = std::find_if(made.crbegin(), made.crend(), [&movie](const QStringList &arguments) {
        return arguments.contains(movie);
    });
    QVERIFY(ofMovie != made.crend());
    const QString arguments = ofMovie->join(u' ');
    QVERIFY2(arguments.contains(u"-map 0:1 -map 0:2 -map 0:3"_s) == allAudio, qPrintable(arguments));
}

QTEST_MAIN(TracksTest)
#include "tst_tracks.moc"
