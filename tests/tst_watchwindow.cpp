// Watched folders through the window: files that arrive become jobs of the batch
// list, run at once with the fake converter, and are never taken twice.
#include <QtTest>
#include <QtWidgets>

#include "quorvid.h"
#include "testsupport.h"
#include "watchlist.h"

using namespace Qt::StringLiterals;

class WatchWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void arrivalsBecomeJobs();

private:
    QTemporaryDir home;
};

void WatchWindowTest::initTestCase()
{
    // The window's settings, journal and recovery file of this test alone.
    qputenv("XDG_CONFIG_HOME", home.filePath(u"config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(u"data"_s).toUtf8());
}

void WatchWindowTest::arrivalsBecomeJobs()
{
    FakeConverter fake;
    fake.setScenario({u"exit 0"_s});
    const QString in = home.filePath(u"in"_s);
    const QString out = home.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
    WatchEntry entry;
    entry.folder = in;
    entry.preset = u"DVD (PAL)"_s;
    entry.outputFolder = out;
    QVERIFY(writeWatchList({entry}));
    const auto touch = [&](const QString &name) {
        QFile file(in + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("clip");
    };
    const auto statusOf = [](QTableWidget *table, int row) {
        return table->item(row, 1) ? table->item(row, 1)->text() : QString();
    };
    // Arrived while no Quorvid ran.
    touch(u"vorher.avi"_s);
    {
        MainWindow window;
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 20000);
        QVERIFY(table->item(0, 0)->toolTip().contains(u"überwachten Ordner"_s));
        QVERIFY(table->item(0, 0)->text().endsWith(out + u"/vorher.mpg"_s));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(table, 0), u"Done."_s, 20000);
        // One arriving now, and one still being downloaded, which is never taken.
        touch(u"danach.avi"_s);
        touch(u"laedt.avi.part"_s);
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 2, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(table, 1), u"Done."_s, 20000);
        QVERIFY(table->item(1, 0)->text().contains(u"danach.avi"_s));
        QTest::qWait(6000);
        QCOMPARE(table->rowCount(), 2);
    }
    const auto conversions = [&] {
        int n = 0;
        for (const QStringList &run : fake.runs())
            n += run.contains(u"pal-dvd"_s) ? 1 : 0;
        return n;
    };
    QCOMPARE(conversions(), 2);
    // The next start takes nothing again: the journal knows both.
    MainWindow again;
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QTest::qWait(7000);
    QCOMPARE(again.findChild<QTableWidget *>(u"batchTableWidget"_s)->rowCount(), 0);
    QCOMPARE(conversions(), 2);
}

QTEST_MAIN(WatchWindowTest)
#include "tst_watchwindow.moc"
