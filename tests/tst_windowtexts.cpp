// What the window says in words about a job: the size the output gets where a
// preset bounds the picture, and the tooltip of a batch row.
#include <QtTest>

#include "interlace.h"
#include "job.h"
#include "jobtooltip.h"
#include "sizechoice.h"

using namespace Qt::StringLiterals;

class WindowTextsTest : public QObject
{
    Q_OBJECT

private slots:
    void sizeChoices_data();
    void sizeChoices();
    void jobToolTips_data();
    void jobToolTips();
};

void WindowTextsTest::sizeChoices_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("width"); // as shown, after a rotation
    QTest::addColumn<int>("height");
    QTest::addColumn<QSize>("made");
    QTest::addColumn<QString>("text");

    QTest::newRow("no limit") << 0 << 3840 << 2160 << QSize(3840, 2160) << u"Originalgröße"_s;
    QTest::newRow("portrait 1080x1920 fits")
        << 1080 << 1080 << 1920 << QSize(1080, 1920) << u"Originalgröße"_s;
    QTest::newRow("phone 1080x1440 fits") << 1080 << 1080 << 1440 << QSize(1080, 1440) << u"Originalgröße"_s;
    QTest::newRow("portrait 2160x3840") << 1080 << 2160 << 3840 << QSize(1080, 1920) << u"Größe 1080×1920"_s;
    QTest::newRow("landscape 3840x2160") << 1080 << 3840 << 2160 << QSize(1920, 1080) << u"Größe 1920×1080"_s;
    QTest::newRow("odd shape rounds even") << 720 << 1000 << 1100 << QSize(720, 792) << u"Größe 720×792"_s;
    QTest::newRow("square") << 1080 << 1440 << 1440 << QSize(1080, 1080) << u"Größe 1080×1080"_s;
    QTest::newRow("unknown source") << 1080 << 0 << 0 << QSize(0, 0) << u"höchstens 1080p"_s;
}

void WindowTextsTest::sizeChoices()
{
    QFETCH(int, limit);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QSize, made);
    QFETCH(QString, text);
    QCOMPARE(limitedSize(limit, width, height), made);
    const SizeChoice choice = sizeChoice(limit, width, height);
    QCOMPARE(choice.text, text);
    QVERIFY(!choice.toolTip.isEmpty());
    // The box says the picture changes exactly when the job's filter scales it.
    if (width > 0)
        QCOMPARE(text.startsWith(u"Größe"_s), !sizeLimitFilter(limit, height, width).isEmpty());
}

void WindowTextsTest::jobToolTips_data()
{
    QTest::addColumn<QList<QStringList>>("runs");
    QTest::addColumn<qint64>("sizeLimit");
    QTest::addColumn<QStringList>("products");

    const QString in = u"/m/Ferien <2024>.avi"_s;
    QTest::newRow("first codecs") << QList<QStringList>{{u"-y"_s,         u"-i"_s,        in,
                                                         u"-s"_s,         u"320x240"_s,   u"-vcodec"_s,
                                                         u"mpeg4"_s,      u"-r"_s,        u"25"_s,
                                                         u"-b"_s,         u"8000k"_s,     u"-acodec"_s,
                                                         u"libmp3lame"_s, u"-ar"_s,       u"44100"_s,
                                                         u"-ab"_s,        u"224k"_s,      u"-ac"_s,
                                                         u"2"_s,          u"/m/out.avi"_s}}
                                  << qint64(0)
                                  << QStringList{u"Video: mpeg4, 320×240, 25 Bilder/s, 8000 kbit/s"_s,
                                                 u"Ton: libmp3lame, 224 kbit/s, 44,1 kHz, Stereo"_s};
    QTest::newRow("copy, no sound, a part")
        << QList<QStringList>{{u"-y"_s, u"-ss"_s, u"10"_s, u"-t"_s, u"30"_s, u"-i"_s, in, u"-vcodec"_s,
                               u"copy"_s, u"-an"_s, u"/m/out.mkv"_s}}
        << qint64(0)
        << QStringList{u"Video: unverändert übernommen"_s, u"kein Ton"_s, u"Teil: ab 0:00:10, 30 s lang"_s};
    QTest::newRow("two passes to a size")
        << QList<QStringList>{{u"-y"_s, u"-i"_s, in, u"-vcodec"_s, u"libx264"_s, u"-b:v"_s, u"900k"_s,
                               u"-pass"_s, u"1"_s, u"-an"_s, u"-f"_s, u"null"_s, u"/dev/null"_s},
                              {u"-y"_s, u"-i"_s, in, u"-vcodec"_s, u"libx264"_s, u"-b:v"_s, u"900k"_s,
                               u"-pass"_s, u"2"_s, u"-acodec"_s, u"aac"_s, u"-ar"_s, u"48000"_s,
                               u"/m/out.mp4"_s}}
        << qint64(25'000'000)
        << QStringList{u"Video: libx264, 900 kbit/s"_s, u"Ton: aac, 48 kHz"_s, u"höchstens 25,00 MB"_s};
}

void WindowTextsTest::jobToolTips()
{
    QFETCH(QList<QStringList>, runs);
    QFETCH(qint64, sizeLimit);
    QFETCH(QStringList, products);
    Job job = Job::fromRuns(runs);
    job.sizeLimit = sizeLimit;
    QCOMPARE(jobProducts(job), products);

    const QString tip = jobToolTip(job);
    // Names are shown, never taken for markup; every run is there, in order.
    QVERIFY2(tip.contains(u"Ferien &lt;2024&gt;.avi"_s) && !tip.contains(u"<2024>"_s), qPrintable(tip));
    QVERIFY(tip.contains(job.output));
    qsizetype at = 0;
    for (const QStringList &run : runs) {
        at = tip.indexOf(run.last(), at);
        QVERIFY2(at >= 0, qPrintable(tip));
    }
    QCOMPARE(tip.contains(u"2 Durchgänge"_s), runs.size() == 2);
}

QTEST_MAIN(WindowTextsTest)
#include "tst_windowtexts.moc"
