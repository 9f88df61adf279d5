// A part of the file: the fields read and refused, the run's options, and real
// cuts with the progress counted over the part; the still picture taken in the
// background.
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "jobrunner.h"
#include "progress.h"
#include "stillpicture.h"
#include "testsupport.h"
#include "timerange.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TimeRange)

class TimeRangeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fields_data();
    void fields();
    void runOptions_data();
    void runOptions();
    void partProgress_data();
    void partProgress();
    void realPart_data();
    void realPart();
    void pictures_data();
    void pictures();
    void picturesCoalesceAndCancel();

private:
    QTemporaryDir m_dir;
    QString m_clip; // 60 s, 160x120, key frame every 2 s
};

// Runs a program to its end and gives its standard output; "failed" when it fails.
static QByteArray outputOf(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    const bool ran = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return ran ? p.readAllStandardOutput() : QByteArrayLiteral("failed");
}

static QString rangeText(const TimeRange &r)
{
    return u"%1|%2"_s.arg(r.from ? QString::number(*r.from) : u"-"_s, r.to ? QString::number(*r.to) : u"-"_s);
}

void TimeRangeTest::initTestCase()
{
    m_clip = m_dir.filePath(u"clip.mkv"_s);
    QCOMPARE(outputOf(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                                    u"testsrc=size=160x120:rate=25:duration=60"_s, u"-f"_s, u"lavfi"_s,
                                    u"-i"_s, u"sine=duration=60"_s, u"-c:v"_s, u"libx264"_s, u"-g"_s, u"50"_s,
                                    u"-c:a"_s, u"aac"_s, m_clip, u"-y"_s}),
             QByteArray());
}

void TimeRangeTest::fields_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("expected"); // "from|to", or words of the refusal

    QTest::newRow("both empty") << u" "_s << QString() << 60.0 << u"-|-"_s;
    QTest::newRow("h:mm:ss, comma") << u"1:02:03,5"_s << QString() << 0.0 << u"3723.5|-"_s;
    QTest::newRow("m:ss and dot") << u"0:10"_s << u"1:00.25"_s << 100.0 << u"10|60.25"_s;
    QTest::newRow("plain seconds") << u" 90 "_s << u"120,"_s << 0.0 << u"90|120"_s;
    QTest::newRow("end in the shown duration's rounding")
        << QString() << u"60.01"_s << 60.005 << u"-|60.01"_s;
    QTest::newRow("unknown duration: order only") << u"5000"_s << u"6000"_s << 0.0 << u"5000|6000"_s;
    QTest::newRow("garbage") << u"abc"_s << QString() << 60.0 << u"„abc“ im Feld „Von“"_s;
    QTest::newRow("seconds over 59") << u"1:75"_s << QString() << 0.0 << u"„1:75“ im Feld „Von“"_s;
    QTest::newRow("negative") << u"-5"_s << QString() << 0.0 << u"„-5“ im Feld „Von“"_s;
    QTest::newRow("exponent") << u"1e3"_s << QString() << 0.0 << u"„1e3“ im Feld „Von“"_s;
    QTest::newRow("four parts") << QString() << u"1:2:3:4"_s << 0.0 << u"„1:2:3:4“ im Feld „Bis“"_s;
    QTest::newRow("unit") << QString() << u"10 s"_s << 0.0 << u"„10 s“ im Feld „Bis“"_s;
    QTest::newRow("end before start") << u"20"_s << u"10"_s << 60.0 << u"(0:00:10) liegt nicht nach"_s;
    QTest::newRow("end at start") << u"10"_s << u"0:10"_s << 60.0
                                  << u"liegt nicht nach dem Anfang (0:00:10)"_s;
    QTest::newRow("end 0 alone") << QString() << u"0"_s << 60.0 << u"liegt nicht nach dem Anfang"_s;
    QTest::newRow("end beyond") << QString() << u"61"_s << 60.0 << u"hinter dem Ende der Datei (0:01:00)"_s;
    QTest::newRow("start at end") << u"60"_s << QString() << 60.0 << u"nicht vor dem Ende der Datei"_s;
    QTest::newRow("start beyond") << u"1:10"_s << u"1:20"_s << 60.0 << u"Anfang (0:01:10) liegt nicht vor"_s;
}

void TimeRangeTest::fields()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(double, duration);
    QFETCH(QString, expected);
    const RangeCheck check = checkRange(from, to, duration);
    if (expected.contains(u'|')) {
        QCOMPARE(check.refusal, QString());
        QCOMPARE(rangeText(check.range), expected);
        // What the fields show reads back as the same time, to the millisecond.
        for (const auto &t : {check.range.from, check.range.to}) {
            bool ok = false;
            if (t)
                QCOMPARE(qRound64(*parseClockTime(formatClockTime(*t), &ok) * 1000), qRound64(*t * 1000));
        }
    } else {
        QVERIFY2(check.refusal.contains(expected), qPrintable(check.refusal));
        QVERIFY(check.refusal.contains(u"Geben Sie"_s));
        QVERIFY(check.range.isEmpty());
    }
}

void TimeRangeTest::runOptions_data()
{
    QTest::addColumn<QStringList>("run");
    QTest::addColumn<TimeRange>("range");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<TimeRange>("carried"); // what rangeOfRun reads from the result

    const QStringList tail{u"-i"_s, u"in.mkv"_s, u"-ss"_s, u"3"_s, u"out.mp4"_s};
    const TimeRange part{20.0, 30.0};
    QTest::newRow("start and end") << QStringList{u"-y"_s} + tail << part
                                   << QStringList{u"-y"_s, u"-ss"_s, u"20"_s, u"-t"_s, u"10"_s} + tail
                                   << part;
    QTest::newRow("start only, fractions")
        << tail << TimeRange{3600.123456, {}} << QStringList{u"-ss"_s, u"3600.123456"_s} + tail
        << TimeRange{3600.123456, {}};
    QTest::newRow("end only, no exponent")
        << tail << TimeRange{{}, 1e7} << QStringList{u"-t"_s, u"10000000"_s} + tail << TimeRange{{}, 1e7};
    QTest::newRow("earlier range replaced")
        << QStringList{u"-ss"_s, u"5"_s, u"-y"_s, u"-to"_s, u"9"_s} + tail << TimeRange{7.5, {}}
        << QStringList{u"-y"_s, u"-ss"_s, u"7.5"_s} + tail << TimeRange{7.5, {}};
    QTest::newRow("empty range: unchanged, -to read as a position")
        << QStringList{u"-ss"_s, u"20"_s, u"-to"_s, u"0:30"_s} + tail << TimeRange{}
        << QStringList{u"-ss"_s, u"20"_s, u"-to"_s, u"0:30"_s} + tail << part;
    QTest::newRow("no input") << QStringList{u"-version"_s} << part << QStringList{u"-version"_s}
                              << TimeRange{};
}

void TimeRangeTest::runOptions()
{
    QFETCH(QStringList, run);
    QFETCH(TimeRange, range);
    QFETCH(QStringList, expected);
    QFETCH(TimeRange, carried);
    QCOMPARE(withRange(run, range), expected);
    QCOMPARE(rangeText(rangeOfRun(expected)), rangeText(carried));
}

void TimeRangeTest::partProgress_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("length"); // 0: to the end
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("expected"); // "percent|remaining|total"

    const QByteArray duration = "  Duration: 00:02:00.00, start: 0.000000\n";
    QTest::newRow("length, not the file's duration")
        << 30.0 << 10.0 << duration + "frame=1 fps=25 size=1kB time=00:00:05.00 speed=1x\r"
        << u"50|0:05|10"_s;
    QTest::newRow("start only: the rest of the file")
        << 100.0 << 0.0 << duration + "frame=1 fps=25 size=1kB time=00:00:15.00 speed=1x\r"
        << u"75|0:05|20"_s;
    QTest::newRow("copied part runs longer: 100 %")
        << 30.0 << 10.0 << duration + "frame=1 fps=25 size=1kB time=00:00:11.20 speed=1x\r"
        << u"100|0:00|10"_s;
    QTest::newRow("start past the end: no figures")
        << 130.0 << 0.0 << duration + "frame=1 fps=25 size=1kB time=00:00:01.00 speed=1x\r" << u"-|-|0"_s;
}

void TimeRangeTest::partProgress()
{
    QFETCH(double, start);
    QFETCH(double, length);
    QFETCH(QByteArray, status);
    QFETCH(QString, expected);
    ProgressParser parser;
    parser.startRun();
    parser.expectPart(start, length > 0 ? std::optional<double>(length) : std::nullopt);
    const ProgressReading r = parser.feed(status, 25);
    QCOMPARE(u"%1|%2|%3"_s.arg(r.percent ? QString::number(*r.percent) : u"-"_s, r.remaining.value_or(u"-"_s))
                 .arg(parser.totalSeconds()),
             expected);
    // The next run without a part counts the whole file again.
    parser.startRun();
    parser.feed(status, 25);
    QCOMPARE(parser.totalSeconds(), 120.0);
}

void TimeRangeTest::realPart_data()
{
    QTest::addColumn<TimeRange>("range");
    QTest::addColumn<bool>("copy");

    QTest::newRow("10 s from the middle") << TimeRange{20.0, 30.0} << false;
    QTest::newRow("start only: the last 10 s") << TimeRange{50.0, {}} << false;
    QTest::newRow("end only") << TimeRange{{}, 10.0} << false;
    // 21 s is no key frame: copying starts at the one at 20 s and lasts ~11 s.
    QTest::newRow("copy from a key frame") << TimeRange{21.0, 31.0} << true;
}

void TimeRangeTest::realPart()
{
    QFETCH(TimeRange, range);
    QFETCH(bool, copy);
    const QString out = m_dir.filePath(u"part.mkv"_s);
    const QStringList codecs =
        copy ? QStringList{u"-c"_s, u"copy"_s} : QStringList{u"-c:v"_s, u"libx264"_s, u"-c:a"_s, u"aac"_s};
    const QStringList run = withRange(QStringList{u"-y"_s, u"-stats_period"_s, u"0.1"_s, u"-i"_s, m_clip} +
                                          codecs + QStringList{out},
                                      range);

    // Through the runner that the window and the command line use: it reads the
    // part from the run and counts only that.
    JobRunner runner;
    runner.setProgram(u"ffmpeg"_s);
    QList<int> percents;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &runner, [&] {
        if (runner.laneJob(0) < 0)
            return;
        if (const auto percent = runner.readProgress(0).percent)
            percents << *percent;
    });
    JobEnd end;
    QObject::connect(&runner, &JobRunner::jobEnded, &runner, [&](int, const JobEnd &e) {
        percents << runner.parser(0).percent();
        end = e;
    });
    QSignalSpy over(&runner, &JobRunner::runEnded);
    poll.start(20);
    runner.start({Job::fromRuns({run})}, {JobState::Pending}, 1, false);
    QVERIFY(over.wait(60000));
    QCOMPARE(end.outcome, RunOutcome::Success);
    const ProgressParser &parser = runner.parser(0);
    // The clip's header says 60.02 s (its last audio packet): a start-only part is the rest of that.
    QVERIFY2(qAbs(parser.totalSeconds() - 10) < 0.05, qPrintable(QString::number(parser.totalSeconds())));
    QVERIFY(!percents.isEmpty());
    QCOMPARE(percents.last(), 100);
    QVERIFY2(std::is_sorted(percents.begin(), percents.end()), qPrintable(QString::number(percents.size())));

    const QString seconds =
        QString::fromLatin1(outputOf(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s,
                                                    u"format=duration"_s, u"-of"_s, u"csv=p=0"_s, out}));
    const QString firstPacket = QString::fromLatin1(outputOf(
        u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v"_s, u"-read_intervals"_s, u"%+#1"_s,
                       u"-show_entries"_s, u"packet=flags"_s, u"-of"_s, u"csv=p=0"_s, out}));
    QVERIFY2(firstPacket.startsWith(u'K'), qPrintable(firstPacket));
    if (copy)
        QVERIFY2(seconds.toDouble() > 10.9 && seconds.toDouble() < 11.5, qPrintable(seconds));
    else
        QVERIFY2(qAbs(seconds.toDouble() - 10) <= 0.08, qPrintable(seconds));
}

void TimeRangeTest::pictures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QSize>("expected"); // empty: no picture

    QTest::newRow("frame of a clip") << u"clip.mkv"_s << 6.0 << QSize(100, 75);
    QTest::newRow("relative name with a dash") << u"-clip.mkv"_s << 6.0 << QSize(100, 75);
    QTest::newRow("seek beyond the end: the start") << u"clip.mkv"_s << 500.0 << QSize(100, 75);
    QTest::newRow("wide pixels shown wide") << u"wide.mkv"_s << 0.5 << QSize(100, 56);
    QTest::newRow("cover of an MP3") << u"cover.mp3"_s << 3.0 << QSize(100, 100);
    QTest::newRow("MP3 without cover") << u"plain.mp3"_s << 3.0 << QSize();
    QTest::newRow("no media") << u"notes.txt"_s << 0.0 << QSize();
    QTest::newRow("no converter") << u"clip.mkv"_s << 6.0 << QSize();
}

void TimeRangeTest::pictures()
{
    QFETCH(QString, file);
    QFETCH(double, seconds);
    QFETCH(QSize, expected);
    if (!QFile::exists(m_dir.filePath(u"cover.mp3"_s))) {
        const QString png = m_dir.filePath(u"cover.png"_s);
        outputOf(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=300x300"_s,
                               u"-frames:v"_s, u"1"_s, png});
        for (const QString &name : {u"cover.mp3"_s, u"plain.mp3"_s}) {
            QStringList args{u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=duration=10"_s};
            if (name == u"cover.mp3"_s)
                args << u"-i"_s << png << u"-map"_s << u"0"_s << u"-map"_s << u"1"_s << u"-c:v"_s << u"png"_s
                     << u"-disposition:v"_s << u"attached_pic"_s;
            outputOf(u"ffmpeg"_s, args << m_dir.filePath(name));
        }
        outputOf(u"ffmpeg"_s,
                 {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=720x576:duration=1"_s,
                  u"-vf"_s, u"setsar=64/45"_s, m_dir.filePath(u"wide.mkv"_s)});
        QFile::copy(m_clip, m_dir.filePath(u"-clip.mkv"_s));
        QFile notes(m_dir.filePath(u"notes.txt"_s));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a film\n") > 0);
    }
    // Relative names are read from the working folder, as the converter's are.
    const QString oldFolder = QDir::currentPath();
    const QByteArray oldPath = qgetenv("PATH");
    QDir::setCurrent(m_dir.path());
    if (qstrcmp(QTest::currentDataTag(), "no converter") == 0)
        FakeConverter::removeAllFromPath();
    StillPicture still;
    QSignalSpy ready(&still, &StillPicture::pictureReady), none(&still, &StillPicture::noPicture);
    still.request(file, seconds, QSize(100, 100));
    const bool answered = QTest::qWaitFor([&] { return ready.size() + none.size() > 0; }, 20000);
    QDir::setCurrent(oldFolder);
    qputenv("PATH", oldPath);
    QVERIFY(answered);
    QTest::qWait(100); // nothing more follows
    QCOMPARE(ready.size() + none.size(), 1);
    const QList<QVariant> signal = ready.isEmpty() ? none.first() : ready.first();
    QCOMPARE(signal.first().toString(), file);
    QCOMPARE(ready.isEmpty() ? QSize() : signal.last().value<QImage>().size(), expected);
}

void TimeRangeTest::picturesCoalesceAndCancel()
{
    StillPicture still;
    QSignalSpy ready(&still, &StillPicture::pictureReady), none(&still, &StillPicture::noPicture);
    const QString notes = m_dir.filePath(u"notes.txt"_s);
    for (int i = 0; i < 5; ++i) {
        still.requestSoon(i < 4 ? notes : m_clip, i, QSize(64, 64));
        QTest::qWait(StillPicture::pauseMs / 4);
    }
    QVERIFY(QTest::qWaitFor([&] { return !ready.isEmpty(); }, 20000));
    QTest::qWait(2 * StillPicture::pauseMs);
    QCOMPARE(ready.size(), 1);
    QCOMPARE(none.size(), 0);
    QCOMPARE(ready.first().first().toString(), m_clip);

    // Cancelled, running or waiting: no report, no converter left behind.
    still.request(m_clip, 1, QSize(64, 64));
    still.cancel();
    still.requestSoon(m_clip, 1, QSize(64, 64));
    still.cancel();
    QTest::qWait(2 * StillPicture::pauseMs);
    QCOMPARE(ready.size() + none.size(), 1);
    QTRY_VERIFY(still.findChildren<QProcess *>().isEmpty());
}

QTEST_MAIN(TimeRangeTest)
#include "tst_timerange.moc"
