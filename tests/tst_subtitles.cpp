// Subtitle files added to jobs, subtitles burned into the picture, and files
// joined into one: the pure parts with tables, the jobs with the real converter
// on short generated clips, run through the one runner.
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "batchfile.h"
#include "codecs.h"
#include "jobrunner.h"
#include "join.h"
#include "makejob.h"
#include "presets.h"
#include "runfiles.h"
#include "subtitlefiles.h"
#include "subtitlejob.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
const QString text = u"Grüße aus Köln – „Öl“ für 5 €"_s;

// What a program of the converter writes (both outputs when `all`); *ok tells
// whether it ended well.
QByteArray said(const QString &program, const QStringList &arguments, bool all = false, bool *ok = nullptr)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"/usr/bin/"_s + program, arguments);
    const bool ended = p.waitForFinished(120000);
    if (ok)
        *ok = ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return p.readAllStandardOutput() + (all ? p.readAllStandardError() : QByteArray());
}

bool run(const QStringList &arguments)
{
    bool ok = false;
    said(u"ffmpeg"_s, arguments, true, &ok);
    return ok;
}

MediaFacts probe(const QString &file)
{
    return readProbe(said(u"ffprobe"_s, probeArguments(file)));
}

bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray srt(const QString &line, const QString &from = u"00:00:00,000"_s,
               const QString &to = u"00:00:02,000"_s)
{
    return (u"1\r\n%1 --> %2\r\n%3\r\n"_s.arg(from, to, line)).toUtf8();
}

// The text of an output's subtitle track, read back by the converter.
QString subtitleText(const QString &file, int track)
{
    return QString::fromUtf8(said(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, file, u"-map"_s,
                                                u"0:s:%1"_s.arg(track), u"-f"_s, u"srt"_s, u"-"_s}));
}

// The start of the first cue of an SRT text, in seconds.
double cueStart(const QString &srtText)
{
    const QRegularExpressionMatch m =
        QRegularExpression(u"(\\d\\d):(\\d\\d):(\\d\\d),(\\d\\d\\d) -->"_s).match(srtText);
    return m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt() +
           m.captured(4).toInt() / 1000.0;
}

// When the first video stream of a file begins.
double videoStart(const QString &file)
{
    return said(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v:0"_s, u"-show_entries"_s,
                               u"stream=start_time"_s, u"-of"_s, u"csv=p=0"_s, file})
        .trimmed()
        .toDouble();
}

// Bright pixels of the picture at `seconds`: the clips are black, so anything
// bright is a subtitle drawn in.
int brightPixels(const QString &file, double seconds)
{
    const QByteArray picture =
        said(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-ss"_s, QString::number(seconds), u"-i"_s, file,
                           u"-frames:v"_s, u"1"_s, u"-f"_s, u"rawvideo"_s, u"-pix_fmt"_s, u"gray"_s, u"-"_s});
    return int(std::count_if(picture.cbegin(), picture.cend(), [](char c) { return uchar(c) > 128; }));
}

PanelSettings settingsFor(const QString &video, const QString &audio = u"copy"_s)
{
    PanelSettings s;
    s.videoCodec = videoCodecIndex(video);
    s.audioCodec = audioCodecIndex(audio);
    return s;
}

// Runs the jobs through the runner; the ends in order.
QList<JobEnd> runJobs(const QList<Job> &jobs, JobRunner *runner = nullptr)
{
    JobRunner own;
    JobRunner &r = runner ? *runner : own;
    QList<JobEnd> ends;
    QObject::connect(&r, &JobRunner::jobEnded, [&ends](int, const JobEnd &end) { ends << end; });
    QSignalSpy over(&r, &JobRunner::runEnded);
    r.start(jobs, QList<JobState>(jobs.size(), JobState::Pending), 1, true);
    if (over.isEmpty())
        over.wait(300000);
    return ends;
}
} // namespace

class SubtitlesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void encodings_data();
    void encodings();
    void names_data();
    void names();
    void besideTheVideo();
    void addedToJobs_data();
    void addedToJobs();
    void burnIn_data();
    void burnIn();
    void joins_data();
    void joins();
    void joinedJobsStored();
    void commandLine_data();
    void commandLine();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

void SubtitlesTest::initTestCase()
{
    QVERIFY(dir.isValid());
    // A black picture and a tone: what is bright afterwards was drawn in.
    QVERIFY(run({u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                 u"color=black:size=160x120:rate=25:duration=3"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                 u"sine=duration=3"_s, u"-c:v"_s, u"libx264"_s, u"-pix_fmt"_s, u"yuv420p"_s, u"-c:a"_s,
                 u"aac"_s, path(u"black.mp4"_s)}));
    // The multi-track file: two audio tracks, a German text subtitle and a DVD one.
    {
        const QString movie = path(u"movie.mkv"_s);
        QVERIFY(write(path(u"de.srt"_s), srt(u"Hallo"_s)));
        QVERIFY(writeVobSub(path(u"fr"_s)));
        QVERIFY(run({u"-y"_s,
                     u"-v"_s,
                     u"error"_s,
                     u"-i"_s,
                     path(u"black.mp4"_s),
                     u"-f"_s,
                     u"lavfi"_s,
                     u"-i"_s,
                     u"sine=duration=3:frequency=660"_s,
                     u"-i"_s,
                     path(u"de.srt"_s),
                     u"-i"_s,
                     path(u"fr.idx"_s),
                     u"-map"_s,
                     u"0"_s,
                     u"-map"_s,
                     u"1"_s,
                     u"-map"_s,
                     u"2"_s,
                     u"-map"_s,
                     u"3"_s,
                     u"-c:v"_s,
                     u"copy"_s,
                     u"-c:a"_s,
                     u"aac"_s,
                     u"-c:s"_s,
                     u"copy"_s,
                     u"-metadata:s:s:0"_s,
                     u"language=ger"_s,
                     movie}));
    }
}

void SubtitlesTest::encodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    const QByteArray utf8 = srt(text);
    QByteArray utf16le("\xFF\xFE", 2), utf16be("\xFE\xFF", 2);
    const QString decoded = QString::fromUtf8(utf8);
    for (const QChar c : decoded) {
        utf16le += char(c.unicode() & 0xff), utf16le += char(c.unicode() >> 8);
        utf16be += char(c.unicode() >> 8), utf16be += char(c.unicode() & 0xff);
    }
    // Windows-1252: "–", "„", "“" and "€" lie in 0x80 to 0x9F; ISO-8859-1 has none.
    const QByteArray cp1252("1\r\n00:00:00,000 --> 00:00:02,000\r\nGr\xFC\xDF"
                            "e aus K\xF6ln \x96 \x84\xD6l\x93 f\xFCr 5 \x80\r\n");
    const QByteArray latin1("1\r\n00:00:00,000 --> 00:00:02,000\r\nGr\xFC\xDF"
                            "e aus K\xF6ln, \xD6l f\xFCr 5\r\n");
    QTest::newRow("UTF-8") << utf8 << TextEncoding::Utf8;
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + utf8 << TextEncoding::Utf8Bom;
    QTest::newRow("UTF-16 LE") << utf16le << TextEncoding::Utf16LE;
    QTest::newRow("UTF-16 BE") << utf16be << TextEncoding::Utf16BE;
    QTest::newRow("UTF-16 LE without mark") << utf16le.mid(2) << TextEncoding::Utf16LE;
    QTest::newRow("Windows-1252") << cp1252 << TextEncoding::Windows1252;
    QTest::newRow("ISO-8859-1") << latin1 << TextEncoding::Latin1;
}

// Each encoding is told, and the file added to a Matroska and an MP4 output
// comes out with its umlauts, as the converter reads it back.
void SubtitlesTest::encodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QCOMPARE(detectTextEncoding(bytes), encoding);
    const QString expected = decodeText(bytes, encoding).section(u"\r\n"_s, 2, 2);
    QVERIFY(expected.startsWith(u"Grüße aus Köln"_s));

    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_');
    const QString file = path(tag + u".de.srt"_s);
    QVERIFY(write(file, bytes));
    QVERIFY(subtitleFileRefusal(file).isEmpty());
    const MediaFacts facts = probe(path(u"black.mp4"_s));
    QList<Job> jobs;
    for (const QString &container : {u"mkv"_s, u"mp4"_s}) {
        PanelSettings s = settingsFor(u"copy"_s);
        s.subtitleFiles << addedSubtitle(file);
        jobs << makeJob(s, path(u"black.mp4"_s), path(tag + u"."_s + container), facts);
    }
    for (const JobEnd &end : runJobs(jobs))
        QVERIFY2(end.outcome == RunOutcome::Success, qPrintable(end.reason + end.details));
    for (const QString &container : {u"mkv"_s, u"mp4"_s}) {
        const QString out = path(tag + u"."_s + container);
        QVERIFY2(subtitleText(out, 0).contains(expected), qPrintable(subtitleText(out, 0)));
        const MediaFacts made = probe(out);
        QCOMPARE(made.streams.last().language, u"ger"_s);
        QCOMPARE(made.streams.last().codec, container == u"mp4"_s ? u"mov_text"_s : u"subrip"_s);
    }
}

void SubtitlesTest::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("forced");
    QTest::newRow("639-1") << u"film.de.srt"_s << u"ger"_s << false;
    QTest::newRow("639-2 B") << u"film.ger.srt"_s << u"ger"_s << false;
    QTest::newRow("639-2 T, forced") << u"film.deu.forced.srt"_s << u"ger"_s << true;
    QTest::newRow("forced before") << u"film.forced.fr.ass"_s << u"fre"_s << true;
    QTest::newRow("name, upper case") << u"Der Film.English.SRT"_s << u"eng"_s << false;
    QTest::newRow("hearing impaired") << u"film.nld.sdh.vtt"_s << u"dut"_s << false;
    QTest::newRow("year is no language") << u"film.2023.srt"_s << QString() << false;
    QTest::newRow("no hint") << u"film.srt"_s << QString() << false;
    QTest::newRow("the film's own name") << u"de.srt"_s << QString() << false;
}

void SubtitlesTest::names()
{
    QFETCH(QString, name);
    QFETCH(QString, language);
    QFETCH(bool, forced);
    const SubtitleNameHints hints = subtitleNameHints(u"/v/"_s + name);
    QCOMPARE(hints.language, language);
    QCOMPARE(hints.forced, forced);
}

void SubtitlesTest::besideTheVideo()
{
    QTemporaryDir here;
    for (const QString &name : {u"film.mkv"_s, u"film.srt"_s, u"film.de.ass"_s, u"film.en.VTT"_s,
                                u"film.txt"_s, u"filmmusik.srt"_s, u"other.srt"_s})
        QVERIFY(write(here.filePath(name), "1\n"));
    QVERIFY(QDir(here.path()).mkdir(u"film.folder.srt"_s));
    QCOMPARE(subtitlesBeside(here.filePath(u"film.mkv"_s)),
             (QStringList{here.filePath(u"film.de.ass"_s), here.filePath(u"film.en.VTT"_s),
                          here.filePath(u"film.srt"_s)}));
    QCOMPARE(addedSubtitle(here.filePath(u"film.de.ass"_s)).language, u"ger"_s);
    QVERIFY(!subtitleFileRefusal(here.filePath(u"film.txt"_s)).isEmpty());
    QVERIFY(!subtitleFileRefusal(here.filePath(u"film.folder.srt"_s)).isEmpty());
}

// The real multi-track file (two audio tracks, a German text and a DVD
// subtitle) with a French file added: every kept track stays, the added one
// comes last with its language, title and forced mark, converted to what the
// output holds, and in time with a part of the file.
void SubtitlesTest::addedToJobs_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("subtitles");
    QTest::newRow("mkv, copied") << u"mkv"_s << u"copy"_s << QString() << u"subrip"_s << 2;
    QTest::newRow("mp4, h264") << u"mp4"_s << u"libx264"_s << QString() << u"mov_text"_s << 2;
    QTest::newRow("webm, vp9, part") << u"webm"_s << u"libvpx-vp9"_s << u"1"_s << u"webvtt"_s << 2;
    QTest::newRow("avi: left out") << u"avi"_s << u"mpeg4"_s << QString() << QString() << 0;
}

void SubtitlesTest::addedToJobs()
{
    QFETCH(QString, container);
    QFETCH(QString, video);
    QFETCH(QString, from);
    QFETCH(QString, codec);
    QFETCH(int, subtitles);
    const QString movie = path(u"movie.mkv"_s);
    const QString added = path(u"Film, Teil 1.fra.forced.srt"_s);
    QVERIFY(write(added, srt(u"Très bien, ça marche"_s, u"00:00:01,500"_s, u"00:00:02,500"_s)));
    const MediaFacts facts = probe(movie);
    QCOMPARE(facts.streams.size(), 5);
    PanelSettings s = settingsFor(video, container == u"webm"_s ? u"libopus"_s : u"aac"_s);
    s.rangeFrom = from;
    s.subtitleFiles << addedSubtitle(added);
    s.subtitleFiles.last().title = u"Französisch, erzwungen"_s;
    const QString out =
        path(u"added-"_s + QString::fromLatin1(QTest::currentDataTag()).left(3) + u'.' + container);
    QCOMPARE(subtitleProblems(s, facts, container).isEmpty(), subtitles > 0);
    const Job job = makeJob(s, movie, out, facts);
    QVERIFY(checkWrites(job, jobWorkFolder(job)).reason.isEmpty());
    const QList<JobEnd> ends = runJobs({job});
    QCOMPARE(ends.size(), 1);
    QVERIFY2(ends[0].outcome == RunOutcome::Success,
             qPrintable(job.text() + u'\n' + ends[0].reason + ends[0].details));
    const MediaFacts made = probe(out);
    QList<const StreamFacts *> subs;
    for (const StreamFacts &st : made.streams)
        if (st.kind == StreamFacts::Kind::Subtitle)
            subs << &st;
    QCOMPARE(subs.size(), subtitles);
    if (subtitles == 0)
        return;
    QCOMPARE(subs.last()->codec, codec);
    QCOMPARE(subs.last()->language, u"fre"_s);
    if (container != u"webm"_s)
        QCOMPARE(subs.last()->title, u"Französisch, erzwungen"_s);
    // 1.5 s into the file: at 0.5 s of a part from 1 s.
    const QString cue = subtitleText(out, subtitles - 1);
    QVERIFY2(cue.contains(u"Très bien, ça marche"_s), qPrintable(cue));
    // In time with the picture, wherever the converter lets the output begin (a
    // source subtitle that began before the part moves the start of all streams).
    const double start = cueStart(cue) - videoStart(out);
    QVERIFY2(std::abs(start - (from.isEmpty() ? 1.5 : 0.5)) < 0.1, qPrintable(cue + job.text()));
}

void SubtitlesTest::burnIn_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("from"); // BurnIn::From
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("rangeFrom");
    QTest::addColumn<double>("shownAt");  // seconds into the output: drawn
    QTest::addColumn<double>("hiddenAt"); // not drawn
    // ASS in Matroska with its font attached, no font on the system: only the
    // attachment can draw it.
    QTest::newRow("ASS, attached font")
        << u"fonted.mkv"_s << int(BurnIn::From::Source) << 2 << QString() << 1.2 << 0.4;
    QTest::newRow("ASS, name to escape")
        << u"it's: [a], b; c\\d.mkv"_s << int(BurnIn::From::Source) << 2 << QString() << 1.2 << 0.4;
    QTest::newRow("ASS, no font: nothing")
        << u"fontless.mkv"_s << int(BurnIn::From::Source) << 2 << QString() << -1.0 << 1.2;
    QTest::newRow("ASS, attached font, part")
        << u"fonted.mkv"_s << int(BurnIn::From::Source) << 2 << u"1"_s << 0.3 << 1.6;
    QTest::newRow("DVD subtitle") << u"movie.mkv"_s << int(BurnIn::From::Source) << 4 << QString() << 1.0
                                  << 2.2;
    // Shown from 0.5 s to 1.5 s: from 0.2 s to 1.2 s of a part from 0.3 s.
    QTest::newRow("DVD subtitle, part")
        << u"movie.mkv"_s << int(BurnIn::From::Source) << 4 << u"0:00:00.3"_s << 0.4 << 1.4;
    QTest::newRow("added file, part")
        << u"black.mp4"_s << int(BurnIn::From::Added) << 0 << u"1"_s << 0.7 << 1.5;
}

void SubtitlesTest::burnIn()
{
    QFETCH(QString, source);
    QFETCH(int, from);
    QFETCH(int, index);
    QFETCH(QString, rangeFrom);
    QFETCH(double, shownAt);
    QFETCH(double, hiddenAt);
    const QByteArray ass = "[Script Info]\nScriptType: v4.00+\nPlayResX: 160\nPlayResY: 120\n\n[V4+ Styles]\n"
                           "Format: Name, Fontname, Fontsize, PrimaryColour, Bold, Alignment, MarginV\n"
                           "Style: Default,DejaVu Sans,40,&H00FFFFFF,0,5,10\n\n[Events]\n"
                           "Format: Layer, Start, End, Style, Text\n"
                           "Dialogue: 0,0:00:01.00,0:00:02.00,Default,Ölfeld\n";
    if (!QFileInfo::exists(path(u"fonted.mkv"_s))) {
        QVERIFY(write(path(u"s.ass"_s), ass));
        const QString font = u"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"_s;
        if (!QFileInfo::exists(font))
            QSKIP("fonts-dejavu-core is needed for the font attached to a Matroska file");
        const QStringList both{u"-y"_s, u"-v"_s,          u"error"_s, u"-i"_s, path(u"black.mp4"_s),
                               u"-i"_s, path(u"s.ass"_s), u"-map"_s,  u"0"_s,  u"-map"_s,
                               u"1"_s,  u"-c"_s,          u"copy"_s};
        QVERIFY(run(both + QStringList{u"-attach"_s, font, u"-metadata:s:t"_s,
                                       u"mimetype=application/x-truetype-font"_s, path(u"fonted.mkv"_s)}));
        QVERIFY(run(both + QStringList{path(u"fontless.mkv"_s)}));
    }
    if (source.startsWith(u"it's"_s) && !QFileInfo::exists(path(source)))
        QVERIFY(QFile::copy(path(u"fonted.mkv"_s), path(source)));
    // No fonts but the attached ones.
    QVERIFY(write(path(u"fonts.conf"_s), "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" +
                                             path(u"fontcache"_s).toUtf8() + "</cachedir></fontconfig>\n"));
    qputenv("FONTCONFIG_FILE", path(u"fonts.conf"_s).toUtf8());

    PanelSettings s = settingsFor(u"libx264"_s, u"aac"_s);
    s.rangeFrom = rangeFrom;
    s.burnIn = {BurnIn::From(from), index};
    if (s.burnIn.from == BurnIn::From::Added) {
        QVERIFY(write(path(u"burn it's [1], ok.ass"_s), ass));
        s.subtitleFiles << addedSubtitle(path(u"burn it's [1], ok.ass"_s));
        QVERIFY(write(path(u"fonts.conf"_s),
                      "<?xml version=\"1.0\"?>\n<fontconfig><dir>/usr/share/fonts/truetype/dejavu"
                      "</dir><cachedir>" +
                          path(u"fontcache"_s).toUtf8() + "</cachedir></fontconfig>\n"));
    }
    const MediaFacts facts = probe(path(source));
    const QString out =
        path(u"burned-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".mkv"_s);
    const Job job = makeJob(s, path(source), out, facts);
    const QList<JobEnd> ends = runJobs({job});
    qunsetenv("FONTCONFIG_FILE");
    QCOMPARE(ends.size(), 1);
    QVERIFY2(ends[0].outcome == RunOutcome::Success, qPrintable(job.text() + u'\n' + ends[0].details));
    // The burned track is not kept as a track as well.
    const MediaFacts made = probe(out);
    for (const StreamFacts &st : made.streams)
        QVERIFY2(st.kind != StreamFacts::Kind::Subtitle || st.codec != facts.streams.value(index).codec ||
                     s.burnIn.from == BurnIn::From::Added || source != u"fonted.mkv"_s,
                 "the burned track was kept");
    // Seconds of the picture: a source subtitle kept from before the part makes
    // the output begin earlier than its picture.
    const double picture = videoStart(out);
    if (shownAt >= 0)
        QVERIFY2(brightPixels(out, picture + shownAt) > 20, qPrintable(job.text()));
    QCOMPARE(brightPixels(out, picture + hiddenAt), 0);

    // With the picture copied nothing can be drawn: the question says so.
    OutputFacts copied =
        outputFacts(makeJob(settingsFor(u"copy"_s), path(source), out, facts).runs.first(), {});
    copied.burnIn = true;
    QVERIFY(!findProblems(copied).isEmpty());
}

void SubtitlesTest::joins_data()
{
    QTest::addColumn<QStringList>("clips"); // size@rate/sample rate/audio tracks
    QTest::addColumn<QString>("video");
    QTest::addColumn<bool>("reencoded");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<int>("audioTracks");
    QTest::newRow("matching, copied")
        << QStringList{u"160x120@25/44100/1"_s, u"160x120@25/44100/1"_s, u"160x120@25/44100/1"_s} << u"copy"_s
        << false << false << 1;
    QTest::newRow("different sizes and rates")
        << QStringList{u"160x120@25/44100/1"_s, u"320x240@30/48000/1"_s} << u"libx264"_s << true << false
        << 1;
    QTest::newRow("different audio tracks")
        << QStringList{u"160x120@25/44100/2"_s, u"160x120@25/44100/1"_s} << u"libx264"_s << true << true << 2;
}

void SubtitlesTest::joins()
{
    QFETCH(QStringList, clips);
    QFETCH(QString, video);
    QFETCH(bool, reencoded);
    QFETCH(bool, asks);
    QFETCH(int, audioTracks);
    QStringList files;
    QList<MediaFacts> facts;
    double sum = 0;
    for (qsizetype i = 0; i < clips.size(); ++i) {
        const QStringList p = clips[i].split(u'/');
        const QString size = p[0].section(u'@', 0, 0), rate = p[0].section(u'@', 1, 1);
        const double seconds = 1 + 0.5 * double(i);
        QStringList args{u"-y"_s,
                         u"-v"_s,
                         u"error"_s,
                         u"-f"_s,
                         u"lavfi"_s,
                         u"-i"_s,
                         u"testsrc=size=%1:rate=%2:duration=%3"_s.arg(size, rate).arg(seconds)};
        for (int a = 0; a < p[2].toInt(); ++a)
            args << u"-f"_s << u"lavfi"_s << u"-i"_s
                 << u"sine=duration=%1:sample_rate=%2:frequency=%3"_s.arg(seconds).arg(p[1]).arg(440 +
                                                                                                 220 * a);
        for (int a = 0; a <= p[2].toInt(); ++a)
            args << u"-map"_s << QString::number(a);
        files << path(
            u"teil '%1' [%2].mp4"_s.arg(QString::fromLatin1(QTest::currentDataTag()).left(4)).arg(i));
        QVERIFY(run(args + QStringList{u"-c:v"_s, u"libx264"_s, u"-pix_fmt"_s, u"yuv420p"_s, u"-c:a"_s,
                                       u"aac"_s, files.last()}));
        facts << probe(files.last());
        sum += seconds;
    }
    PanelSettings s = settingsFor(video, video == u"copy"_s ? u"copy"_s : u"aac"_s);
    s.originalSize = true;
    QCOMPARE(joinDifference(facts).isEmpty(), !reencoded);
    QCOMPARE(joinQuestion(files, facts).ask, asks);
    QVERIFY(joinRefusal(s, files, facts).isEmpty());
    // Copied video cannot join files that differ: refused with the reason.
    if (reencoded)
        QVERIFY(joinRefusal(settingsFor(u"copy"_s), files, facts).contains(u"neu kodiert"_s));
    const QString out = path(u"joined-%1.mkv"_s.arg(QString::fromLatin1(QTest::currentDataTag()).left(4)));
    const Job job = joinJob(s, files, facts, out);
    QCOMPARE(job.input, files.first());
    QCOMPARE(job.joinedInputs, files);
    QCOMPARE(job.runs.first().contains(u"concat"_s), !reencoded);

    // No run writes onto a file it reads: not the list's files either.
    Job ontoInput = job;
    ontoInput.runs.last().last() = files.last();
    QVERIFY(checkWrites(ontoInput, jobWorkFolder(ontoInput)).refused);

    // Progress over the sum of the lengths.
    JobRunner runner;
    double total = 0;
    int percent = 0;
    connect(&runner, &JobRunner::outputArrived, this, [&](int lane) {
        const ProgressReading reading = runner.readProgress(lane);
        total = runner.parser(lane).totalSeconds();
        percent = std::max(percent, reading.percent.value_or(0));
    });
    const QList<JobEnd> ends = runJobs({job}, &runner);
    QCOMPARE(ends.size(), 1);
    QVERIFY2(ends[0].outcome == RunOutcome::Success, qPrintable(job.text() + u'\n' + ends[0].details));
    QVERIFY2(std::abs(total - sum) < 0.2, qPrintable(QString::number(total)));
    QVERIFY2(percent >= 50, qPrintable(QString::number(percent)));

    const MediaFacts made = probe(out);
    QVERIFY2(std::abs(made.durationSeconds - sum) < 0.25, qPrintable(QString::number(made.durationSeconds)));
    int audio = 0;
    for (const StreamFacts &st : made.streams) {
        audio += st.kind == StreamFacts::Kind::Audio;
        if (st.kind == StreamFacts::Kind::Video)
            QCOMPARE(st.width, 160);
    }
    QCOMPARE(audio, audioTracks);
}

// A join and a job with subtitle files keep their inputs and work files in the
// extended list form (its newest version); plain lists stay as they were.
void SubtitlesTest::joinedJobsStored()
{
    MediaFacts facts;
    facts.valid = true;
    facts.durationSeconds = 2;
    StreamFacts video;
    video.kind = StreamFacts::Kind::Video;
    video.codec = u"h264"_s;
    facts.streams << video;
    Job join = joinJob(settingsFor(u"copy"_s), {u"/v/a, 1.mp4"_s, u"/v/it's.mp4"_s}, {facts, facts},
                       u"/v/out.mp4"_s);
    QCOMPARE(join.inputSeconds, 4.0);
    QCOMPARE(QString::fromUtf8(join.workFiles.first().content),
             u"file '/v/a, 1.mp4'\nfile '/v/it'\\''s.mp4'\n"_s);
    PanelSettings s = settingsFor(u"copy"_s);
    s.subtitleFiles << AddedSubtitle{u"/v/film.de.srt"_s, u"ger"_s, QString(), false};
    const Job subtitled = makeJob(s, u"/v/film.mp4"_s, u"/v/film.mkv"_s, facts);
    QCOMPARE(subtitled.readsBesideRuns(), QStringList{u"/v/film.de.srt"_s});
    const Job plain = Job::fromText(u"-y,-i,/v/a.avi,/v/a.mpg"_s);

    bool extended = false;
    QByteArray content = batchListContent({plain, join, subtitled}, &extended);
    QVERIFY(extended);
    QVERIFY(content.startsWith("#QUORVID-BATCHLISTE 4\n"));
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const BatchList read = readBatchList(buffer);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.jobs, (QList<Job>{plain, join, subtitled}));
    QCOMPARE(read.jobs[1].input, u"/v/a, 1.mp4"_s);
    QCOMPARE(batchListContent({plain}), QByteArray("-y,-i,/v/a.avi,/v/a.mpg\n"));
}

void SubtitlesTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments"); // {dir} is the test's folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("streams"); // codec:language of each stream
    QTest::newRow("--subtitles") << QStringList{u"{dir}/cli/film.mp4"_s, u"--subtitles"_s,
                                                u"{dir}/cli/anders.fra.srt"_s, u"--output-dir"_s,
                                                u"{dir}/out1"_s}
                                 << 0 << u"out1/film.mp4"_s << u"h264: aac: mov_text:fre"_s;
    QTest::newRow("preset: beside") << QStringList{u"{dir}/cli/film.mp4"_s, u"--preset"_s, u"Daneben"_s,
                                                   u"--output-dir"_s, u"{dir}/out2"_s}
                                    << 0 << u"out2/film.mp4"_s << u"h264: aac: mov_text:ger mov_text:eng"_s;
    QTest::newRow("--join, in the given order")
        << QStringList{u"{dir}/cli/zwei.mp4"_s, u"{dir}/cli/film.mp4"_s, u"--join"_s, u"--preset"_s,
                       u"Daneben"_s}
        << 0 << u"cli/zwei-verbunden.mp4"_s << u"h264: aac:"_s;
    QTest::newRow("--subtitles, two files") << QStringList{u"{dir}/cli/film.mp4"_s, u"{dir}/cli/zwei.mp4"_s,
                                                           u"--subtitles"_s, u"{dir}/cli/anders.fra.srt"_s}
                                            << 2 << QString() << QString();
    QTest::newRow("--subtitles, no text")
        << QStringList{u"{dir}/cli/film.mp4"_s, u"--subtitles"_s, u"{dir}/cli/film.mp4"_s} << 2 << QString()
        << QString();
    QTest::newRow("--join, one file")
        << QStringList{u"{dir}/cli/film.mp4"_s, u"--join"_s} << 2 << QString() << QString();
}

void SubtitlesTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, streams);
    const QString cli = path(u"cli"_s);
    if (!QFileInfo::exists(cli)) {
        QVERIFY(QDir().mkpath(cli));
        QVERIFY(QFile::copy(path(u"black.mp4"_s), cli + u"/film.mp4"_s));
        QVERIFY(QFile::copy(path(u"black.mp4"_s), cli + u"/zwei.mp4"_s));
        QVERIFY(write(cli + u"/film.de.srt"_s, QByteArray("1\r\n00:00:00,000 --> 00:00:01,000\r\nGr\xFC\xDF"
                                                          "e\r\n")));
        QVERIFY(write(cli + u"/film.en.ass"_s,
                      "[Script Info]\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, Fontname, Fontsize\n"
                      "Style: Default,Sans,20\n\n[Events]\nFormat: Layer, Start, End, Style, Text\n"
                      "Dialogue: 0,0:00:00.00,0:00:01.00,Default,Hello\n"));
        QVERIFY(write(cli + u"/anders.fra.srt"_s, srt(u"Bonjour"_s)));
        // A preset of the user's that takes the subtitle files beside each file.
        Preset beside{u"Daneben"_s, false, settingsFor(u"libx264"_s, u"aac"_s)};
        beside.settings.originalSize = true;
        beside.settings.quality = defaultQualityIndex;
        beside.settings.subtitlesBeside = true;
        QString reason;
        QVERIFY(presetFromJson(presetToJson(beside), &reason)->settings.subtitlesBeside);
        QVERIFY2(savePreset(userPresetFolder(), beside).isEmpty(), qPrintable(userPresetFolder()));
    }
    QStringList call{u"--convert"_s};
    for (const QString &argument : arguments)
        call << QString(argument).replace(u"{dir}"_s, dir.path());
    QProcess quorvid;
    quorvid.start(QStringLiteral(QUORVID_BINARY), call);
    QVERIFY(quorvid.waitForFinished(120000));
    const QString said = QString::fromUtf8(quorvid.readAllStandardOutput() + quorvid.readAllStandardError());
    QVERIFY2(quorvid.exitCode() == status, qPrintable(said));
    if (output.isEmpty())
        return;
    const MediaFacts made = probe(path(output));
    QStringList found;
    for (const StreamFacts &st : made.streams)
        found << st.codec + u':' + st.language;
    QCOMPARE(found.join(u' '), streams);
    if (streams.contains(u"mov_text:ger"_s))
        QVERIFY(subtitleText(path(output), 0).contains(u"Grüße"_s));
    if (output.contains(u"verbunden"_s))
        QVERIFY2(std::abs(made.durationSeconds - 6) < 0.2, qPrintable(QString::number(made.durationSeconds)));
}

QTEST_GUILESS_MAIN(SubtitlesTest)
#include "tst_subtitles.moc"
