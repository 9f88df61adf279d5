// The write check: jobs Quorvid makes always pass it; runs that would write a file
// their job reads, or whose writes cannot be told, never start, on any face.
#include <QtTest>
#include <QtWidgets>

#include <sys/stat.h>
#include <unistd.h>

#include "arguments.h"
#include "batchfile.h"
#include "codecs.h"
#include "makejob.h"
#include "presets.h"
#include "quorvid.h"
#include "runfiles.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PanelSettings)

class RunFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void ownJobsPass_data();
    void ownJobsPass();
    void checkedRuns_data();
    void checkedRuns();
    void refusedThroughRun();
    void refusedInWindow();
};

namespace {
// A source with a picture, two languages and a subtitle, two minutes long.
MediaFacts movieFacts()
{
    MediaFacts facts;
    facts.valid = true;
    facts.durationSeconds = 120;
    StreamFacts video;
    video.kind = StreamFacts::Kind::Video;
    video.codec = u"h264"_s;
    video.width = 1280;
    video.height = 720;
    video.pixelFormat = u"yuv420p"_s;
    facts.streams << video;
    for (int i = 1; i <= 2; ++i) {
        StreamFacts audio;
        audio.index = i;
        audio.kind = StreamFacts::Kind::Audio;
        audio.codec = u"aac"_s;
        audio.channels = 2;
        audio.bitRateKbps = 128;
        facts.streams << audio;
    }
    StreamFacts subtitle;
    subtitle.index = 3;
    subtitle.kind = StreamFacts::Kind::Subtitle;
    subtitle.codec = u"subrip"_s;
    facts.streams << subtitle;
    return facts;
}
} // namespace

void RunFilesTest::ownJobsPass_data()
{
    QTest::addColumn<PanelSettings>("settings");
    for (int video = 0; video < videoCodecs().size(); ++video) {
        PanelSettings settings;
        settings.videoCodec = video;
        settings.originalSize = videoCodec(video).modern;
        settings.audioCodec = video % audioCodecs().size();
        QTest::addRow("video %s", qPrintable(videoCodecs()[video].encoder)) << settings;
        // A part, a size (two passes where the codec has them), a track choice.
        settings.rangeFrom = u"00:01:00"_s;
        settings.rangeTo = u"00:02:00"_s;
        QTest::addRow("part %s", qPrintable(videoCodecs()[video].encoder)) << settings;
        if (videoCodec(video).modern) {
            settings.audioCodec = 5; // aac: a lossless sound would not fit the size
            settings.targetSizeMB = 20;
            settings.quality = targetSizeQualityIndex;
            QTest::addRow("size %s", qPrintable(videoCodecs()[video].encoder)) << settings;
            settings.trackChecks = {{1, false}, {2, true}, {3, true}};
            QTest::addRow("size and tracks %s", qPrintable(videoCodecs()[video].encoder)) << settings;
        }
    }
    for (int audio = 0; audio < audioCodecs().size(); ++audio) {
        PanelSettings settings;
        settings.videoOn = false;
        settings.audioCodec = audio;
        QTest::addRow("audio %s", qPrintable(audioCodecs()[audio].encoder)) << settings;
    }
    for (const Preset &preset : builtInPresets()) {
        QTest::addRow("preset %s", qPrintable(preset.name)) << preset.settings;
        PanelSettings sized = preset.settings;
        sized.targetSizeMB = 8;
        sized.quality = targetSizeQualityIndex;
        sized.sizeIsLimit = false;
        QTest::addRow("preset %s to a size", qPrintable(preset.name)) << sized;
    }
}

void RunFilesTest::ownJobsPass()
{
    QFETCH(PanelSettings, settings);
    QTemporaryDir folder;
    const QString input = folder.filePath(u"Film (1).mkv"_s);
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    file.close();
    const MediaFacts facts = movieFacts();
    const QString suffix = settings.videoOn && settings.videoCodec == 9 ? u".webm"_s : u".mkv"_s;
    const QString target = proposeOutputName(input, QString(), settings.videoCodec == 0 ? QString() : suffix);
    const QString refusal = jobRefusal(settings, facts, target);
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    const Job job = makeJob(settings, input, target, facts);

    const WriteVerdict verdict = checkWrites(job, jobWorkFolder(job));
    QVERIFY2(!verdict.refused, qPrintable(verdict.reason + u"\n"_s + job.text()));
    // A limit keeps the passes for a file that came out too large.
    QCOMPARE(!job.limitRuns.isEmpty(), settings.sizeIsLimit);
    // The check saw the job as it is: its input read, its output written, and the
    // first pass's statistics written where there are two.
    const QList<QStringList> &runs = job.limitRuns.isEmpty() ? job.runs : job.limitRuns;
    const RunFiles last = runFiles(runs.last(), jobWorkFolder(job));
    QVERIFY(std::any_of(last.reads.cbegin(), last.reads.cend(),
                        [&](const FileUse &u) { return u.path == input; }));
    QVERIFY(std::any_of(last.writes.cbegin(), last.writes.cend(),
                        [&](const FileUse &u) { return u.path == target; }));
    if (runs.size() > 1) {
        const RunFiles first = runFiles(runs.first(), jobWorkFolder(job));
        QVERIFY2(std::any_of(first.writes.cbegin(), first.writes.cend(),
                             [](const FileUse &u) { return !u.pattern.isEmpty(); }),
                 qPrintable(job.text()));
    }
}

void RunFilesTest::checkedRuns_data()
{
    // Runs in a folder holding a.mp4 ... g.mp4 (DIR, also the working folder), and
    // what the refusal says; empty: the job may run.
    QTest::addColumn<QStringList>("runs"); // a job's runs, each its words parted by " "
    QTest::addColumn<QString>("refusal");
    const auto row = [](const char *name, std::initializer_list<QString> runs, const QString &refusal) {
        QTest::newRow(name) << QStringList(runs) << refusal;
    };
    row("second output is the input", {u"-y -i DIR/b.mp4 -c copy DIR/out.mp4 -c copy DIR/./b.mp4"_s},
        u"Die Ausgabe „DIR/b.mp4“ ist dieselbe Datei wie die Eingabe (-i) „DIR/b.mp4“"_s);
    row("output is the second input", {u"-y -i DIR/c.mp4 -i DIR/d.mp4 -map 0 -map 1 -c copy ./d.mp4"_s},
        u"Die Ausgabe „DIR/d.mp4“ ist dieselbe Datei wie die Eingabe (-i) „DIR/d.mp4“"_s);
    row("tee slave", {u"-y -i DIR/e.mp4 -map 0 -c copy -f tee [f=mp4]DIR/./e.mp4|[f=null]-"_s},
        u"Ein Ziel von -f tee „DIR/e.mp4“"_s);
    row("filter writes", {u"-y -i DIR/f.mp4 -vf metadata=mode=print:file=DIR/f.mp4 DIR/out.mp4"_s},
        u"Der Filter metadata (file) in -vf „DIR/f.mp4“"_s);
    row("filter writes, quoted",
        {u"-y -i DIR/f.mp4 -filter_complex [0:v]split[a][b];[a]metadata=print:file='DIR/f.mp4'[c] -map [c] x.mp4"_s},
        u"Der Filter metadata (file) in -filter_complex"_s);
    row("first run onto input",
        {u"-y -i DIR/g.mp4 -c copy DIR/./g.mp4 -pass 1 -f null /dev/null"_s,
         u"-y -i DIR/g.mp4 DIR/out.mp4"_s},
        u"Lauf 1 von 2: Die Ausgabe „DIR/g.mp4“"_s);
    row("hard link", {u"-y -i DIR/a.mp4 DIR/hard.mp4"_s}, u"„DIR/hard.mp4“ ist dieselbe Datei"_s);
    row("symbolic link", {u"-y -i DIR/a.mp4 DIR/soft.mp4"_s}, u"„DIR/soft.mp4“ ist dieselbe Datei"_s);
    row("linked folder", {u"-y -i DIR/a.mp4 DIR/folder/a.mp4"_s}, u"ist dieselbe Datei"_s);
    row("unknown option", {u"-y -i DIR/a.mp4 -bogus 1 DIR/out.mp4"_s},
        u"Die Option „-bogus“ kennt ffmpeg nicht"_s);
    row("http", {u"-y -i DIR/a.mp4 -f mpegts http://127.0.0.1:9/x"_s}, u"über das Protokoll „http“"_s);
    row("tcp", {u"-y -i DIR/a.mp4 -f tee [f=mpegts]tcp://127.0.0.1:9|DIR/out.ts"_s}, u"Protokoll „tcp“"_s);
    row("numbered pictures", {u"-y -i DIR/img007.png DIR/img%03d.png"_s}, u"kann die Eingabe (-i)"_s);
    row("segments", {u"-y -i DIR/part12.ts -f segment DIR/part%d.ts"_s}, u"„DIR/part%d.ts“ kann"_s);
    row("hls segments", {u"-y -i DIR/list3.ts DIR/list.m3u8"_s}, u"Die Segmente von -f hls"_s);
    row("dash beside the input", {u"-y -i DIR/a.mp4 -f dash DIR/out.mpd"_s}, u"(-f dash)"_s);
    row("pass statistics", {u"-y -i DIR/p-0.log -pass 1 -passlogfile DIR/p -f null -"_s}, u"-passlogfile"_s);
    row("x265 statistics", {u"-y -i DIR/a.mp4 -x265-params pass=1:stats=DIR/a.mp4 -f null -"_s},
        u"-x265-params (stats)"_s);
    row("progress", {u"-y -i DIR/a.mp4 -progress DIR/a.mp4 DIR/out.mp4"_s}, u"Die Option -progress"_s);
    row("statistics file", {u"-y -vstats_file DIR/a.mp4 -i DIR/a.mp4 DIR/out.mp4"_s}, u"-vstats_file"_s);
    row("sdp", {u"-y -i DIR/a.mp4 -sdp_file DIR/a.mp4 -f null -"_s}, u"-sdp_file"_s);
    row("report", {u"-report -i DIR/ffmpeg-20240101-120000.log DIR/out.mp4"_s}, u"Der Bericht"_s);
    row("movie source", {u"-y -f lavfi -i movie=DIR/a.mp4 DIR/a.mp4"_s}, u"der Filter movie (filename)"_s);
    row("ssim by position", {u"-y -i DIR/a.mp4 -i DIR/b.mp4 -lavfi ssim=DIR/b.mp4 -f null -"_s}, u"ssim"_s);
    row("attachment", {u"-y -i DIR/a.mp4 -attach DIR/b.mp4 -vstats_file DIR/b.mp4 DIR/out.mkv"_s},
        u"die Option -attach"_s);
    row("filter script writes", {u"-y -i DIR/a.mp4 -filter_script:v DIR/graph.txt DIR/out.mp4"_s},
        u"Der Filter metadata (file) in -filter_script „DIR/a.mp4“"_s);
    row("filter script is a FIFO", {u"-y -i DIR/a.mp4 -filter_script DIR/fifo DIR/out.mp4"_s},
        u"Das Filterskript „DIR/fifo“ lässt sich nicht lesen"_s);
    row("file of a concat list", {u"-y -f concat -safe 0 -i DIR/list.txt -c copy DIR/./c.mp4"_s},
        u"die Liste von -f concat „DIR/c.mp4“"_s);
    row("attachment dumped by its own name", {u"-dump_attachment:t  -i DIR/a.mkv -f null -"_s},
        u"-dump_attachment"_s);

    row("plain job",
        {u"-y -i DIR/a.mp4 -vcodec mpeg4 -s 320x240 -b 8000k -acodec libmp3lame DIR/a-Kopie.mp4"_s},
        QString());
    row("first pass to nothing",
        {u"-y -i DIR/a.mp4 -c:v libx264 -pass 1 -passlogfile DIR/stats -an -f null /dev/null"_s,
         u"-y -i DIR/a.mp4 -c:v libx264 -pass 2 -passlogfile DIR/stats DIR/out.mp4"_s},
        QString());
    row("stream options",
        {u"-nostdin -y -i DIR/a.mp4 -map 0 -c:v:0 libx264 -b:a:1 96k -disposition:s:0 default "
         "-metadata:s:a:0 language=ger -vb 1M -movflags +faststart -x264-params keyint=50 -f mp4 "
         "pipe:1"_s},
        QString());
    row("filter writes elsewhere",
        {u"-y -i DIR/a.mp4 -vf metadata=mode=print:file=DIR/meta.txt DIR/out.mp4"_s}, QString());
    row("tee elsewhere", {u"-y -i DIR/a.mp4 -f tee [f=mp4]DIR/t1.mp4|[f=matroska]file:DIR/t2.mkv"_s},
        QString());
    row("pictures elsewhere", {u"-y -i DIR/a.mp4 DIR/img%03d.png"_s}, QString());
}

void RunFilesTest::checkedRuns()
{
    QFETCH(QStringList, runs);
    QFETCH(QString, refusal);
    QTemporaryDir folder;
    const QString dir = folder.path();
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4", "e.mp4", "f.mp4", "g.mp4", "a.mkv"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(::link(QFile::encodeName(folder.filePath(u"a.mp4"_s)).constData(),
                   QFile::encodeName(folder.filePath(u"hard.mp4"_s)).constData()) == 0);
    QVERIFY(QFile::link(folder.filePath(u"a.mp4"_s), folder.filePath(u"soft.mp4"_s)));
    QVERIFY(QFile::link(dir, folder.filePath(u"folder"_s)));
    QVERIFY(::mkfifo(QFile::encodeName(folder.filePath(u"fifo"_s)).constData(), 0600) == 0);
    for (const auto &[name, text] : {std::pair(u"graph.txt"_s, u"null,metadata=print:file=DIR/a.mp4"_s),
                                     std::pair(u"list.txt"_s, u"file 'b.mp4'\nfile 'c.mp4'\n"_s)}) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write(QString(text).replace(u"DIR"_s, dir).toUtf8()) > 0);
    }

    QList<QStringList> words;
    for (const QString &run : runs)
        words << QString(run).replace(u"DIR"_s, dir).split(u' ');
    const Job job = Job::fromRuns(words);
    const QString workFolder = job.runs.size() > 1 ? jobWorkFolder(job) : dir;
    const WriteVerdict verdict = checkWrites(job, workFolder);
    QCOMPARE(verdict.refused, !refusal.isEmpty());
    QVERIFY2(verdict.reason.contains(QString(refusal).replace(u"DIR"_s, dir)), qPrintable(verdict.reason));
    QVERIFY(!verdict.sameAsInput || verdict.reason.contains(job.input));
    // The same verdict for the same job.
    QCOMPARE(checkWrites(job, workFolder).reason, verdict.reason);
}

void RunFilesTest::refusedThroughRun()
{
    // A list whose first job writes onto its input as a second output: the real
    // converter would cut it. --run names it, starts the job after it, and fails.
    QTemporaryDir folder;
    const QString input = folder.filePath(u"b.mp4"_s);
    QVERIFY(makeClip(input, 1));
    QFile source(input);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray before = source.readAll();
    source.close();
    const QString list = folder.filePath(u"liste.btc"_s);
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const Job hostile =
        Job::fromRuns({{u"-y"_s, u"-i"_s, input, u"-c"_s, u"copy"_s, folder.path() + u"/./b.mp4"_s, u"-c"_s,
                        u"copy"_s, folder.filePath(u"out.mp4"_s)}});
    const Job fine =
        Job::fromRuns({{u"-y"_s, u"-i"_s, input, u"-c"_s, u"copy"_s, folder.filePath(u"fine.mp4"_s)}});
    file.write(extendedFormMarker.toUtf8() + '\n' + extendedJobLine(hostile) + '\n' + extendedJobLine(fine) +
               '\n');
    file.close();

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), {u"--run"_s, list, u"--keep-going"_s, u"--overwrite"_s});
    QVERIFY(run.waitForFinished(60000));
    const QString out = QString::fromUtf8(run.readAllStandardOutput());
    QCOMPARE(run.exitCode(), 1);
    QVERIFY2(out.contains(u"[1/2] VERWEIGERT"_s) && out.contains(u"Die Ausgabe „%1“"_s.arg(input)),
             qPrintable(out));
    QVERIFY2(out.contains(u"[2/2] OK"_s), qPrintable(out));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QCOMPARE(source.readAll(), before);
    QVERIFY(!QFileInfo::exists(folder.filePath(u"out.mp4"_s)));
}

void RunFilesTest::refusedInWindow()
{
    // A loaded list whose job writes onto its input through a filter: Start shows
    // a box naming the reason, the row says so, and nothing is started.
    QTemporaryDir folder;
    const QString input = folder.filePath(u"f.mp4"_s);
    QFile(input).open(QIODevice::WriteOnly);
    const Job hostile =
        Job::fromRuns({{u"-y"_s, u"-i"_s, input, u"-vf"_s, u"metadata=mode=print:file="_s + input,
                        folder.filePath(u"out.mp4"_s)}});
    const QString list = folder.filePath(u"liste.btc"_s);
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(extendedFormMarker.toUtf8() + '\n' + extendedJobLine(hostile) + '\n');
    file.close();

    AnnouncedBoxes noSurprises;
    MainWindow window;
    ModalAnswerer load;
    load.answerFile(list);
    QMetaObject::invokeMethod(&window, "batchLoad");
    QVERIFY(load.waitAll());
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    QCOMPARE(table->rowCount(), 1);

    ModalAnswerer start;
    start.clickBox(QMessageBox::Ok);
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    QVERIFY(start.waitAll());
    QVERIFY2(start.seen.first().text.contains(u"Der Filter metadata (file) in -vf"_s),
             qPrintable(start.seen.first().text));
    QVERIFY(table->item(0, 1));
    QCOMPARE(table->item(0, 1)->text(), u"Verweigert"_s);
    QVERIFY(table->item(0, 1)->toolTip().contains(input));
    QVERIFY(!QFileInfo::exists(folder.filePath(u"out.mp4"_s)));
    QVERIFY(window.findChild<QPushButton *>(u"batchConvertButton"_s)->isEnabled());
}

QTEST_MAIN(RunFilesTest)
#include "tst_runfiles.moc"
