// The notice at the end of a run, sent to a notification service of the test's
// own on a session bus of its own.
#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

#include <csignal>

#include "notification.h"
#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

// Records what it is asked to show, as a desktop's notification service would.
class Recorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &,
                const QStringList &, const QVariantMap &, int)
    {
        summaries << summary;
        return uint(summaries.size());
    }
};

class NoticeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void texts_data();
    void texts();
    void batchEndWhileInactive();

private:
    QString busAddress;
    qint64 busPid = 0;
};

void NoticeTest::initTestCase()
{
    QProcess daemon;
    daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--fork"_s, u"--print-address=1"_s, u"--print-pid=1"_s});
    QVERIFY2(daemon.waitForFinished(10000) && daemon.exitCode() == 0,
             "dbus-daemon is needed (package dbus-daemon)");
    const QList<QByteArray> lines = daemon.readAllStandardOutput().split('\n');
    QVERIFY(lines.size() >= 2);
    busAddress = QString::fromUtf8(lines[0]);
    busPid = lines[1].toLongLong();
    qputenv("DBUS_SESSION_BUS_ADDRESS", lines[0]);
}

void NoticeTest::cleanupTestCase()
{
    if (busPid > 0)
        ::kill(pid_t(busPid), SIGTERM);
}

void NoticeTest::texts_data()
{
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("expected");
    QTest::newRow("batch") << batchEndNotice(20, 0).summary << u"Batch beendet: 20 Jobs umgewandelt"_s;
    QTest::newRow("one job") << batchEndNotice(1, 0).summary << u"Batch beendet: 1 Job umgewandelt"_s;
    QTest::newRow("failed") << batchEndNotice(19, 1).summary
                            << u"Batch beendet: 19 Jobs umgewandelt, 1 Fehler"_s;
    QTest::newRow("single") << singleEndNotice(RunOutcome::Error, u"/v/a&b.mp4"_s).summary
                            << u"Konvertierung fehlgeschlagen"_s;
    QTest::newRow("markup") << singleEndNotice(RunOutcome::Success, u"/v/a&b.mp4"_s).body
                            << u"/v/a&amp;b.mp4"_s;
}

void NoticeTest::texts()
{
    QFETCH(QString, summary);
    QFETCH(QString, expected);
    QCOMPARE(summary, expected);
}

void NoticeTest::batchEndWhileInactive()
{
    FakeConverter fake;
    fake.setScenario({u"@4 exit 1"_s, u"exit 0"_s});
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 4; ++i) {
        files << dir.filePath(u"clip%1.avi"_s.arg(i));
        QFile(files.last()).open(QIODevice::WriteOnly);
    }
    MainWindow window;
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!window.isActiveWindow());

    // No service on the bus: the run ends as ever.
    window.openFiles(files.mid(0, 2));
    QTRY_COMPARE(window.batchTableWidget->rowCount(), 2);
    window.batchConvertButton->click();
    QTRY_VERIFY(window.insertJobButton->isEnabled());
    QCOMPARE(window.batchTableWidget->item(1, 1)->text(), u"Done."_s);

    Recorder recorder;
    QDBusConnection service = QDBusConnection::connectToBus(busAddress, u"service"_s);
    QVERIFY(service.registerObject(u"/org/freedesktop/Notifications"_s, &recorder,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(u"org.freedesktop.Notifications"_s));
    window.openFiles(files.mid(2));
    QTRY_COMPARE(window.batchTableWidget->rowCount(), 4);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    window.batchConvertButton->click();
    QVERIFY(answerer.waitAll());
    QTRY_COMPARE(recorder.summaries, QStringList{u"Batch beendet: 1 Job umgewandelt, 1 Fehler"_s});
}

QTEST_MAIN(NoticeTest)
#include "tst_notice.moc"
