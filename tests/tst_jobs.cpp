// Jobs as lists of converter runs: the two list forms and the recovery file with
// names the job text cannot hold, the one runner under the window and the run
// without a window, and names with commas converted for real.
#include <QtTest>
#include <QtWidgets>

#include "batchfile.h"
#include "codecs.h"
#include "interlace.h"
#include "jobrunner.h"
#include "makejob.h"
#include "quorvid.h"
#include "recovery.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
Job oneRun(const QString &input, const QString &output)
{
    return Job::fromRuns({{u"-y"_s, u"-i"_s, input, u"-vcodec"_s, u"copy"_s, output}});
}

// Jobs written as "in>out" pairs parted by "|"; "2:" before a pair makes a job of
// two runs (a first pass to /dev/null, then the output).
QList<Job> jobsFrom(const QString &pairs, const QString &folder)
{
    QList<Job> jobs;
    for (QString part : pairs.split(u'|', Qt::SkipEmptyParts)) {
        const bool twoRuns = part.startsWith(u"2:"_s);
        if (twoRuns)
            part = part.mid(2);
        const QString input = folder + u'/' + part.section(u'>', 0, 0);
        const QString output = folder + u'/' + part.section(u'>', 1, 1);
        Job job = oneRun(input, output);
        if (twoRuns)
            job = Job::fromRuns(
                {{u"-y"_s, u"-i"_s, input, u"-pass"_s, u"1"_s, u"-f"_s, u"null"_s, u"/dev/null"_s},
                 job.runs.first()});
        jobs << job;
    }
    return jobs;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class JobsTest : public QObject
{
    Q_OBJECT

private slots:
    void listForms_data();
    void listForms();
    void refusedLists_data();
    void refusedLists();
    void runner_data();
    void runner();
    void passesShareAPrivateFolder_data();
    void passesShareAPrivateFolder();
    void sizeMissCorrected_data();
    void sizeMissCorrected();
    void commaNamesConverted();
    void openedFileLookedAt_data();
    void openedFileLookedAt();
    void convertLooksAtEachFile();
    void partsAndSizes_data();
    void partsAndSizes();
    void oversizeNoted();
    void sizeAndPartThroughWindow();
    void sizeFollowsTrackTicks();
};

void JobsTest::listForms_data()
{
    QTest::addColumn<QList<Job>>("jobs");
    QTest::addColumn<bool>("extended");
    const Job plain = oneRun(u"/v/film.avi"_s, u"/v/film-Kopie.avi"_s);
    QTest::newRow("plain jobs") << QList<Job>{plain, oneRun(u"/v/ü b.mp4"_s, u"/v/ü b.mkv"_s)} << false;
    QTest::newRow("comma") << QList<Job>{plain, oneRun(u"/v/Urlaub, Tag 1.mp4"_s, u"/v/Urlaub, Tag 1.mkv"_s)}
                           << true;
    QTest::newRow("quotes dollar newline dash")
        << QList<Job>{oneRun(u"/v/\"a\" 'b' $HOME `x`\\n\nzwei.mp4"_s, u"/v/-rf ; &.mkv"_s)} << true;
    QTest::newRow("filter with comma")
        << QList<Job>{Job::fromRuns(
               {{u"-y"_s, u"-i"_s, u"/v/a.mp4"_s, u"-vf"_s, u"scale=min(1920\\,iw):-2"_s, u"/v/b.mp4"_s}})}
        << true;
    QTest::newRow("two runs") << jobsFrom(u"2:a.mp4>b.mp4|c.mp4>d.mp4"_s, u"/v"_s) << true;
    QTest::newRow("marker text as a name") << QList<Job>{oneRun(extendedFormMarker, u"/v/x,y"_s)} << true;
    Job limited = oneRun(u"/v/film.avi"_s, u"/v/film.mp4"_s);
    limited.sizeLimit = 25'000'000;
    QTest::newRow("size limit") << QList<Job>{plain, limited} << true;
    limited.limitRuns = jobsFrom(u"2:film.avi>film.mp4"_s, u"/v"_s).first().runs;
    QTest::newRow("limit with its passes") << QList<Job>{limited, plain} << true;
}

void JobsTest::listForms()
{
    QFETCH(QList<Job>, jobs);
    QFETCH(bool, extended);
    bool wroteExtended = !extended;
    const QByteArray content = batchListContent(jobs, &wroteExtended);
    QCOMPARE(wroteExtended, extended);
    if (!extended) {
        // Byte for byte what the plain form has always written.
        QStringList texts;
        for (const Job &job : jobs)
            texts << job.text();
        QCOMPARE(content, batchFileContent(texts));
    } else {
        // Lists with a size limit name the form after the one that has none.
        const bool limited =
            std::any_of(jobs.cbegin(), jobs.cend(), [](const Job &j) { return j.sizeLimit; });
        QVERIFY(content.startsWith(limited ? QByteArray("#QUORVID-BATCHLISTE 3\n")
                                           : QByteArray(extendedFormMarker.toUtf8() + '\n')));
        QCOMPARE(content.count('\n'), jobs.size() + 1);
    }
    QBuffer buffer;
    buffer.setData(content);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    const BatchList read = readBatchList(buffer);
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.extended, extended);
    QCOMPARE(read.jobs, jobs);
    QCOMPARE(read.jobs.last().input, jobs.last().input);
    QCOMPARE(read.jobs.last().output, jobs.last().output);

    // The recovery file keeps the same jobs; a plain list gives the content of old.
    QList<JobState> states(jobs.size(), JobState::Pending);
    states.first() = JobState::Done;
    const QByteArray recovery = jobsRecoveryContent(jobs, states);
    const std::optional<RecoveredList> back = parseRecovery(recovery);
    QVERIFY(back);
    QCOMPARE(back->entries, jobs);
    QCOMPARE(back->states, states);
    if (!extended) {
        QStringList texts;
        for (const Job &job : jobs)
            texts << job.text();
        QCOMPARE(recovery, recoveryContent(texts, states));
    }
}

void JobsTest::refusedLists_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("jobs");
    const QByteArray good = "[[\"-i\",\"/a,b\",\"/c\"]]\n";
    QTest::newRow("later form") << QByteArray("#QUORVID-BATCHLISTE 5\n" + good) << u"Form 5"_s << 0;
    QTest::newRow("limit not whole") << QByteArray(
                                            "#QUORVID-BATCHLISTE 3\n{\"runs\":[[\"x\"]],\"sizeLimit\":2.5}\n")
                                     << u"Zeile 2"_s << 0;
    QTest::newRow("limit runs not runs")
        << QByteArray("#QUORVID-BATCHLISTE 3\n{\"runs\":[[\"x\"]],\"sizeLimit\":2,\"limitRuns\":[\"y\"]}\n")
        << u"Zeile 2"_s << 0;
    QTest::newRow("damaged line") << QByteArray("#QUORVID-BATCHLISTE 2\n" + good + "[[\"-i\",\n")
                                  << u"Zeile 3"_s << 0;
    QTest::newRow("not strings") << QByteArray("#QUORVID-BATCHLISTE 2\n[[1,2]]\n") << u"Zeile 2"_s << 0;
    // Every line of the plain form is a job, whatever it holds.
    QTest::newRow("plain, anything goes") << QByteArray("#kein Marker\n[[\"x\"]]\n\n") << QString() << 3;
}

void JobsTest::refusedLists()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QFETCH(int, jobs);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly | QIODevice::Text));
    const BatchList list = readBatchList(buffer);
    QCOMPARE(list.jobs.size(), jobs);
    QCOMPARE(list.error.isEmpty(), reason.isEmpty());
    QVERIFY2(list.error.contains(reason), qPrintable(list.error));
}

void JobsTest::runner_data()
{
    QTest::addColumn<QString>("jobs");         // see jobsFrom
    QTest::addColumn<QStringList>("scenario"); // for the fake converter
    QTest::addColumn<int>("parallel");
    QTest::addColumn<bool>("keepGoing");
    QTest::addColumn<QString>("ends"); // per ended job: S success, E error, C cancel, U unstarted, R refused
    QTest::addColumn<int>("converterRuns");
    QTest::addColumn<QString>("reason"); // of the first failure
    QTest::newRow("all succeed") << u"a>b|c>d|e>f"_s << QStringList{u"exit 0"_s} << 1 << false << u"SSS"_s
                                 << 3 << QString();
    QTest::newRow("error ends the run")
        << u"a>b|c>d|e>f"_s << QStringList{u"@2 err Kaputt\\n"_s, u"@2 exit 1"_s} << 1 << false << u"SE"_s
        << 2 << u"Kaputt"_s;
    QTest::newRow("keep going") << u"a>b|c>d|e>f"_s << QStringList{u"@1 exit 1"_s} << 2 << true << u"ESS"_s
                                << 3 << QString();
    QTest::newRow("crash") << u"a>b"_s << QStringList{u"signal 11"_s} << 1 << false << u"E"_s << 1
                           << u"abgestürzt"_s;
    QTest::newRow("onto its input") << u"a>b|a>a|c>d"_s << QStringList{u"exit 0"_s} << 1 << true << u"SRS"_s
                                    << 2 << u"dieselbe Datei"_s;
    QTest::newRow("two runs, both") << u"2:a>b|c>d"_s << QStringList{u"exit 0"_s} << 1 << false << u"SS"_s
                                    << 3 << QString();
    QTest::newRow("first pass fails")
        << u"2:a>b|c>d"_s << QStringList{u"@1 exit 1"_s} << 1 << false << u"E"_s << 1 << QString();
    QTest::newRow("no converter") << u"a>b"_s << QStringList() << 1 << false << u"U"_s << 0
                                  << u"nicht gestartet"_s;
    // A converter that says it wrote a file and ends well, but left none, an
    // unreadable one, or one cut short: a failure with the reason.
    const QString report = u"err Output #0, matroska, to 'x':\\n  Stream #0:0: Video: h264, yuv420p\\n"_s
                           u"frame=25 fps=0 q=-1.0 Lsize=CLIPKBkB time=00:00:01.00 bitrate=1.0kbits/s\\n"_s;
    QTest::newRow("no output file") << u"a>b.mkv"_s << QStringList{report, u"exit 0"_s} << 1 << false
                                    << u"E"_s << 1 << u"nicht angelegt"_s;
    QTest::newRow("unreadable output")
        << u"a>b.mkv"_s << QStringList{report, u"outputtext Das ist kein Video.\\n"_s, u"exit 0"_s} << 1
        << false << u"E"_s << 1 << u"unvollständig"_s;
    QTest::newRow("cut output") << u"a>b.mkv"_s << QStringList{report, u"output CLIP 3000"_s, u"exit 0"_s}
                                << 1 << false << u"E"_s << 1 << u"unvollständig"_s;
    QTest::newRow("whole output") << u"a>b.mkv"_s << QStringList{report, u"output CLIP"_s, u"exit 0"_s} << 1
                                  << false << u"S"_s << 1 << QString();
}

void JobsTest::runner()
{
    QFETCH(QString, jobs);
    QFETCH(QStringList, scenario);
    QFETCH(int, parallel);
    QFETCH(bool, keepGoing);
    QFETCH(QString, ends);
    QFETCH(int, converterRuns);
    QFETCH(QString, reason);
    QTemporaryDir work;
    if (scenario.join(u'\n').contains(u"output CLIP"_s)) {
        // A real one-second clip, which the fake hands over as its output.
        const QString clip = work.filePath(u"clip.mkv"_s);
        QVERIFY(makeClip(clip, 1));
        scenario.replaceInStrings(u"CLIPKB"_s, QString::number(QFileInfo(clip).size() / 1024));
        scenario.replaceInStrings(u"CLIP"_s, clip);
    }
    scenario.replaceInStrings(u"CLIPKB"_s, u"1"_s);
    FakeConverter fake;
    fake.setScenario(scenario);
    const QList<Job> list = jobsFrom(jobs, work.path());
    JobRunner runner;
    runner.setOutputLookShare(1);
    runner.setProgram(ends == u"U"_s ? work.filePath(u"kein-ffmpeg"_s) : converterProgram());
    QString seen;
    QString firstReason;
    connect(&runner, &JobRunner::jobEnded, this, [&](int, const JobEnd &end) {
        seen += end.refused                            ? u'R'
                : end.unstarted                        ? u'U'
                : end.outcome == RunOutcome::Success   ? u'S'
                : end.outcome == RunOutcome::Cancelled ? u'C'
                                                       : u'E';
        if (end.outcome != RunOutcome::Success && firstReason.isEmpty())
            firstReason = end.reason;
    });
    QSignalSpy over(&runner, &JobRunner::runEnded);
    runner.start(list, QList<JobState>(list.size(), JobState::Pending), parallel, keepGoing);
    QVERIFY(over.wait(20000) || over.size() == 1);
    QCOMPARE(over.size(), 1);
    QVERIFY(!runner.isRunning());
    // With several at once the order of ends may vary; the count of each may not.
    QString sortedSeen = seen, sortedEnds = ends;
    std::sort(sortedSeen.begin(), sortedSeen.end());
    std::sort(sortedEnds.begin(), sortedEnds.end());
    QCOMPARE(sortedSeen, sortedEnds);
    QCOMPARE(fake.runs().size(), converterRuns);
    QVERIFY2(firstReason.contains(reason), qPrintable(firstReason));
}

void JobsTest::passesShareAPrivateFolder_data()
{
    QTest::addColumn<bool>("stopInFirstPass");
    QTest::newRow("both passes") << false;
    QTest::newRow("stopped in the first pass") << true;
}

void JobsTest::passesShareAPrivateFolder()
{
    QFETCH(bool, stopInFirstPass);
    FakeConverter fake;
    const QString cwdLog = fake.directory() + u"/cwd"_s;
    fake.setScenario({u"cwd "_s + cwdLog, stopInFirstPass ? u"waitterm"_s : u"exit 0"_s});
    QTemporaryDir work;
    // Two jobs of two passes at once: each must have a folder of its own.
    const QList<Job> list = jobsFrom(u"2:a>b|2:c>d"_s, work.path());
    JobRunner runner;
    runner.setProgram(converterProgram());
    QSignalSpy over(&runner, &JobRunner::runEnded);
    QSignalSpy ended(&runner, &JobRunner::jobEnded);
    runner.start(list, {JobState::Pending, JobState::Pending}, 2, false);
    if (stopInFirstPass) {
        QTRY_COMPARE(fake.runs().size(), 2);
        QTRY_COMPARE(readAll(cwdLog).count('\n'), 2);
        runner.stop();
    }
    QVERIFY(over.wait(20000) || over.size() == 1);
    const QStringList folders = QString::fromUtf8(readAll(cwdLog)).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(folders.size(), stopInFirstPass ? 2 : 4);
    QCOMPARE(QSet<QString>(folders.cbegin(), folders.cend()).size(), 2);
    for (const QString &folder : folders) {
        QVERIFY(folder != QDir::currentPath());
        QVERIFY2(!QFileInfo::exists(folder), qPrintable(folder + u" is left behind"_s));
    }
    for (const QList<QVariant> &end : std::as_const(ended))
        QCOMPARE(end.at(1).value<JobEnd>().outcome,
                 stopInFirstPass ? RunOutcome::Cancelled : RunOutcome::Success);
}

void JobsTest::sizeMissCorrected_data()
{
    QTest::addColumn<QString>("job");          // see jobsFrom
    QTest::addColumn<QStringList>("rate");     // the last run's rate options
    QTest::addColumn<QList<int>>("written");   // bytes of each run that writes the output
    QTest::addColumn<QStringList>("lastRate"); // the rate options of the run kept
    // The second pass writes 2 MB for a limit of 1.3 MB; made again with a lower
    // bitrate, its 1.28 MB are kept.
    QTest::newRow("bitrate") << u"2:a.mkv>b.mp4"_s << QStringList{u"-b:v"_s, u"900k"_s}
                             << QList<int>{2'000'000, 1'280'000} << QStringList{u"-b:v"_s, u"545k"_s};
    // An encoder that writes no less whatever its cap: after three corrections its
    // least quality under the last cap, which is kept below the size.
    QTest::newRow("cap the encoder cannot follow")
        << u"a.mkv>b.mkv"_s
        << QStringList{u"-vcodec"_s, u"libsvtav1"_s, u"-crf"_s, u"27"_s, u"-maxrate"_s, u"900k"_s}
        << QList<int>{1'400'000, 1'390'000, 1'380'000, 1'370'000, 900'000}
        << QStringList{u"-vcodec"_s, u"libsvtav1"_s, u"-crf"_s, u"63"_s, u"-maxrate"_s, u"677k"_s};
}

void JobsTest::sizeMissCorrected()
{
    // The bar holds below its end while the output is made again, and never goes back.
    QFETCH(QString, job);
    QFETCH(QStringList, rate);
    QFETCH(QList<int>, written);
    QFETCH(QStringList, lastRate);
    FakeConverter fake;
    QTemporaryDir work;
    const QString bytes = work.filePath(u"bytes"_s);
    QFile source(bytes);
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(QByteArray(2'000'000, 'x'));
    source.close();
    Job theJob = jobsFrom(job, work.path()).first();
    const qsizetype firstWriting = theJob.runs.size(); // the run number of the first that writes
    QStringList scenario{
        u"err   Duration: 00:00:10.00, start: 0.0\\n"_s, u"sleep 300"_s,
        u"err frame=  250 fps=50 q=2.0 size=1000kB time=00:00:10.00 bitrate=800kbits/s\\r"_s};
    for (qsizetype i = 0; i < written.size(); ++i)
        scenario << u"@%1 output %2 %3"_s.arg(firstWriting + i).arg(bytes).arg(written[i]);
    fake.setScenario(scenario << u"sleep 300"_s << u"exit 0"_s);
    for (const QString &option : rate)
        theJob.runs.last().insert(theJob.runs.last().size() - 1, option);
    theJob.sizeLimit = 1'300'000;
    JobRunner runner;
    runner.setProgram(converterProgram());
    QList<int> bar;
    connect(&runner, &JobRunner::outputArrived, this, [&](int slot) {
        runner.readProgress(slot);
        bar << runner.jobPercent(slot);
    });
    JobEnd end;
    connect(&runner, &JobRunner::jobEnded, this, [&](int, const JobEnd &e) { end = e; });
    QSignalSpy over(&runner, &JobRunner::runEnded);
    QSignalSpy corrected(&runner, &JobRunner::sizeCorrectionStarted);
    runner.start({theJob}, {JobState::Pending}, 1, false);
    QVERIFY(over.wait(20000));
    QCOMPARE(end.outcome, RunOutcome::Success);
    QCOMPARE(corrected.size(), written.size() - 1);
    QCOMPARE(QFileInfo(theJob.output).size(), written.last());
    const QList<QStringList> runs = fake.runs();
    QCOMPARE(runs.size(), firstWriting - 1 + written.size());
    QStringList expected = theJob.runs.last();
    expected.remove(expected.size() - 1 - rate.size(), rate.size());
    expected.insert(expected.size() - 1, lastRate.join(u'\n'));
    QCOMPARE(runs.last().join(u'\n'), expected.join(u'\n'));
    QVERIFY(bar.contains(99));
    QVERIFY(std::is_sorted(bar.cbegin(), bar.cend()));
}

void JobsTest::commaNamesConverted()
{
    // Names with commas become jobs through the window, convert with the real
    // converter, survive a save and a load, and convert again through --run.
    QTemporaryDir work;
    const QStringList inputs{work.filePath(u"Urlaub, Tag 1.mp4"_s), work.filePath(u"a,b,c.mp4"_s)};
    for (const QString &input : inputs)
        QVERIFY(makeClip(input, 1));
    AnnouncedBoxes noSurprises;
    MainWindow window;
    window.openFiles(inputs);
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    QTRY_COMPARE(table->rowCount(), 2);
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(table->item(1, 1) && table->item(1, 1)->text() == u"Done."_s, 30000);
    const QStringList outputs{work.filePath(u"a,b,c-Kopie.mp4"_s),
                              work.filePath(u"Urlaub, Tag 1-Kopie.mp4"_s)};
    for (const QString &output : outputs) {
        QVERIFY2(QFileInfo(output).size() > 1000, qPrintable(output));
        QVERIFY(QFile::remove(output));
    }

    const QString list = work.filePath(u"liste.btc"_s);
    ModalAnswerer answerer;
    answerer.answerFile(list);
    QMetaObject::invokeMethod(&window, "batchSave");
    QVERIFY(answerer.waitAll());
    QVERIFY(readAll(list).startsWith(extendedFormMarker.toUtf8()));
    QVERIFY(window.statusBar()->currentMessage().contains(u"erweiterten Form"_s));

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), {u"--run"_s, list});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    for (const QString &output : outputs)
        QVERIFY2(QFileInfo(output).size() > 1000, qPrintable(output));
}

void JobsTest::openedFileLookedAt_data()
{
    // How the source is made, the video codec item, what the job must hold and
    // what it must not, and the track rows shown.
    QTest::addColumn<QStringList>("make");
    QTest::addColumn<int>("videoCodec");
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("absent");
    QTest::addColumn<int>("tracks");
    const QStringList twoLanguages{u"-f"_s,
                                   u"lavfi"_s,
                                   u"-i"_s,
                                   u"testsrc=size=160x120:rate=25:duration=1"_s,
                                   u"-f"_s,
                                   u"lavfi"_s,
                                   u"-i"_s,
                                   u"sine=duration=1"_s,
                                   u"-f"_s,
                                   u"lavfi"_s,
                                   u"-i"_s,
                                   u"sine=frequency=600:duration=1"_s,
                                   u"-map"_s,
                                   u"0"_s,
                                   u"-map"_s,
                                   u"1"_s,
                                   u"-map"_s,
                                   u"2"_s,
                                   u"-metadata:s:a:0"_s,
                                   u"language=ger"_s,
                                   u"-metadata:s:a:1"_s,
                                   u"language=eng"_s,
                                   u"-c:v"_s,
                                   u"mpeg4"_s,
                                   u"-c:a"_s,
                                   u"mp2"_s};
    const QStringList interlaced{
        u"-f"_s,       u"lavfi"_s,
        u"-i"_s,       u"testsrc2=size=640x480:rate=50:duration=2,scale=320:240,interlace=scan=tff"_s,
        u"-pix_fmt"_s, u"yuv420p"_s,
        u"-c:v"_s,     u"mpeg2video"_s,
        u"-b:v"_s,     u"3M"_s,
        u"-top"_s,     u"1"_s,
        u"-flags"_s,   u"+ildct+ilme"_s};
    QTest::newRow("two languages, H.264") << twoLanguages << 7 << u"-map"_s << u"bwdif"_s << 3;
    // The first codecs: the converter's own choice, as ever.
    QTest::newRow("two languages, MPEG-4") << twoLanguages << 5 << u"-vcodec"_s << u"-map"_s << 3;
    QTest::newRow("interlaced, H.264")
        << interlaced << 7 << u"bwdif=mode=send_frame:parity=tff"_s << u"parity=bff"_s << 1;
    QTest::newRow("interlaced, MPEG-4") << interlaced << 5 << u"-vcodec"_s << u"bwdif"_s << 1;
}

void JobsTest::openedFileLookedAt()
{
    QFETCH(QStringList, make);
    QFETCH(int, videoCodec);
    QFETCH(QString, present);
    QFETCH(QString, absent);
    QFETCH(int, tracks);
    QTemporaryDir work;
    const QString source = work.filePath(u"quelle.mkv"_s);
    QProcess maker;
    maker.start(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + make + QStringList{source});
    QVERIFY(maker.waitForFinished(60000) && maker.exitCode() == 0);

    AnnouncedBoxes noSurprises;
    MainWindow window;
    auto *codec = window.findChild<QComboBox *>(u"vcodecComboBox"_s);
    codec->setCurrentIndex(videoCodec);
    QMetaObject::invokeMethod(&window, "vcopywahl");
    window.openFiles({source});
    auto *list = window.findChild<QTreeWidget *>(u"trackList"_s);
    QVERIFY(list);
    // The look runs in the background; the list fills when it is done.
    QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), tracks, 20000);
    QStringList arguments;
    QMetaObject::invokeMethod(&window, "createArguments", Q_RETURN_ARG(QStringList, arguments),
                              Q_ARG(QString, source), Q_ARG(QString, work.filePath(u"ziel.mp4"_s)));
    const QString joined = arguments.join(u' ');
    QVERIFY2(joined.contains(present), qPrintable(joined));
    QVERIFY2(!joined.contains(absent), qPrintable(joined));
}

void JobsTest::convertLooksAtEachFile()
{
    // From the command line too, an interlaced source comes out with whole frames.
    QTemporaryDir work;
    const QString source = work.filePath(u"kamera.mpg"_s);
    QProcess maker;
    maker.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                              u"testsrc2=size=640x480:rate=50:duration=2,scale=320:240,interlace=scan=tff"_s,
                              u"-pix_fmt"_s, u"yuv420p"_s, u"-c:v"_s, u"mpeg2video"_s, u"-b:v"_s, u"3M"_s,
                              u"-top"_s, u"1"_s, u"-flags"_s, u"+ildct+ilme"_s, source});
    QVERIFY(maker.waitForFinished(60000) && maker.exitCode() == 0);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), {u"--convert"_s, source, u"--output-dir"_s, work.path()});
    QVERIFY(run.waitForFinished(120000));
    QCOMPARE(run.exitCode(), 0);
    const QString output = work.filePath(u"kamera.mp4"_s);
    QVERIFY(QFileInfo::exists(output));
    QProcess look;
    look.start(u"ffmpeg"_s, fieldDetectionArguments(output, 2));
    QVERIFY(look.waitForFinished(60000));
    const FieldDetection found = parseFieldDetection(QString::fromLocal8Bit(look.readAllStandardError()));
    QVERIFY(found.found);
    QVERIFY2(found.counts.interlaced() <= 3,
             qPrintable(u"%1 of the frames still woven"_s.arg(found.counts.interlaced())));
}

void JobsTest::partsAndSizes_data()
{
    QTest::addColumn<int>("videoCodec");
    QTest::addColumn<double>("sizeMB");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("hasVideo");
    // The runs, each as its options before "-i" and whether it writes the output;
    // or the words of the refusal.
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing set: one run as always")
        << 7 << 0.0 << QString() << QString() << true << u"|out"_s;
    QTest::newRow("a part") << 7 << 0.0 << u"1:00"_s << u"1:30,5"_s << true << u"-y -ss 60 -t 30.5|out"_s;
    QTest::newRow("only the end") << 1 << 0.0 << QString() << u"10"_s << true << u"-y -t 10|out"_s;
    QTest::newRow("size: two passes") << 7 << 200.0 << QString() << QString() << true << u"|none ; |out"_s;
    QTest::newRow("size of a part: both passes cut")
        << 9 << 5.0 << u"10"_s << u"70"_s << true << u"-y -ss 10 -t 60|none ; -y -ss 10 -t 60|out"_s;
    QTest::newRow("AV1: one run") << 10 << 200.0 << QString() << QString() << true << u"|out"_s;
    QTest::newRow("sound file: its own size") << 7 << 20.0 << QString() << QString() << false << u"|out"_s;
    QTest::newRow("end before start") << 7 << 0.0 << u"30"_s << u"20"_s << true << u"refused: „Bis“"_s;
    QTest::newRow("beyond the end") << 7 << 0.0 << QString() << u"2:00:00"_s << true
                                    << u"refused: hinter dem Ende der Datei"_s;
    QTest::newRow("size with copy") << 0 << 20.0 << QString() << QString() << true << u"refused: copy"_s;
    QTest::newRow("size too small for the sound")
        << 7 << 19.0 << QString() << QString() << true << u"refused: mindestens"_s;
}

void JobsTest::partsAndSizes()
{
    QFETCH(int, videoCodec);
    QFETCH(double, sizeMB);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, hasVideo);
    QFETCH(QString, expected);

    // A 20-minute source with one video and one 128 kbit/s audio track.
    MediaFacts facts;
    facts.valid = true;
    facts.durationSeconds = 1200;
    if (hasVideo) {
        StreamFacts video;
        video.kind = StreamFacts::Kind::Video;
        video.codec = u"h264"_s;
        video.width = 1280;
        video.height = 720;
        video.pixelFormat = u"yuv420p"_s;
        video.colourSpace = u"bt709"_s;
        facts.streams << video;
    }
    StreamFacts audio;
    audio.index = facts.streams.size();
    audio.kind = StreamFacts::Kind::Audio;
    audio.codec = u"aac"_s;
    audio.channels = 2;
    audio.bitRateKbps = 128;
    facts.streams << audio;

    PanelSettings settings;
    settings.videoCodec = videoCodec;
    settings.originalSize = ::videoCodec(videoCodec).modern;
    settings.audioCodec = 5; // aac
    settings.audioBitrateEnabled = true;
    settings.audioBitrateIndex = 3; // 128k
    settings.targetSizeMB = sizeMB;
    settings.rangeFrom = from;
    settings.rangeTo = to;
    const QString target = videoCodec == 9 ? u"out.webm"_s : u"out.mkv"_s;

    const QString refusal = jobRefusal(settings, facts, target);
    if (expected.startsWith(u"refused: "_s)) {
        QVERIFY2(refusal.contains(expected.mid(9)), qPrintable(refusal));
        return;
    }
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    const Job job = makeJob(settings, u"in.mkv"_s, target, facts);
    QStringList runs;
    for (const QStringList &run : job.runs) {
        const qsizetype input = run.indexOf(u"-i"_s);
        QVERIFY(input >= 0 && run.value(input + 1) == u"in.mkv"_s);
        // Everything before "-i" but the "-y" the first codecs start with.
        QString before = run.mid(0, input).join(u' ');
        if (before == u"-y"_s)
            before.clear();
        runs << before + u'|' +
                    (writesNoFile(run)      ? u"none"_s
                     : run.last() == target ? u"out"_s
                                            : run.last());
    }
    QCOMPARE(runs.join(u" ; "_s), expected);
    QCOMPARE(job.output, target);
    QCOMPARE(aimedSizeMB(settings, facts), sizeMB > 0 && hasVideo && videoCodec > 0 ? sizeMB : 0.0);
    // A size job asks for a bitrate no larger than the size allows over the part.
    if (sizeMB > 0 && job.runs.size() > 1) {
        const QStringList &last = job.runs.last();
        const qsizetype bitrate = last.indexOf(u"-b:v"_s);
        QVERIFY(bitrate >= 0);
        const double seconds = to.isEmpty() ? 1200 : 60;
        QVERIFY2(last[bitrate + 1].chopped(1).toDouble() * 1000 * seconds / 8 < sizeMB * 1e6,
                 qPrintable(last[bitrate + 1]));
    }
}

void JobsTest::oversizeNoted()
{
    // An output above the size it aimed at is told, one within it is not.
    QTemporaryDir work;
    const QString output = work.filePath(u"out.mkv"_s);
    QFile file(output);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(1'050'000));
    file.close();
    QVERIFY(oversizeNote(output, 1.1).isEmpty());
    QVERIFY(oversizeNote(output, 0).isEmpty());
    QVERIFY(oversizeNote(work.filePath(u"none.mkv"_s), 1).isEmpty());
    QVERIFY2(oversizeNote(output, 1).contains(u"Zielgröße von 1"_s), qPrintable(oversizeNote(output, 1)));
}

void JobsTest::sizeAndPartThroughWindow()
{
    // A part of a real clip at a size, through the window's own fields: two
    // passes with the real converter, the bar running up once, and a file that
    // fits the size.
    QTemporaryDir work;
    const QString input = work.filePath(u"film.mkv"_s);
    QProcess maker;
    maker.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                              u"testsrc2=size=320x240:rate=25:duration=12"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                              u"sine=duration=12"_s, u"-c:v"_s, u"mpeg4"_s, u"-q:v"_s, u"2"_s, input});
    QVERIFY(maker.waitForFinished(60000) && maker.exitCode() == 0);
    AnnouncedBoxes noSurprises;
    MainWindow window;
    window.openFiles({input});
    auto *codec = window.findChild<QComboBox *>(u"vcodecComboBox"_s);
    codec->setCurrentIndex(7);
    QMetaObject::invokeMethod(&window, "vcopywahl");
    window.findChild<QComboBox *>(u"acodecComboBox"_s)->setCurrentIndex(5);
    window.findChild<QComboBox *>(u"qualityComboBox"_s)->setCurrentIndex(targetSizeQualityIndex);
    window.findChild<QDoubleSpinBox *>(u"targetSizeSpinBox"_s)->setValue(0.3);
    auto *from = window.findChild<QLineEdit *>(u"rangeFromLineEdit"_s);
    auto *to = window.findChild<QLineEdit *>(u"rangeToLineEdit"_s);
    auto *note = window.findChild<QLabel *>(u"rangeNoteLabel"_s);
    // The look at the file tells its duration; a part beyond it is named at once.
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<QTreeWidget *>(u"trackList"_s)->topLevelItemCount() == 2,
                             20000);
    QTest::keyClicks(to, u"0:30"_s);
    QTRY_VERIFY(note->isVisibleTo(&window) && note->text().contains(u"hinter dem Ende"_s));
    to->clear();
    QTest::keyClicks(from, u"2"_s);
    QTest::keyClicks(to, u"10"_s);
    QTRY_VERIFY(!note->isVisibleTo(&window));

    QList<int> bar;
    connect(window.findChild<QProgressBar *>(u"progressBar"_s), &QProgressBar::valueChanged, this,
            [&bar](int value) { bar << value; });
    const QString output = window.findChild<QLineEdit *>(u"saveLineEdit"_s)->text();
    window.findChild<QPushButton *>(u"convertButton"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage() == u"Konvertierung beendet."_s, 60000);
    const qint64 size = QFileInfo(output).size();
    // It fits; a sine tone takes less than its bitrate, so the file may stay below.
    QVERIFY2(size > 0.1e6 && size <= 0.3e6, qPrintable(QString::number(size)));
    QVERIFY2(!bar.isEmpty() && bar.last() == 100 && bar.count(100) == 1,
             qPrintable(QString::number(bar.size())));
    QVERIFY(std::is_sorted(bar.begin() + bar.indexOf(0, 0), bar.end()));
    QProcess probe;
    probe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s, u"format=duration"_s, u"-of"_s,
                               u"csv=p=0"_s, output});
    QVERIFY(probe.waitForFinished(30000));
    QVERIFY2(qAbs(probe.readAllStandardOutput().trimmed().toDouble() - 8) < 0.1, "an 8 s part");
}

void JobsTest::sizeFollowsTrackTicks()
{
    // Two audio tracks take more than 0.5 MB over 10 s at 224 kbit/s each; one
    // leaves room for the picture. The note and the box at Convert judge the job
    // that would run, with the list's ticks, and follow every tick.
    QTemporaryDir work;
    const QString input = work.filePath(u"two.mkv"_s);
    QProcess maker;
    maker.start(u"ffmpeg"_s, {u"-v"_s,   u"error"_s,
                              u"-f"_s,   u"lavfi"_s,
                              u"-i"_s,   u"testsrc=size=160x120:rate=25:duration=10"_s,
                              u"-f"_s,   u"lavfi"_s,
                              u"-i"_s,   u"sine=duration=10"_s,
                              u"-f"_s,   u"lavfi"_s,
                              u"-i"_s,   u"sine=duration=10"_s,
                              u"-map"_s, u"0"_s,
                              u"-map"_s, u"1"_s,
                              u"-map"_s, u"2"_s,
                              u"-c:v"_s, u"mpeg4"_s,
                              u"-c:a"_s, u"aac"_s,
                              input});
    QVERIFY(maker.waitForFinished(60000) && maker.exitCode() == 0);
    AnnouncedBoxes noSurprises;
    MainWindow window;
    window.openFiles({input});
    window.vcodecComboBox->setCurrentIndex(7);
    QMetaObject::invokeMethod(&window, "vcopywahl");
    window.acodecComboBox->setCurrentIndex(5);
    window.abitrateComboBox->setCurrentIndex(1); // 224k
    window.qualityComboBox->setCurrentIndex(targetSizeQualityIndex);
    window.targetSizeSpinBox->setValue(0.5);
    QTreeWidget *tracks = window.trackList;
    QTRY_VERIFY_WITH_TIMEOUT(tracks->topLevelItemCount() == 3, 20000);
    QLabel *note = window.rangeNoteLabel;
    // The header's 10.0x s are ten seconds, not eleven.
    QTRY_VERIFY2(note->text().contains(u"nicht einmal für den Ton"_s) && note->text().contains(u"0:10 min"_s),
                 qPrintable(note->text()));
    tracks->topLevelItem(2)->setCheckState(TrackList::KindColumn, Qt::Unchecked);
    QVERIFY2(!note->isVisibleTo(&window), qPrintable(note->text()));
    tracks->topLevelItem(2)->setCheckState(TrackList::KindColumn, Qt::Checked);
    QVERIFY(note->text().contains(u"nicht einmal für den Ton"_s));
    tracks->topLevelItem(2)->setCheckState(TrackList::KindColumn, Qt::Unchecked);

    const QString output = window.saveLineEdit->text();
    window.convertButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage() == u"Konvertierung beendet."_s, 60000);
    QVERIFY2(QFileInfo(output).size() <= 500'000, qPrintable(QString::number(QFileInfo(output).size())));
    QProcess probe;
    probe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"a"_s, u"-show_entries"_s,
                               u"stream=index"_s, u"-of"_s, u"csv=p=0"_s, output});
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("1"));
}

QTEST_MAIN(JobsTest)
#include "tst_jobs.moc"
