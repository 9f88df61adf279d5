// What a user must be able to rely on around a conversion: a run that fails, is
// stopped, interrupted or killed, or fills the disk leaves no half file under an
// output's name; a half file is never skipped as done; odd inputs and odd names
// are refused or named, never waited on or left out in silence.
#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "batchfile.h"
#include "job.h"
#include "jobrunner.h"
#include "outputsync.h"
#include "quorvid.h"
#include "recovery.h"
#include "startcheck.h"
#include "termination.h"
#include "testsupport.h"
#include "unfinished.h"

using namespace Qt::StringLiterals;

namespace {
bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// `quorvid ARGS` without a display; `prepare` may change the process first.
struct Quorvid
{
    QProcess process;
    explicit Quorvid(const QStringList &arguments, const QString &program = QStringLiteral(QUORVID_BINARY))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
    }
    bool finish(int ms = 30000) { return process.waitForFinished(ms); }
    QString out() { return QString::fromUtf8(process.readAllStandardOutput()); }
    QString err() { return QString::fromUtf8(process.readAllStandardError()); }
};

QString listOf(const QString &path, const QList<QStringList> &jobs, qint64 sizeLimit = 0)
{
    QList<Job> list;
    for (const QStringList &run : jobs) {
        Job job = Job::fromRuns({run});
        job.sizeLimit = sizeLimit;
        list << job;
    }
    writeFile(path, batchListContent(list));
    return path;
}
} // namespace

class TrustTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void interrupted_data();
    void interrupted();
    void killedAndRunAgain();
    void leftovers();
    void recordRewrittenInPlace();
    void doneOnlyOnDisk_data();
    void doneOnlyOnDisk();
    void syncNeverWaits();
    void startRefusals_data();
    void startRefusals();
    void refusedByTheRun_data();
    void refusedByTheRun();
    void halfOutputNotSkipped();
    void unknownForm_data();
    void unknownForm();
    void oddNamesNamed();
    void sizeMissSaidOnRun();
    void fullDiskForReal();
    void realConverterKilled();
    void windowTerminated_data();
    void windowTerminated();

private:
    QTemporaryDir m_dir;
    QString m_clip;
};

void TrustTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip = m_dir.filePath(u"clip.avi"_s);
    QVERIFY(makeClip(m_clip, 2));
}

void TrustTest::interrupted_data()
{
    QTest::addColumn<QStringList>("scenario");
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("existedBefore");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("outputStays");
    // The fake writes half the clip under the output's name, then ends as told.
    const QString half = u"output %1 20000"_s;
    QTest::newRow("failure") << QStringList{half, u"exit 1"_s} << 0 << false << 1 << u"FEHLER"_s << false;
    QTest::newRow("full disk, status 0")
        << QStringList{half, u"err av_interleaved_write_frame(): No space left on device\\n"_s,
                       u"err Error writing trailer of out.mp4: No space left on device\\n"_s, u"exit 0"_s}
        << 0 << false << 1 << u"Datenträger mit dem Ordner"_s << false;
    QTest::newRow("Ctrl+C") << QStringList{half, u"waitterm"_s} << SIGINT << false << 130 << u"ABGEBROCHEN"_s
                            << false;
    QTest::newRow("SIGTERM") << QStringList{half, u"waitterm"_s} << SIGTERM << false << 143
                             << u"ABGEBROCHEN"_s << false;
    QTest::newRow("agreed to overwrite, then failed")
        << QStringList{half, u"exit 1"_s} << 0 << true << 1 << u"FEHLER"_s << false;
    // Without "-y" the converter leaves an existing file alone: so does Quorvid.
    QTest::newRow("not agreed: left alone") << QStringList{u"ask"_s} << 0 << true << 1 << u"FEHLER"_s << true;
}

void TrustTest::interrupted()
{
    QFETCH(QStringList, scenario);
    QFETCH(int, signal);
    QFETCH(bool, existedBefore);
    QFETCH(int, status);
    QFETCH(QString, word);
    QFETCH(bool, outputStays);
    FakeConverter fake;
    const QString pid = fake.directory() + u"/pid"_s;
    scenario.replaceInStrings(u"%1"_s, m_clip);
    fake.setScenario(QStringList{u"pid "_s + pid} + scenario);
    QTemporaryDir work;
    const QString output = work.filePath(u"out.avi"_s);
    if (existedBefore)
        QVERIFY(writeFile(output, "the user's own file"));
    QStringList run{u"-i"_s, m_clip, output};
    if (!outputStays)
        run.prepend(u"-y"_s);
    const QString list = listOf(work.filePath(u"l.btc"_s), {run});
    Quorvid quorvid({u"--run"_s, list, u"--overwrite"_s});
    if (signal != 0) {
        QTRY_VERIFY(FakeConverter::writtenPid(pid) > 0 && QFileInfo(output).size() > 0);
        ::kill(pid_t(quorvid.process.processId()), signal);
    }
    QVERIFY(quorvid.finish());
    QCOMPARE(quorvid.process.exitCode(), status);
    QVERIFY2(quorvid.out().contains(word), qPrintable(word));
    QCOMPARE(QFileInfo::exists(output), outputStays);
    if (outputStays)
        QCOMPARE(readFile(output), QByteArray("the user's own file"));
}

void TrustTest::killedAndRunAgain()
{
    // Killed without a chance to clean up: its converter is ended too, and the next
    // start removes the half file before anything looks at it, so the job is made
    // again instead of being skipped.
    FakeConverter fake;
    const QString pid = fake.directory() + u"/pid"_s;
    fake.setScenario({u"@1 pid "_s + pid, u"@1 output %1 20000"_s.arg(m_clip), u"@1 waitterm"_s,
                      u"@2 output "_s + m_clip, u"@2 exit 0"_s});
    QTemporaryDir work;
    const QString output = work.filePath(u"out.avi"_s);
    const QString list = listOf(work.filePath(u"l.btc"_s), {{u"-y"_s, u"-i"_s, m_clip, output}});
    {
        Quorvid first({u"--run"_s, list});
        QTRY_VERIFY(FakeConverter::writtenPid(pid) > 0 && QFileInfo(output).size() > 0);
        ::kill(pid_t(first.process.processId()), SIGKILL);
        QVERIFY(first.finish());
        QTRY_VERIFY(::kill(FakeConverter::writtenPid(pid), 0) != 0);
    }
    QVERIFY(QFileInfo::exists(output)); // what the killed run left
    Quorvid second({u"--run"_s, list});
    QVERIFY(second.finish());
    const QString out = second.out();
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY2(out.contains(u"OK"_s) && !out.contains(u"ÜBERSPRUNGEN"_s), qPrintable(out));
    QCOMPARE(fake.runs().size(), 2);
    QCOMPARE(readFile(output), readFile(m_clip));
}

void TrustTest::leftovers()
{
    QTemporaryDir temp;
    QTemporaryDir records;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", temp.path().toUtf8());
    auto live = std::make_unique<OwnedFolder>();
    qputenv("TMPDIR", oldTemp);
    QVERIFY(live->isValid());
    QVERIFY(live->path().startsWith(temp.path() + u"/quorvid-"_s));
    // A folder whose owner is gone (its mark not locked), one being made (no mark
    // yet) and one of another program.
    QVERIFY(writeFile(temp.filePath(u"quorvid-dead01/.owner"_s), "1\n"));
    QVERIFY(writeFile(temp.filePath(u"quorvid-dead01/pass-0.log"_s), "stats"));
    QVERIFY(QDir().mkpath(temp.filePath(u"quorvid-fresh1"_s)));
    QVERIFY(QDir().mkpath(temp.filePath(u"other-123456"_s)));
    // A dead run's record: it wrote one file, another it named was never touched.
    const QString written = temp.filePath(u"out/half.mp4"_s);
    const QString untouched = temp.filePath(u"out/kept.mp4"_s);
    QVERIFY(writeFile(untouched, "old"));
    const QList<OutputBefore> before{OutputBefore::of(written), OutputBefore::of(untouched)};
    QVERIFY(writeFile(written, "half"));
    QVERIFY(writeFile(records.filePath(u"dead.json"_s), unfinishedRecordContent(before)));
    // A live run's record, locked by its owner: its file stays.
    const QString running = temp.filePath(u"out/running.mp4"_s);
    QVERIFY(
        writeFile(records.filePath(u"live.json"_s), unfinishedRecordContent({OutputBefore::of(running)})));
    QVERIFY(writeFile(running, "being written"));
    const int held = ::open(QFile::encodeName(records.filePath(u"live.json"_s)).constData(), O_RDWR);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);

    const LeftoverCleanup cleanup = removeLeftovers(temp.path(), records.path());
    ::close(held);
    QCOMPARE(cleanup.outputs, QStringList{written});
    QCOMPARE(cleanup.folders, 1);
    QVERIFY(!QFileInfo::exists(written));
    QCOMPARE(readFile(untouched), QByteArray("old"));
    QVERIFY(QFileInfo::exists(running));
    QVERIFY(QFileInfo::exists(live->path()));
    QVERIFY(!QFileInfo::exists(temp.filePath(u"quorvid-dead01"_s)));
    QVERIFY(QFileInfo::exists(temp.filePath(u"quorvid-fresh1"_s)));
    QVERIFY(QFileInfo::exists(temp.filePath(u"other-123456"_s)));
    QVERIFY(!QFileInfo::exists(records.filePath(u"dead.json"_s)));
    QVERIFY(QFileInfo::exists(records.filePath(u"live.json"_s)));
}

void TrustTest::recordRewrittenInPlace()
{
    // Each state of a run's record reads back as written, whatever longer one
    // stood there before, and the file never shrinks.
    const QString folder = UnfinishedRecord::folder();
    const QStringList before = QDir(folder).entryList(QDir::Files);
    UnfinishedRecord record;
    QString path;
    qint64 lastSize = 0;
    for (const QStringList &names :
         {QStringList{u"a-long-name.mkv"_s, u"b.mkv"_s}, QStringList{u"c.mkv"_s}, {}}) {
        QList<OutputBefore> outputs;
        for (const QString &name : names)
            outputs << OutputBefore::of(m_dir.filePath(name));
        record.write(outputs);
        for (const QString &name : QDir(folder).entryList(QDir::Files))
            if (!before.contains(name))
                path = folder + u'/' + name;
        QStringList read;
        for (const OutputBefore &output : readUnfinishedRecord(readFile(path)))
            read << QFileInfo(output.path).fileName();
        QCOMPARE(read, names);
        QVERIFY(QFileInfo(path).size() >= lastSize);
        lastSize = QFileInfo(path).size();
    }
}

void TrustTest::doneOnlyOnDisk_data()
{
    QTest::addColumn<bool>("stopWhileSyncing");
    QTest::newRow("ended well") << false;
    // The conversion is over: Stop does not take the finished file away.
    QTest::newRow("Stop pressed meanwhile") << true;
}

void TrustTest::doneOnlyOnDisk()
{
    // A job that ended well is done only once its output is on the disk: until
    // then it is not reported and its output stays in the record of files being
    // written, which the next start would remove after a power cut. The disk is
    // held here; the event loop runs on meanwhile.
    QFETCH(bool, stopWhileSyncing);
    FakeConverter fake;
    fake.setScenario({u"output "_s + m_clip, u"exit 0"_s});
    QTemporaryDir work;
    const QString output = work.filePath(u"out.avi"_s);
    QSemaphore disk;
    QMutex lock;
    QStringList synced;
    const OutputSync::SyncFunction before = OutputSync::setSyncFunction([&](const QStringList &files) {
        {
            QMutexLocker locker(&lock);
            synced = files;
        }
        disk.acquire();
        syncToDisk(files);
    });
    // Whatever fails below, the held sync goes on and the real one comes back.
    const auto restore = qScopeGuard([&] {
        disk.release(8);
        OutputSync::setSyncFunction(before);
    });
    const auto syncedNow = [&] {
        QMutexLocker locker(&lock);
        return synced;
    };
    const auto recorded = [&] {
        QStringList paths;
        const QDir folder(UnfinishedRecord::folder());
        for (const QString &name : folder.entryList(QDir::Files))
            for (const OutputBefore &written : readUnfinishedRecord(readFile(folder.filePath(name))))
                paths << written.path;
        return paths.contains(output);
    };
    {
        JobRunner runner;
        runner.setProgram(converterProgram());
        QSignalSpy ended(&runner, &JobRunner::jobEnded);
        QSignalSpy writing(&runner, &JobRunner::outputsWriting);
        runner.start({Job::fromRuns({{u"-y"_s, u"-i"_s, m_clip, output}})}, {JobState::Pending}, 1, false);
        QTRY_COMPARE(syncedNow(), QStringList{output});
        if (stopWhileSyncing)
            runner.stop();
        // A wait that is noticed is said, once.
        QTRY_COMPARE(writing.size(), 1);
        QTest::qWait(100);
        QCOMPARE(writing.size(), 1);
        QCOMPARE(writing[0][0].toInt(), 0);
        QCOMPARE(ended.size(), 0);
        QVERIFY(runner.isRunning());
        QVERIFY(recorded());
        disk.release();
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(ended[0][1].value<JobEnd>().outcome, RunOutcome::Success);
        QVERIFY(!recorded());
    }
    QCOMPARE(readFile(output), readFile(m_clip));
}

void TrustTest::syncNeverWaits()
{
    // Syncing a job's outputs never waits for ever: a named pipe among them
    // that nobody writes to, and a file that is gone, are passed over.
    QTemporaryDir dir;
    const QString pipe = dir.filePath(u"pipe"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString file = dir.filePath(u"out.mkv"_s);
    QVERIFY(writeFile(file, "data"));
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done, files = QStringList{pipe, dir.filePath(u"gone.mkv"_s), file}] {
        syncToDisk(files);
        *done = true;
    }).detach();
    QTRY_VERIFY_WITH_TIMEOUT(done->load(), 5000);
}

void TrustTest::startRefusals_data()
{
    QTest::addColumn<QStringList>("run");
    QTest::addColumn<QString>("refusal"); // a part of the reason; empty: started
    const QString fifo = m_dir.filePath(u"pipe.mp4"_s);
    if (!QFileInfo::exists(fifo))
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString out = m_dir.filePath(u"o.mp4"_s);
    QTest::newRow("regular file") << QStringList{u"-i"_s, m_clip, out} << QString();
    QTest::newRow("missing file: the converter says so")
        << QStringList{u"-i"_s, u"/nirgends/x.mp4"_s, out} << QString();
    QTest::newRow("generator") << QStringList{u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc"_s, out} << QString();
    QTest::newRow("address") << QStringList{u"-i"_s, u"https://example.org/a.mp4"_s, out} << QString();
    QTest::newRow("named pipe") << QStringList{u"-i"_s, fifo, out} << u"benannte Pipe"_s;
    QTest::newRow("named pipe as second input")
        << QStringList{u"-i"_s, m_clip, u"-i"_s, u"file:"_s + fifo, out} << u"benannte Pipe"_s;
    QTest::newRow("device") << QStringList{u"-i"_s, u"/dev/zero"_s, out} << u"ein Gerät"_s;
    QTest::newRow("folder") << QStringList{u"-i"_s, m_dir.path(), out} << u"ein Ordner"_s;
    QTest::newRow("argument of 200 KB")
        << QStringList{u"-i"_s, m_clip, u"-metadata"_s, u"title="_s + QString(200000, u'a'), out}
        << u"zu lang für das System"_s;
    QTest::newRow("argument just fitting")
        << QStringList{u"-i"_s, m_clip, u"-metadata"_s, QString(longestArgumentBytes - 1, u'a'), out}
        << QString();
}

void TrustTest::startRefusals()
{
    QFETCH(QStringList, run);
    QFETCH(QString, refusal);
    const QString reason = startRefusal(Job::fromRuns({run}));
    if (refusal.isEmpty())
        QCOMPARE(reason, QString());
    else
        QVERIFY2(reason.contains(refusal), qPrintable(reason));
}

void TrustTest::refusedByTheRun_data()
{
    QTest::addColumn<QStringList>("run");
    QTest::addColumn<QString>("reason");
    const QString fifo = m_dir.filePath(u"pipe2.avi"_s);
    if (!QFileInfo::exists(fifo))
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QTest::newRow("named pipe") << QStringList{u"-y"_s, u"-i"_s, fifo, m_dir.filePath(u"p.mp4"_s)}
                                << u"benannte Pipe"_s;
    QTest::newRow("10 MB argument") << QStringList{u"-y"_s,
                                                   u"-i"_s,
                                                   m_clip,
                                                   u"-metadata"_s,
                                                   u"title="_s + QString(10000000, u'x'),
                                                   m_dir.filePath(u"q.mp4"_s)}
                                    << u"zu lang für das System"_s;
}

void TrustTest::refusedByTheRun()
{
    // Refused before any converter starts, with the reason, instead of a run that
    // hangs on a pipe or "could not be started".
    QFETCH(QStringList, run);
    QFETCH(QString, reason);
    FakeConverter fake;
    fake.setScenario({u"exit 0"_s});
    const QString list = listOf(m_dir.filePath(u"refused.btc"_s), {run});
    Quorvid quorvid({u"--run"_s, list});
    QVERIFY(quorvid.finish(10000));
    const QString out = quorvid.out();
    QCOMPARE(quorvid.process.exitCode(), 1);
    QVERIFY2(out.contains(u"VERWEIGERT"_s) && out.contains(reason), qPrintable(out.left(300)));
    QCOMPARE(fake.runs().size(), 0);
}

void TrustTest::halfOutputNotSkipped()
{
    // Without --overwrite an existing output is skipped only when it is whole; a
    // cut one is named, left as it is, and the run ends with status 1.
    FakeConverter fake;
    fake.setScenario({u"exit 0"_s});
    QTemporaryDir work;
    const QString whole = work.filePath(u"whole.avi"_s);
    const QString cut = work.filePath(u"cut.avi"_s);
    const QString stub = work.filePath(u"stub.avi"_s);
    QVERIFY(QFile::copy(m_clip, whole));
    const QByteArray clip = readFile(m_clip);
    QVERIFY(writeFile(cut, clip.left(clip.size() / 3)));
    QVERIFY(writeFile(stub, "x"));
    const QString list = listOf(work.filePath(u"l.btc"_s), {{u"-y"_s, u"-i"_s, m_clip, whole},
                                                            {u"-y"_s, u"-i"_s, m_clip, cut},
                                                            {u"-y"_s, u"-i"_s, m_clip, stub}});
    Quorvid quorvid({u"--run"_s, list, u"--keep-going"_s});
    QVERIFY(quorvid.finish());
    const QStringList lines = quorvid.out().split(u'\n');
    QCOMPARE(quorvid.process.exitCode(), 1);
    QVERIFY2(lines.value(0).contains(u"ÜBERSPRUNGEN"_s), qPrintable(lines.value(0)));
    QVERIFY2(lines.value(1).contains(u"FEHLER"_s) && lines.value(1).contains(u"--overwrite"_s),
             qPrintable(lines.value(1)));
    QVERIFY2(lines.value(2).contains(u"FEHLER"_s), qPrintable(lines.value(2)));
    QCOMPARE(fake.runs().size(), 0);
    QCOMPARE(readFile(cut).size(), clip.size() / 3);
}

void TrustTest::unknownForm_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("jobs");
    QTest::newRow("form 0") << QByteArray("#QUORVID-BATCHLISTE 0\n-y,-i,a.avi,b.mp4\n") << false << 0;
    QTest::newRow("form 1") << QByteArray("#QUORVID-BATCHLISTE 1\n[[\"-i\",\"a\",\"b\"]]\n") << false << 0;
    QTest::newRow("form 2") << QByteArray("#QUORVID-BATCHLISTE 2\n[[\"-i\",\"a\",\"b\"]]\n") << true << 1;
    QTest::newRow("form 4") << QByteArray("#QUORVID-BATCHLISTE 4\n[[\"-i\",\"a\",\"b\"]]\n") << true << 1;
    QTest::newRow("form 5") << QByteArray("#QUORVID-BATCHLISTE 5\n[[\"-i\",\"a\",\"b\"]]\n") << false << 0;
    QTest::newRow("plain list") << QByteArray("-y,-i,a.avi,b.mp4\n") << true << 1;
    QTest::newRow("a marker with a blank is a job") << QByteArray("#QUORVID-BATCHLISTE 0 \n") << true << 1;
}

void TrustTest::unknownForm()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loads);
    QFETCH(int, jobs);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const BatchList list = readBatchList(buffer);
    QCOMPARE(list.error.isEmpty(), loads);
    QCOMPARE(list.jobs.size(), jobs);
}

void TrustTest::oddNamesNamed()
{
    // A name that is no UTF-8 cannot reach the converter through Qt's strings; it
    // is named with its odd byte shown, the others are converted, and the status
    // says not everything was. A named pipe among the files never holds it up.
    FakeConverter fake;
    fake.setScenario({u"output "_s + m_clip, u"exit 0"_s});
    QTemporaryDir work;
    const QString folder = work.filePath(u"in"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(m_clip, folder + u"/gut.avi"_s));
    const QByteArray odd = QFile::encodeName(folder) + "/caf\xE9.avi";
    const int fd = ::open(odd.constData(), O_CREAT | O_WRONLY, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    QCOMPARE(::mkfifo(QFile::encodeName(folder + u"/rohr.avi"_s).constData(), 0600), 0);
    Quorvid quorvid({u"--convert"_s, folder, u"--preset"_s, u"Nur Ton: MP3 192 kbit/s"_s, u"--output-dir"_s,
                     work.filePath(u"aus"_s)});
    QVERIFY(quorvid.finish(20000));
    const QString err = quorvid.err();
    const QString out = quorvid.out();
    QCOMPARE(quorvid.process.exitCode(), 1);
    QVERIFY2(err.contains(u"caf\\xE9.avi"_s), qPrintable(err));
    QVERIFY2(err.contains(u"rohr.avi"_s), qPrintable(err));
    QVERIFY2(out.contains(u"1 umgewandelt"_s), qPrintable(out));
    QCOMPARE(fake.runs().size(), 1);
}

void TrustTest::sizeMissSaidOnRun()
{
    // A job of the extended list with a size: --run says when its file came out
    // larger, as --convert and the window do.
    FakeConverter fake;
    fake.setScenario({u"output "_s + m_clip, u"exit 0"_s});
    QTemporaryDir work;
    const QString output = work.filePath(u"o.avi"_s);
    const QString list = listOf(work.filePath(u"l.btc"_s), {{u"-y"_s, u"-i"_s, m_clip, output}}, 1000);
    Quorvid quorvid({u"--run"_s, list});
    QVERIFY(quorvid.finish());
    QVERIFY(quorvid.out().contains(u"OK"_s));
    const QString err = quorvid.err();
    QVERIFY2(err.contains(u"größer geworden als die Zielgröße"_s), qPrintable(err));
}

void TrustTest::fullDiskForReal()
{
    // A small tmpfs of a mount namespace of its own: the real converter fills it.
    if (::geteuid() != 0 || QStandardPaths::findExecutable(u"unshare"_s).isEmpty())
        QSKIP(
            "Needs root and unshare to mount a small tmpfs; the fake converter's full disk is tested above.");
    QTemporaryDir work;
    const QString disk = work.filePath(u"klein"_s);
    QVERIFY(QDir().mkpath(disk));
    const QString source = work.filePath(u"lang.avi"_s);
    QVERIFY(makeClip(source, 8, true, true, u"320x240"_s));
    const QString output = disk + u"/voll.mkv"_s;
    const QString list =
        listOf(work.filePath(u"l.btc"_s), {{u"-y"_s, u"-i"_s, source, u"-c:v"_s, u"ffv1"_s, output}});
    QProcess probe;
    probe.start(u"unshare"_s, {u"-m"_s, u"true"_s});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
        QSKIP("unshare -m is not permitted here; the fake converter's full disk is tested above.");
    Quorvid quorvid({u"-m"_s, u"sh"_s, u"-c"_s,
                     u"mount -t tmpfs -o size=400k none \"$1\" && exec \"$2\" --run \"$3\""_s, u"sh"_s, disk,
                     QStringLiteral(QUORVID_BINARY), list},
                    u"unshare"_s);
    QVERIFY(quorvid.finish(60000));
    const QString out = quorvid.out();
    QCOMPARE(quorvid.process.exitCode(), 1);
    QVERIFY2(out.contains(u"FEHLER"_s) && out.contains(u"ist voll"_s), qPrintable(out));
    // The tmpfs went with its namespace; the half file was removed inside it
    // before (the run said so in its reason).
    QVERIFY2(out.contains(u"unvollständige Datei wurde entfernt"_s), qPrintable(out));
}

void TrustTest::realConverterKilled()
{
    // The real converter under a killed Quorvid: it is ended too, and the next run
    // makes the file again instead of skipping what was left.
    QTemporaryDir work;
    const QString source = work.filePath(u"lang.avi"_s);
    QVERIFY(makeClip(source, 6, true, true, u"320x240"_s));
    const QString output = work.filePath(u"aus.mp4"_s);
    const QString list =
        listOf(work.filePath(u"l.btc"_s), {{u"-y"_s, u"-i"_s, source, u"-c:v"_s, u"libx264"_s, u"-preset"_s,
                                            u"veryslow"_s, u"-c:a"_s, u"aac"_s, output}});
    {
        Quorvid first({u"--run"_s, list});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(output).size() > 0, 20000);
        ::kill(pid_t(first.process.processId()), SIGKILL);
        QVERIFY(first.finish());
    }
    Quorvid second({u"--run"_s, list});
    QVERIFY(second.finish(120000));
    const QString out = second.out();
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY2(out.contains(u"OK"_s) && !out.contains(u"ÜBERSPRUNGEN"_s), qPrintable(out));
}

namespace {
// The child of windowTerminated: the window as the program starts it, loading a
// list and starting the batch.
int windowChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    // As the program has it: the window is never deleted (held where the leak
    // checker of the sanitized build sees it).
    static MainWindow *window = new MainWindow;
    stopRunsOnTerminationRequest();
    window->show();
    ModalAnswerer answerer;
    answerer.answerFile(qEnvironmentVariable("TERM_CHILD_LOAD"));
    QTimer::singleShot(0, window,
                       [] { window->findChild<QAction *>(u"actionBatchdateiLaden"_s)->trigger(); });
    if (!answerer.waitAll())
        return 3;
    window->findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    return app.exec();
}
} // namespace

void TrustTest::windowTerminated_data()
{
    QTest::addColumn<int>("quick"); // jobs done in quick succession before the one stopped
    QTest::newRow("one job") << 0;
    // Their states wait together for their save; the end writes them.
    QTest::newRow("after quick jobs") << 3;
}

void TrustTest::windowTerminated()
{
    // Ended from outside (a logout, kill): the converter stops, its half file goes,
    // and the list is kept to be offered again, with every job done as done.
    QFETCH(int, quick);
    const QString recovery = QDir(RecoveryFile::defaultFolder()).filePath(u"batchliste.recovery"_s);
    QFile::remove(recovery);
    FakeConverter fake;
    const QString pid = fake.directory() + u"/pid"_s;
    QTemporaryDir work;
    QList<QStringList> jobs;
    QStringList scenario;
    for (int i = 0; i <= quick; ++i) {
        jobs << QStringList{u"-y"_s, u"-i"_s, m_clip, work.filePath(u"out%1.avi"_s.arg(i))};
        scenario << u"@%1 output %2 %3"_s.arg(i + 1).arg(m_clip).arg(i < quick ? 2000 : 20000);
    }
    scenario << u"@%1 pid %2"_s.arg(quick + 1).arg(pid) << u"@%1 waitterm"_s.arg(quick + 1);
    fake.setScenario(scenario);
    const QString output = jobs.last().last();
    const QString list = listOf(work.filePath(u"l.btc"_s), jobs);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TERM_CHILD_LOAD"_s, list);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QTRY_VERIFY_WITH_TIMEOUT(FakeConverter::writtenPid(pid) > 0 && QFileInfo(output).size() > 0, 15000);
    ::kill(pid_t(child.processId()), SIGTERM);
    QVERIFY(child.waitForFinished(15000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 128 + SIGTERM);
    QVERIFY(::kill(FakeConverter::writtenPid(pid), 0) != 0);
    QVERIFY(!QFileInfo::exists(output));
    const std::optional<RecoveredList> kept = parseRecovery(readFile(recovery));
    QVERIFY(kept);
    QCOMPARE(kept->states.size(), quick + 1);
    for (int i = 0; i <= quick; ++i)
        QCOMPARE(kept->states[i] == JobState::Done, i < quick);
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("TERM_CHILD_LOAD"))
        return windowChild(argc, argv);
    QApplication app(argc, argv);
    TrustTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_trust.moc"
