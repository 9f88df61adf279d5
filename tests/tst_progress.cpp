// Reading the converter's output: duration, position, speed and remaining time
// from realistic text in realistic chunk splits; the information lines; the exit
// rules.
#include <QtTest>

#include "converter.h"
#include "mediainfo.h"
#include "progress.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class ProgressTest : public QObject
{
    Q_OBJECT

private slots:
    void readings_data();
    void readings();
    void everyChunkSplitGivesTheSameResult();
    void remainingText_data();
    void remainingText();
    void tailHoldsTheClosingComplaint();
    void longWarningStreamStaysBounded();
    void infoLines_data();
    void infoLines();
    void infoSplitEverywhere();
    void exitOutcomes_data();
    void exitOutcomes();
    void refreshLimiterCoalescesBursts();
};

// Feeds `text` in pieces of `chunk` bytes and returns what the display showed
// last: "percent|remaining|total|elapsed".
static QString run(const QByteArray &text, int chunk, double frameRate)
{
    ProgressParser parser;
    parser.startRun();
    std::optional<int> percent;
    std::optional<QString> remaining;
    for (qsizetype at = 0; at < text.size(); at += chunk) {
        const ProgressReading r =
            parser.feed(QByteArrayView(text).sliced(at, qMin<qsizetype>(chunk, text.size() - at)), frameRate);
        if (r.percent)
            percent = r.percent;
        if (r.remaining)
            remaining = r.remaining;
    }
    return u"%1|%2|%3|%4"_s.arg(percent ? QString::number(*percent) : u"-"_s, remaining.value_or(u"-"_s))
        .arg(parser.totalSeconds())
        .arg(parser.elapsedSeconds());
}

void ProgressTest::readings_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("frameRate");
    QTest::addColumn<QString>("expected");

    const QByteArray head =
        "Input #0, avi, from 'in.avi':\n  Duration: 00:10:00.00, start: 0.000000, bitrate: 1 kb/s\n";
    QTest::newRow("quarter, frame formula")
        << head + "frame= 3000 fps= 50 q=2.0 size=1kB time=00:02:30.00 bitrate=1kbits/s\r" << 25.0
        << u"25|3:45|600|150"_s;
    QTest::newRow("speed factor wins")
        << head + "frame= 3000 fps= 50 q=2.0 size=1kB time=00:02:30.00 bitrate=1kbits/s speed=2.5x\r" << 25.0
        << u"25|3:00|600|150"_s;
    QTest::newRow("exponent factor")
        << head + "frame=3000 fps=2500 q=2.0 size=1kB time=00:02:30.00 bitrate=1kbits/s speed=2.49e+03x\r"
        << 25.0 << u"25|0:00|600|150"_s;
    QTest::newRow("factor N/A falls back to fps")
        << head + "frame= 3000 fps=100 q=2.0 size=1kB time=00:02:00.00 bitrate=1kbits/s speed=N/A\r" << 25.0
        << u"20|2:00|600|120"_s;
    // "Original" frame rate (0): without a speed factor the time left is unknown.
    QTest::newRow("unknown frame rate, no factor")
        << head + "frame= 3000 fps=100 q=2.0 size=1kB time=00:02:00.00 bitrate=1kbits/s\r" << 0.0
        << u"20|-|600|120"_s;
    QTest::newRow("unknown frame rate, factor")
        << head + "frame= 3000 fps=100 q=2.0 size=1kB time=00:02:00.00 bitrate=1kbits/s speed=4x\r" << 0.0
        << u"20|2:00|600|120"_s;
    QTest::newRow("fps above 999")
        << head + "frame= 3000 fps=1234 q=2.0 size=1kB time=00:02:00.00 bitrate=1kbits/s\r" << 25.0
        << u"20|0:09|600|120"_s;
    QTest::newRow("long duration")
        << QByteArray(
               "  Duration: 01:02:03.45, start: 0.0\nframe=1 fps=10 size=1kB time=00:00:00.00 speed=1x\r")
        << 25.0 << u"0|62:03|3723.45|0"_s;
    QTest::newRow("older seconds form")
        << QByteArray(
               "  Duration: 00:10:00.00, start: 0.0\nframe=1 fps=0.0 q=0.0 size=0kB time=156.24 bitrate=0\r")
        << 25.0 << u"26|-|600|156.24"_s;
    QTest::newRow("seconds form, four digits")
        << QByteArray("  Duration: 01:00:00.00\nsize=1kB time=1234.56 bitrate=1 speed=1x\r") << 25.0
        << u"34|39:25|3600|1234.56"_s;
    QTest::newRow("audio only, factor only")
        << QByteArray("  Duration: 00:01:40.00, start: 0.0\nsize=     256kB time=00:00:50.00 bitrate= "
                      "41.9kbits/s speed=25x\r")
        << 0.0 << u"50|0:02|100|50"_s;
    QTest::newRow("time N/A ignored")
        << head + "frame=    0 fps=0.0 q=0.0 size=0kB time=N/A bitrate=N/A speed=N/A\r" << 25.0
        << u"-|-|600|0"_s;
    QTest::newRow("negative time ignored")
        << head + "frame=    0 fps=0.0 q=0.0 size=0kB time=-00:00:00.04 bitrate=N/A speed=N/A\r" << 25.0
        << u"-|-|600|0"_s;
    QTest::newRow("zero speed leaves display")
        << head + "frame= 10 fps=0.0 q=0.0 size=0kB time=00:01:00.00 bitrate=N/A speed=0x\r" << 25.0
        << u"10|-|600|60"_s;
    QTest::newRow("position beyond duration")
        << head + "frame= 10 fps=25 size=0kB time=00:10:30.00 bitrate=1 speed=1x\r" << 25.0
        << u"-|0:00|600|630"_s;
    QTest::newRow("truncated percentage")
        << head + "frame= 10 fps=25 size=0kB time=00:09:59.40 bitrate=1 speed=1x\r" << 25.0
        << u"99|0:00|600|599.4"_s;
    QTest::newRow("duration N/A") << QByteArray("  Duration: N/A, start: 0.0, bitrate: N/A\nframe=1 fps=25 "
                                                "size=1kB time=00:00:05.00 speed=1x\r")
                                  << 25.0 << u"-|-|0|5"_s;
    QTest::newRow("creation_time before the duration")
        << QByteArray(
               "  Metadata:\n    creation_time   : 2021-03-04T05:06:07.000000Z\n    title: 00:00:09.99 "
               "time=00:00:08.00\n"
               "  Duration: 00:00:20.00, start: 0.0\nframe=1 fps=25 size=1kB time=00:00:05.00 speed=1x\r")
        << 25.0 << u"25|0:15|20|5"_s;
    QTest::newRow("file name with Duration and time")
        << QByteArray("Input #0, avi, from '/v/Duration: 00:00:01.00 time=00:00:00.90 fps=99.avi':\n"
                      "  Duration: 00:00:40.00, start: 0.0\n"
                      "Output #0, mp4, to '/v/time=00:00:39.00.mp4':\nframe=1 fps=25 size=1kB "
                      "time=00:00:10.00 speed=2x\r")
        << 25.0 << u"25|0:15|40|10"_s;
    QTest::newRow("incomplete last line waits")
        << head + "frame= 3000 fps= 50 q=2.0 size=1kB time=00:02:30.00" << 25.0 << u"-|-|600|0"_s;
    QTest::newRow("newest status line counts")
        << head + "frame=1 fps=50 size=1kB time=00:01:00.00 speed=1x\rframe=2 fps=50 size=2kB "
                  "time=00:03:00.00 speed=1x\r"
        << 25.0 << u"30|7:00|600|180"_s;
}

void ProgressTest::readings()
{
    QFETCH(QByteArray, text);
    QFETCH(double, frameRate);
    QFETCH(QString, expected);
    QCOMPARE(run(text, int(text.size()), frameRate), expected);
    QCOMPARE(run(text, 1, frameRate), expected); // reads of one byte happen
    QCOMPARE(run(text, 7, frameRate), expected);
}

void ProgressTest::everyChunkSplitGivesTheSameResult()
{
    const QByteArray text = sampleConversionOutput(90, 250, 10);
    const QString whole = run(text, int(text.size()), 25);
    QCOMPARE(whole, u"100|0:00|90|90"_s);
    for (int chunk : {1, 2, 3, 5, 13, 64, 100, 333, 4096})
        QCOMPARE(run(text, chunk, 25), whole);

    // Overlong lines are cut the same way however they arrive: a status line whose
    // position lies beyond the cut, and a description with its keyword beyond it.
    const QByteArray filler(ProgressParser::maxLineLength + 10, 'x');
    const QByteArray longLines = "  Duration: 00:01:40.00, start: 0\n[w] " + filler + "\nframe=1 size=1kB " +
                                 filler + " time=00:00:50.00 speed=1x\r" + "Stream #0:0: " + filler +
                                 " least one output\n";
    const auto finalState = [&](int chunk) {
        ProgressParser parser;
        InfoCollector info;
        parser.startRun();
        info.start();
        for (qsizetype at = 0; at < longLines.size(); at += chunk) {
            const QByteArrayView piece =
                QByteArrayView(longLines).sliced(at, qMin<qsizetype>(chunk, longLines.size() - at));
            parser.feed(piece, 25);
            info.feed(piece);
        }
        return QStringList{parser.tail(), QString::number(parser.elapsedSeconds()), info.lines().join(u'|'),
                           info.lastLine(), QString::number(info.complete())};
    };
    const QStringList expected = finalState(int(longLines.size()));
    QCOMPARE(expected.value(1), u"0"_s); // the position lies beyond the cut
    QCOMPARE(expected.value(4), u"0"_s); // so does the closing complaint
    for (int chunk : {1, 7, 4096, 5000})
        QCOMPARE(finalState(chunk), expected);
}

void ProgressTest::remainingText_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("240") << 240.0 << u"4:00"_s;
    QTest::newRow("65.7") << 65.7 << u"1:05"_s;
    QTest::newRow("75:03") << 4503.0 << u"75:03"_s;
    QTest::newRow("no upper limit") << 600000.0 << u"10000:00"_s;
    QTest::newRow("below a second") << 0.4 << u"0:00"_s;
    QTest::newRow("negative") << -3.0 << u"0:00"_s;
    QTest::newRow("beyond whole seconds") << 1e300 << u"16666666666:40"_s;
}

void ProgressTest::remainingText()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(formatRemaining(seconds), text);
}

void ProgressTest::tailHoldsTheClosingComplaint()
{
    ProgressParser parser;
    parser.startRun();
    QByteArray text = sampleConversionOutput(30, 25, 1);
    for (int i = 0; i < 500; ++i)
        text += "[mp4 @ 0x1] warning line " + QByteArray::number(i) + "\n";
    text += "Error while opening encoder for output stream #0:1\nConversion failed!\n";
    for (qsizetype at = 0; at < text.size(); at += 1000)
        parser.feed(QByteArrayView(text).sliced(at, qMin<qsizetype>(1000, text.size() - at)), 25);
    const QStringList lines = parser.tail().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), ProgressParser::maxTailLines);
    QCOMPARE(lines.last(), u"Conversion failed!"_s);
    QVERIFY(lines.contains(u"Error while opening encoder for output stream #0:1"_s));
}

void ProgressTest::longWarningStreamStaysBounded()
{
    // 40 MB of warnings without any status line, in 4 KiB reads, plus one line
    // of 1 MB without a line end.
    const QByteArray warning = "[mpeg4 @ 0x55d0] ac-tex damaged at 12 7 (non monotonically increasing dts)\n";
    QByteArray block;
    while (block.size() < 4096)
        block += warning;
    ProgressParser parser;
    parser.startRun();
    QElapsedTimer clock;
    clock.start();
    qsizetype fed = 0;
    while (fed < 40 * 1024 * 1024) {
        parser.feed(block, 25);
        fed += block.size();
    }
    parser.feed(QByteArray(1024 * 1024, 'x'), 25);
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms < 20000, qPrintable(u"%1 ms for 40 MB"_s.arg(ms)));
    QVERIFY(parser.tail().size() <= (ProgressParser::maxTailLines + 1) * (ProgressParser::maxLineLength + 1));
    // Still reading after all that.
    const ProgressReading r =
        parser.feed("\n  Duration: 00:01:00.00\nframe=1 fps=1 size=1kB time=00:00:30.00 speed=1x\r", 25);
    QCOMPARE(r.percent.value_or(-1), 50);
}

void ProgressTest::infoLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("lastLine");

    const QByteArray closing = "At least one output file must be specified\n";
    QTest::newRow("video and audio")
        << QByteArray(
               "ffmpeg version 5.1\nInput #0, avi, from 'a.avi':\n  Metadata:\n    encoder         : Lavf59\n"
               "  Duration: 00:00:02.00, start: 0.000000, bitrate: 300 kb/s\n"
               "  Stream #0:0: Video: mpeg4, yuv420p, 160x120, 25 fps\n"
               "  Stream #0:1: Audio: mp3, 44100 Hz, mono, fltp, 64 kb/s\n") +
               closing
        << QStringList{u"Duration: 00:00:02.00, start: 0.000000, bitrate: 300 kb/s"_s,
                       u"Stream #0:0: Video: mpeg4, yuv420p, 160x120, 25 fps"_s,
                       u"Stream #0:1: Audio: mp3, 44100 Hz, mono, fltp, 64 kb/s"_s}
        << true << u"At least one output file must be specified"_s;
    QTest::newRow("audio only")
        << QByteArray(
               "Input #0, mp3, from 'a.mp3':\n  Duration: 00:00:02.04, start: 0.023021, bitrate: 64 kb/s\r\n"
               "  Stream #0:0: Audio: mp3, 44100 Hz, mono, fltp, 64 kb/s\r\n") +
               closing
        << QStringList{u"Duration: 00:00:02.04, start: 0.023021, bitrate: 64 kb/s"_s,
                       u"Stream #0:0: Audio: mp3, 44100 Hz, mono, fltp, 64 kb/s"_s}
        << true << u"At least one output file must be specified"_s;
    QTest::newRow("keywords in name and metadata")
        << QByteArray(
               "Input #0, avi, from '/v/Stream Duration.avi':\n  Metadata:\n    title           : Stream "
               "Duration\n"
               "    comment         : Duration of the Stream\n"
               "  Duration: 00:01:00.00, start: 0.000000, bitrate: 1 kb/s\n"
               "  Stream #0:0: Video: h264\n  Stream #0:1: Audio: aac\n  Stream #0:2: Subtitle: srt\n") +
               closing
        << QStringList{u"Duration: 00:01:00.00, start: 0.000000, bitrate: 1 kb/s"_s,
                       u"Stream #0:0: Video: h264"_s, u"Stream #0:1: Audio: aac"_s}
        << true << u"At least one output file must be specified"_s;
    QTest::newRow("the words in a name and a title")
        << QByteArray("Input #0, avi, from '/v/at least one take.avi':\n  Metadata:\n"
                      "    title           : At least one take\n"
                      "  Duration: 00:00:02.00, start: 0.000000, bitrate: 300 kb/s\n"
                      "  Stream #0:0: Video: mpeg4\n") +
               closing
        << QStringList{u"Duration: 00:00:02.00, start: 0.000000, bitrate: 300 kb/s"_s,
                       u"Stream #0:0: Video: mpeg4"_s}
        << true << u"At least one output file must be specified"_s;
    QTest::newRow("unreadable file")
        << QByteArray("ffmpeg version 5.1\n/tmp/x.avi: Invalid data found when processing input\n")
        << QStringList() << false << u"/tmp/x.avi: Invalid data found when processing input"_s;
    QTest::newRow("not yet complete")
        << QByteArray("  Duration: 00:00:02.00, start: 0.0\n  Stream #0:0: Video: mpeg4\n")
        << QStringList{u"Duration: 00:00:02.00, start: 0.0"_s, u"Stream #0:0: Video: mpeg4"_s} << false
        << u"Stream #0:0: Video: mpeg4"_s;
}

void ProgressTest::infoLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, lines);
    QFETCH(bool, complete);
    QFETCH(QString, lastLine);
    InfoCollector collector;
    collector.start();
    QCOMPARE(collector.feed(text), complete);
    QCOMPARE(collector.lines(), lines);
    QCOMPARE(collector.lastLine(), lastLine);
    // Arriving in pieces, the description is complete only with the closing
    // complaint, not with an earlier line that holds its words.
    if (complete) {
        InfoCollector early;
        early.start();
        QVERIFY(!early.feed(text.left(text.lastIndexOf("At least one"))));
    }
}

void ProgressTest::infoSplitEverywhere()
{
    const QByteArray text = "  Duration: 00:00:02.00, start: 0.0\n  Stream #0:0: Video: mpeg4 ü\n"
                            "  Stream #0:1: Audio: mp3\nAt least one output file must be specified\n";
    for (int chunk : {1, 2, 5, 17}) {
        InfoCollector collector;
        collector.start();
        int completions = 0;
        bool was = false;
        for (qsizetype at = 0; at < text.size(); at += chunk) {
            const bool now =
                collector.feed(QByteArrayView(text).sliced(at, qMin<qsizetype>(chunk, text.size() - at)));
            completions += now && !was;
            was = now;
        }
        QCOMPARE(completions, 1);
        QCOMPARE(collector.lines().value(1), u"Stream #0:0: Video: mpeg4 ü"_s);
        QCOMPARE(collector.lines().size(), 3);
    }
}

void ProgressTest::exitOutcomes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<bool>("stopRequested");
    QTest::addColumn<int>("outcome");
    QTest::newRow("0") << 0 << false << false << int(RunOutcome::Success);
    QTest::newRow("1") << 1 << false << false << int(RunOutcome::Error);
    QTest::newRow("2") << 2 << false << false << int(RunOutcome::Error);
    QTest::newRow("234 invalid argument") << 234 << false << false << int(RunOutcome::Error);
    QTest::newRow("254 missing input") << 254 << false << false << int(RunOutcome::Error);
    QTest::newRow("255 after stop") << 255 << false << true << int(RunOutcome::Cancelled);
    QTest::newRow("crash") << 0 << true << false << int(RunOutcome::Crashed);
    QTest::newRow("crash with 255") << 255 << true << false << int(RunOutcome::Crashed);
    QTest::newRow("killed by the stop") << 0 << true << true << int(RunOutcome::Cancelled);
    QTest::newRow("done just as stopped") << 0 << false << true << int(RunOutcome::Success);
    QTest::newRow("error despite stop") << 1 << false << true << int(RunOutcome::Error);
}

void ProgressTest::exitOutcomes()
{
    QFETCH(int, code);
    QFETCH(bool, crashed);
    QFETCH(bool, stopRequested);
    QFETCH(int, outcome);
    QCOMPARE(int(classifyExit(code, crashed ? QProcess::CrashExit : QProcess::NormalExit, stopRequested)),
             outcome);
}

void ProgressTest::refreshLimiterCoalescesBursts()
{
    int refreshes = 0;
    bool refreshAdmitted = false;
    RefreshLimiter limiter(50, [&] {
        ++refreshes;
        refreshAdmitted = limiter.admit();
    });

    // The first event of a quiet spell goes through; a burst behind it waits and
    // is refreshed once, by a call that is itself let through.
    QVERIFY(limiter.admit());
    QVERIFY(!limiter.admit());
    QVERIFY(!limiter.admit());
    QCOMPARE(refreshes, 0);
    QTRY_COMPARE_WITH_TIMEOUT(refreshes, 1, 1000);
    QVERIFY(refreshAdmitted);

    // Nothing waited during the refresh's own interval: no further call, and the
    // next event after it goes through at once.
    QTest::qWait(150);
    QCOMPARE(refreshes, 1);
    QVERIFY(limiter.admit());
    QTest::qWait(150);
    QCOMPARE(refreshes, 1);
}

QTEST_GUILESS_MAIN(ProgressTest)
#include "tst_progress.moc"
