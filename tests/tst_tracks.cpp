// Which streams each output keeps, the options that say so, what ffprobe's JSON
// is read as, and the track list, all without a converter.
#include <QtTest>
#include <QtWidgets>

#include "formats.h"
#include "tracklist.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

namespace {
// A stream layout in a few letters: "kind/codec[/language][/*]" per stream, kinds
// v a s p d t (video, audio, subtitle, picture, data, attachment), "*" for the
// default flag, "=Title" at the end for a title.
MediaFacts layout(const QString &text)
{
    static const QMap<QChar, StreamFacts::Kind> kinds{
        {u'v', StreamFacts::Kind::Video},    {u'a', StreamFacts::Kind::Audio},
        {u's', StreamFacts::Kind::Subtitle}, {u'p', StreamFacts::Kind::Picture},
        {u'd', StreamFacts::Kind::Data},     {u't', StreamFacts::Kind::Attachment}};
    MediaFacts facts;
    facts.valid = true;
    for (const QString &token : text.split(u' ', Qt::SkipEmptyParts)) {
        StreamFacts s;
        QStringList parts = token.section(u'=', 0, 0).split(u'/');
        s.index = int(facts.streams.size());
        s.kind = kinds.value(parts.value(0).at(0));
        s.codec = parts.value(1);
        s.isDefault = parts.removeAll(u"*"_s) > 0;
        s.language = parts.value(2);
        s.title = token.section(u'=', 1);
        s.bitmapSubtitle = s.codec == u"dvd_subtitle"_s;
        s.channels = s.kind == StreamFacts::Kind::Audio ? 2 : 0;
        if (s.kind == StreamFacts::Kind::Video || s.kind == StreamFacts::Kind::Picture)
            s.width = s.height = 64;
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
    s.originalSize = isModernVideoCodec(video);
    s.audioCodec = audio;
    const AudioControls controls = audioControls(audio);
    s.audioBitrateEnabled = controls.bitrate;
    s.channelsEnabled = controls.channels;
    s.frequencyEnabled = controls.frequency;
    return s;
}

const QString movie = u"v/h264 a/aac/deu/*=Deutsch a/mp3/eng a/ac3/fra s/subrip/deu s/subrip/eng/* "
                      "s/dvd_subtitle/fra p/mjpeg t/ttf"_s;
const QString song = u"a/mp3 p/mjpeg"_s;
const QString clip = u"v/h264 a/aac/ita d/tmcd"_s;
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
};

void TracksTest::plans_data()
{
    QTest::addColumn<QString>("streams");
    QTest::addColumn<PanelSettings>("settings");
    QTest::addColumn<QString>("container");
    QTest::addColumn<TrackChecks>("checks");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<int>("problems");

    const TrackChecks none;
    const PanelSettings h264 = panel(7, 0), vp9 = panel(9, 6), av1 = panel(10, 0), mpeg4 = panel(5, 2);
    const PanelSettings aac = panel(0, 5, false), flac = panel(0, 7, false), vorbis = panel(0, 8, false);
    const QString m = u"-map 0:"_s;
    QTest::newRow("movie to mp4") << movie << h264 << u"mp4"_s << none << u"0 1 2 3 4 5"_s
                                  << m + u"0 -map 0:1 -map 0:2 -map 0:3 -map 0:4 -map 0:5 -c:s mov_text "
                                         "-metadata:s:1 handler_name=Deutsch"_s
                                  << 0;
    QTest::newRow("movie to webm") << movie << vp9 << u"webm"_s << none << u"0 1 2 3 4 5"_s
                                   << m + u"0 -map 0:1 -map 0:2 -map 0:3 -map 0:4 -map 0:5 -c:s webvtt"_s
                                   << 0;
    QTest::newRow("movie to mkv") << movie << av1 << u"MKV"_s << none << u"0 1 2 3 4 5 6 8"_s
                                  << m + u"0 -map 0:1 -map 0:2 -map 0:3 -map 0:4 -map 0:5 -map 0:6 -map 0:8 "
                                         "-c:s copy"_s
                                  << 0;
    QTest::newRow("movie to m4a")
        << movie << aac << u"m4a"_s << none << u"1 2 3 7"_s
        << m + u"1 -map 0:2 -map 0:3 -map 0:7 -c:v copy -metadata:s:0 handler_name=Deutsch"_s << 0;
    QTest::newRow("movie to flac: the default track")
        << movie << flac << u"flac"_s << none << u"1 7"_s << m + u"1 -map 0:7 -c:v copy"_s << 0;
    QTest::newRow("movie to flac: the user's track wins")
        << movie << flac << u"flac"_s << TrackChecks{{3, true}} << u"3 7"_s << m + u"3 -map 0:7 -c:v copy"_s
        << 0;
    QTest::newRow("movie to mp4, audio off") << movie <<
        [] {
            auto s = panel(7, 0);
            s.audioOn = false;
            return s;
        }() << u"mp4"_s << none << u"0 4 5"_s << m + u"0 -map 0:4 -map 0:5 -c:s mov_text"_s
                                             << 0;
    QTest::newRow("movie, first codecs: the converter's choice")
        << movie << mpeg4 << u"mp4"_s << none << u"0 1"_s << QString() << 0;
    QTest::newRow("movie, copy into mkv: the converter's choice")
        << movie << panel(0, 0) << u"mkv"_s << none << u"0 1 4"_s << QString() << 0;
    QTest::newRow("movie, first codecs, bitmap checked for mp4")
        << movie << mpeg4 << u"mp4"_s << TrackChecks{{6, true}} << u"0 1"_s
        << m + u"0 -map 0:1 -metadata:s:1 handler_name=Deutsch"_s << 1;
    QTest::newRow("movie, every box unchecked")
        << movie << h264 << u"mp4"_s
        << TrackChecks{{0, false}, {1, false}, {2, false}, {3, false}, {4, false}, {5, false}} << QString()
        << u"-vn -an -sn -dn"_s << 1;
    QTest::newRow("song to m4a") << song << aac << u"m4a"_s << none << u"0 1"_s
                                 << m + u"0 -map 0:1 -c:v copy"_s << 0;
    QTest::newRow("song to ogg: no cover") << song << vorbis << u"ogg"_s << none << u"0"_s << m + u"0"_s << 0;
    QTest::newRow("song to mp3, first codec")
        << song << panel(0, 2, false) << u"mp3"_s << none << u"0"_s << QString() << 0;
    QTest::newRow("song to mp3, cover checked")
        << song << panel(0, 2, false) << u"mp3"_s << TrackChecks{{1, true}} << u"0 1"_s
        << m + u"0 -map 0:1 -c:v copy"_s << 0;
    QTest::newRow("clip to mp4: time code dropped")
        << clip << h264 << u"mp4"_s << none << u"0 1"_s << m + u"0 -map 0:1 -write_tmcd 0"_s << 0;
    QTest::newRow("clip to mp4: time code checked") << clip << h264 << u"mp4"_s << TrackChecks{{2, true}}
                                                    << u"0 1"_s << m + u"0 -map 0:1 -write_tmcd 0"_s << 1;
    QTest::newRow("wav copied into mp4 stays out")
        << u"v/h264 a/pcm_s16le a/aac"_s << h264 << u"mp4"_s << none << u"0 2"_s << m + u"0 -map 0:2"_s << 0;
    QTest::newRow("wav copied into mp4, checked")
        << u"v/h264 a/pcm_s16le a/aac"_s << h264 << u"mp4"_s << TrackChecks{{1, true}} << u"0 2"_s
        << m + u"0 -map 0:2"_s << 1;
}

void TracksTest::plans()
{
    QFETCH(QString, streams);
    QFETCH(PanelSettings, settings);
    QFETCH(QString, container);
    QFETCH(TrackChecks, checks);
    QFETCH(QString, kept);
    QFETCH(QString, fragment);
    QFETCH(int, problems);

    const MediaFacts facts = layout(streams);
    const TrackPlan plan = planTracks(facts, settings, container, checks);
    QStringList keptIndices;
    for (const TrackDecision &d : plan.tracks) {
        if (d.kept)
            keptIndices << QString::number(d.index);
        // Every stream that stays out says why, unless the user unchecked one it could keep.
        QCOMPARE(d.reason.isEmpty(), d.kept || (!checks.value(d.index, true) && d.holdable));
    }
    QCOMPARE(keptIndices.join(u' '), kept);
    QCOMPARE(plan.arguments.join(u' '), fragment);
    const QList<Problem> found = trackProblems(facts, plan);
    QCOMPARE(found.size(), problems);
    for (const Problem &p : found)
        QVERIFY(!p.reason.isEmpty() && !p.instead.isEmpty());

    // Placed before the output, with "-vn" gone where a cover is kept.
    const QStringList base = buildArguments(settings, u"/in"_s, u"/out."_s + container);
    const QStringList full = withTracks(base, plan);
    QCOMPARE(full.mid(full.size() - plan.arguments.size() - 1), plan.arguments + QStringList{base.last()});
    QCOMPARE(full.mid(0, full.size() - plan.arguments.size() - 1).contains(u"-vn"_s),
             !settings.videoOn && !plan.arguments.contains(u"-c:v"_s));
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

    // One video and one audio stream: two plain rows, no header, no empty columns.
    const int fullHeight = list.sizeHint().height();
    list.setFacts(layout(u"v/h264 a/aac"_s));
    QVERIFY(list.checks().isEmpty());
    QCOMPARE(list.topLevelItemCount(), 2);
    QVERIFY(list.isHeaderHidden());
    QVERIFY(list.isColumnHidden(TrackList::LanguageColumn) && list.isColumnHidden(TrackList::TitleColumn));
    QVERIFY(list.sizeHint().height() < fullHeight);
}

QTEST_MAIN(TracksTest)
#include "tst_tracks.moc"
