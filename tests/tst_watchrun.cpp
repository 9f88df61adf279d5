// `quorvid --watch` as a user runs it: real clips copied slowly or downloaded
// under a partial name, SIGTERM and kill -9 in the middle of a job, restarts
// with new, done and replaced files, and a thousand files arriving at once.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <map>

#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One `quorvid --watch` process with a home of its own, and its output.
class WatchProcess
{
public:
    WatchProcess(const QString &home, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home);
        env.remove(u"XDG_DATA_HOME"_s);
        env.remove(u"XDG_CONFIG_HOME"_s);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(QUORVID_BINARY), QStringList{u"--watch"_s} + arguments);
    }
    ~WatchProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    // Waits until standard error says the folders are watched.
    bool watching()
    {
        return waitFor([this] { return m_err.contains("überwacht"); }, 10000);
    }
    // The lines of standard output with this word, e.g. "OK".
    int count(const QString &word)
    {
        read();
        const QRegularExpression line(u"^\\[\\d+\\] %1 "_s.arg(word), QRegularExpression::MultilineOption);
        return int(QString::fromUtf8(m_out).count(line));
    }
    bool waitForCount(const QString &word, int wanted, int timeoutMs = 20000)
    {
        return waitFor([&] { return count(word) >= wanted; }, timeoutMs);
    }
    // Ends the process with a signal; its exit status, or -1 after a crash or
    // when it did not end within the time.
    int end(int signal, int timeoutMs = 20000)
    {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(timeoutMs))
            return -1;
        read();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QString out()
    {
        read();
        return QString::fromUtf8(m_out + m_err);
    }

private:
    void read()
    {
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
    }
    template <typename Ready> bool waitFor(Ready ready, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!ready()) {
            if (clock.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning)
                return ready();
            m_process.waitForReadyRead(100);
            read();
        }
        return true;
    }

    QProcess m_process;
    QByteArray m_out, m_err;
};

// How often the fake converter was run on each input.
std::map<QString, int> conversionsByInput(const FakeConverter &fake)
{
    std::map<QString, int> counts;
    for (const QStringList &run : fake.runs()) {
        const qsizetype input = run.indexOf(u"-i"_s);
        if (input >= 0 && input + 1 < run.size() && run.size() > 3)
            ++counts[QFileInfo(run[input + 1]).fileName()];
    }
    return counts;
}

const QString mp3 = u"mp3"_s;
} // namespace

class WatchRunTest : public QObject
{
    Q_OBJECT

private slots:
    void realClipsSlowAndDownloaded();
    void sigtermDuringJob();
    void killDuringJobOutputsInWatchedFolder();
    void restartWithNewDoneAndReplaced();
    void thousandArrivals();
    void wrongCalls_data();
    void wrongCalls();
};

// Real clips through the real converter: one copied over several seconds, one
// downloaded under a partial name and renamed; SIGTERM ends the watch cleanly.
void WatchRunTest::realClipsSlowAndDownloaded()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s), out = dir.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(in));
    QVERIFY(makeClip(dir.filePath(u"clip.avi"_s), 2));
    const QByteArray clip = readFile(dir.filePath(u"clip.avi"_s));
    WatchProcess watch(dir.filePath(u"home"_s), {in, u"--output-dir"_s, out, u"--preset"_s, mp3,
                                                 u"--settle"_s, u"2"_s, u"--jobs"_s, u"2"_s});
    QVERIFY(watch.watching());

    QVERIFY(writeFile(in + u"/geladen.avi.crdownload"_s, clip));
    const qsizetype chunk = clip.size() / 8 + 1; // eight pieces, four seconds
    for (qsizetype done = 0; done < clip.size(); done += chunk) {
        QVERIFY(writeFile(in + u"/langsam.avi"_s, clip.mid(done, chunk), QIODevice::Append));
        QTest::qWait(500);
        QCOMPARE(watch.count(u"OK"_s) + watch.count(u"FEHLER"_s), 0);
    }
    QVERIFY(QFile::rename(in + u"/geladen.avi.crdownload"_s, in + u"/geladen.avi"_s));
    QVERIFY2(watch.waitForCount(u"OK"_s, 2, 60000), qPrintable(watch.out()));
    QCOMPARE(watch.count(u"FEHLER"_s), 0);
    for (const QString &name : {u"langsam.mp3"_s, u"geladen.mp3"_s}) {
        QProcess probe;
        probe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s, u"format=duration"_s, u"-of"_s,
                                   u"csv=p=0"_s, out + u'/' + name});
        QVERIFY(probe.waitForFinished(20000));
        const double seconds = probe.readAllStandardOutput().trimmed().toDouble();
        QVERIFY2(seconds > 1.8 && seconds < 2.3, qPrintable(name + u": "_s + QString::number(seconds)));
    }
    QCOMPARE(QDir(out).entryList(QDir::Files).size(), 2);
    QCOMPARE(watch.end(SIGTERM), 128 + SIGTERM);
}

// SIGTERM while a converter runs: it is stopped, its half output removed, and
// the next start makes the file again.
void WatchRunTest::sigtermDuringJob()
{
    FakeConverter fake;
    fake.setScenario({u"outputtext half"_s, u"waitterm"_s});
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s), out = dir.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(in));
    const QStringList arguments{in, u"--output-dir"_s, out, u"--preset"_s, mp3, u"--settle"_s, u"0.3"_s};
    {
        WatchProcess watch(dir.filePath(u"home"_s), arguments);
        QVERIFY(watch.watching());
        QVERIFY(writeFile(in + u"/a.avi"_s, "input"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out + u"/a.mp3"_s), 10000);
        QCOMPARE(watch.end(SIGTERM), 128 + SIGTERM);
        QCOMPARE(watch.count(u"ABGEBROCHEN"_s), 1);
        QVERIFY(!QFile::exists(out + u"/a.mp3"_s));
    }
    fake.setScenario({u"outputtext whole"_s, u"exit 0"_s});
    WatchProcess again(dir.filePath(u"home"_s), arguments);
    QVERIFY(again.watching());
    QVERIFY2(again.waitForCount(u"OK"_s, 1), qPrintable(again.out()));
    QCOMPARE(readFile(out + u"/a.mp3"_s), QByteArray("whole"));
    QCOMPARE(again.end(SIGINT), 128 + SIGINT);
    QCOMPARE(conversionsByInput(fake)[u"a.avi"_s], 2);
}

// kill -9 in the middle of a job whose output goes into the watched folder
// itself: the half output is neither kept as done nor taken as an input; the
// next start removes it and makes the file again.
void WatchRunTest::killDuringJobOutputsInWatchedFolder()
{
    FakeConverter fake;
    fake.setScenario({u"outputtext half"_s, u"sleep 2000"_s, u"exit 0"_s});
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s);
    QVERIFY(QDir().mkpath(in));
    const QStringList arguments{in, u"--output-dir"_s, in, u"--preset"_s, mp3, u"--settle"_s, u"0.3"_s};
    {
        WatchProcess watch(dir.filePath(u"home"_s), arguments);
        QVERIFY(watch.watching());
        QVERIFY(writeFile(in + u"/a.avi"_s, "input"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(in + u"/a.mp3"_s), 10000);
        QCOMPARE(watch.end(SIGKILL), -1);
    }
    QTest::qWait(2500); // the orphaned converter ends
    QCOMPARE(readFile(in + u"/a.mp3"_s), QByteArray("half"));
    fake.setScenario({u"outputtext whole"_s, u"exit 0"_s});
    WatchProcess again(dir.filePath(u"home"_s), arguments);
    QVERIFY(again.watching());
    QVERIFY2(again.waitForCount(u"OK"_s, 1), qPrintable(again.out()));
    QTest::qWait(1500); // the output settles in the watched folder and is left alone
    QCOMPARE(again.end(SIGTERM), 128 + SIGTERM);
    QCOMPARE(readFile(in + u"/a.mp3"_s), QByteArray("whole"));
    const auto counts = conversionsByInput(fake);
    QCOMPARE(counts.size(), size_t(1));
    QCOMPARE(counts.at(u"a.avi"_s), 2);
}

// Files that arrived while Quorvid was not running are taken, done ones are not,
// a replaced one is converted again.
void WatchRunTest::restartWithNewDoneAndReplaced()
{
    FakeConverter fake;
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s), out = dir.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(in));
    QVERIFY(writeFile(in + u"/a.avi"_s, "a"));
    QVERIFY(writeFile(in + u"/b.avi"_s, "b"));
    const QStringList arguments{in, u"--output-dir"_s, out, u"--preset"_s, mp3, u"--settle"_s, u"0.3"_s};
    {
        WatchProcess watch(dir.filePath(u"home"_s), arguments);
        QVERIFY(watch.waitForCount(u"OK"_s, 2));
        QCOMPARE(watch.end(SIGTERM), 128 + SIGTERM);
    }
    QVERIFY(writeFile(in + u"/c.avi"_s, "c"));
    QVERIFY(writeFile(in + u"/b.avi"_s, "b, a new version"));
    WatchProcess again(dir.filePath(u"home"_s), arguments);
    QVERIFY(again.waitForCount(u"OK"_s, 2));
    QTest::qWait(1000);
    QCOMPARE(again.end(SIGTERM), 128 + SIGTERM);
    QCOMPARE(again.count(u"OK"_s), 2);
    const std::map<QString, int> expected{{u"a.avi"_s, 1}, {u"b.avi"_s, 2}, {u"c.avi"_s, 1}};
    QCOMPARE(conversionsByInput(fake), expected);
}

// A thousand small files at once, four converters: each converted exactly once.
void WatchRunTest::thousandArrivals()
{
    FakeConverter fake;
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s), out = dir.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(in));
    WatchProcess watch(dir.filePath(u"home"_s), {in, u"--output-dir"_s, out, u"--preset"_s, mp3,
                                                 u"--settle"_s, u"0.5"_s, u"--jobs"_s, u"4"_s});
    QVERIFY(watch.watching());
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i)
        QVERIFY(writeFile(in + u"/clip%1.avi"_s.arg(i, 4, 10, QChar(u'0')), QByteArray::number(i)));
    QVERIFY2(watch.waitForCount(u"OK"_s, 1000, 240000), qPrintable(watch.out().right(2000)));
    qInfo("1,000 arrivals converted in %.1f s", double(clock.elapsed()) / 1000);
    QTest::qWait(1500);
    QCOMPARE(watch.end(SIGTERM), 128 + SIGTERM);
    QCOMPARE(watch.count(u"OK"_s), 1000);
    const auto counts = conversionsByInput(fake);
    QCOMPARE(counts.size(), size_t(1000));
    for (const auto &[input, times] : counts)
        QVERIFY2(times == 1, qPrintable(input));
}

void WatchRunTest::wrongCalls_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    QTest::newRow("no folder") << QStringList{u"--output-dir"_s, u"OUT"_s}
                               << u"Bitte nennen Sie nach --watch"_s;
    QTest::newRow("no output folder") << QStringList{u"IN"_s} << u"--output-dir"_s;
    QTest::newRow("folder missing") << QStringList{u"IN/nichts"_s, u"--output-dir"_s, u"OUT"_s}
                                    << u"gibt es nicht"_s;
    QTest::newRow("folder inside its output")
        << QStringList{u"IN"_s, u"--output-dir"_s, u"."_s} << u"enthält"_s;
    QTest::newRow("settle no number")
        << QStringList{u"IN"_s, u"--output-dir"_s, u"OUT"_s, u"--settle"_s, u"bald"_s} << u"--settle"_s;
    QTest::newRow("with --overwrite") << QStringList{u"IN"_s, u"--output-dir"_s, u"OUT"_s, u"--overwrite"_s}
                                      << u"nicht zusammen mit --watch"_s;
    QTest::newRow("unknown preset") << QStringList{u"IN"_s, u"--output-dir"_s, u"OUT"_s, u"--preset"_s,
                                                   u"xyz"_s}
                                    << u"gibt es nicht"_s;
}

void WatchRunTest::wrongCalls()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    FakeConverter fake;
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"IN"_s)));
    for (QString &argument : arguments)
        if (argument == u"IN"_s || argument.startsWith(u"IN/"_s) || argument == u"OUT"_s ||
            argument == u"."_s)
            argument = dir.filePath(argument);
    WatchProcess watch(dir.filePath(u"home"_s), arguments);
    QCOMPARE(watch.end(0, 10000), 2);
    QVERIFY2(watch.out().contains(said), qPrintable(watch.out()));
}

QTEST_GUILESS_MAIN(WatchRunTest)
#include "tst_watchrun.moc"
