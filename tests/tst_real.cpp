// The window with the installed converter: information box, a conversion with
// progress and remaining time, stopping, and a batch of three jobs.
#include <QtTest>
#include <QtWidgets>

#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class RealTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void information_data();
    void information();
    void convertWithProgress();
    void stopLongerRun();
    void batchOfThree();

private:
    template <typename T> T *get(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    void open(const QString &file);
    void setVideoCodec(int index);
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    static QString probe(const QString &file);

    QTemporaryDir dir;
    QString clip, audio, broken, longClip;
    MainWindow *window = nullptr;
};

void RealTest::initTestCase()
{
    clip = dir.filePath(u"my 'clip' ü.avi"_s);
    audio = dir.filePath(u"sound.mp3"_s);
    broken = dir.filePath(u"broken.avi"_s);
    longClip = dir.filePath(u"long.avi"_s);
    QVERIFY(makeClip(clip, 6));
    QVERIFY(makeClip(audio, 2, false, true));
    QVERIFY(makeClip(longClip, 20, true, true, u"320x240"_s));
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("this is not a video\n");
}

void RealTest::init()
{
    window = new MainWindow;
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void RealTest::cleanup()
{
    delete window;
}

void RealTest::open(const QString &file)
{
    ModalAnswerer answerer;
    answerer.answerFile(file);
    get<QAction>("actionOpenFile")->trigger();
    QVERIFY(answerer.waitAll());
}

void RealTest::setVideoCodec(int index)
{
    get<QComboBox>("vcodecComboBox")->setCurrentIndex(index);
    QMetaObject::invokeMethod(window, "vcopywahl"); // what the user's choice runs
}

bool RealTest::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return done();
}

QString RealTest::probe(const QString &file)
{
    QProcess p;
    p.start(u"ffprobe"_s,
            {u"-v"_s, u"error"_s, u"-show_entries"_s, u"stream=codec_name"_s, u"-of"_s, u"csv=p=0"_s, file});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return u"invalid"_s;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().replace(u'\n', u',');
}

void RealTest::information_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QStringList>("starts");
    QTest::newRow("video and audio") << u"clip"_s
                                     << QStringList{u"Duration: 00:00:06"_s, u"Stream #0:0"_s,
                                                    u"Stream #0:1"_s};
    QTest::newRow("audio only") << u"audio"_s
                                << QStringList{u"Duration: 00:00:02"_s, u"Stream #0:0: Audio"_s};
    QTest::newRow("unreadable") << u"broken"_s << QStringList{broken.isEmpty() ? QString() : QString()};
}

void RealTest::information()
{
    QFETCH(QString, which);
    QFETCH(QStringList, starts);
    const QString file = which == u"clip" ? clip : which == u"audio" ? audio : broken;
    open(file);
    QTextEdit *info = get<QTextEdit>("infoTextEdit");
    if (which == u"broken") {
        QTRY_VERIFY_WITH_TIMEOUT(info->toPlainText().contains(u"Invalid data found"_s), 10000);
        QCOMPARE(info->document()->blockCount(), 1);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(info->document()->blockCount(), int(starts.size()), 10000);
    QTest::qWait(200);
    const QStringList lines = info->toPlainText().split(u'\n');
    QCOMPARE(lines.size(), starts.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].startsWith(starts[i]), qPrintable(lines[i]));
}

void RealTest::convertWithProgress()
{
    open(clip);
    setVideoCodec(5);
    const QString output = get<QLineEdit>("saveLineEdit")->text();
    QCOMPARE(output, dir.filePath(u"my 'clip' ü.mp4"_s));
    QSignalSpy bar(get<QProgressBar>("progressBar"), &QProgressBar::valueChanged);
    QLCDNumber zero(7, get<QLCDNumber>("lcdNumber")->parentWidget());
    zero.setSegmentStyle(QLCDNumber::Flat);
    zero.setAutoFillBackground(true); // as the window's own
    zero.setGeometry(get<QLCDNumber>("lcdNumber")->geometry());
    zero.display(u"0"_s);
    bool showedRemaining = false;
    get<QPushButton>("convertButton")->click();
    QVERIFY(waitFor(
        [&] {
            showedRemaining |= zero.grab().toImage() != get<QLCDNumber>("lcdNumber")->grab().toImage();
            return get<QPushButton>("convertButton")->isEnabled();
        },
        60000));
    QCOMPARE(window->statusBar()->currentMessage(), u"Konvertierung beendet."_s);
    QCOMPARE(get<QProgressBar>("progressBar")->value(), 100);
    QVERIFY(showedRemaining);
    QVERIFY(!bar.isEmpty());
    QCOMPARE(probe(output), u"mpeg4,mp3"_s);
}

void RealTest::stopLongerRun()
{
    open(longClip);
    setVideoCodec(2); // mjpeg at full HD: slow enough to be stopped
    get<QSpinBox>("vauflspinBox")->setValue(1920);
    get<QSpinBox>("hauflspinBox")->setValue(1080);
    get<QPushButton>("convertButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(get<QProgressBar>("progressBar")->value() > 0, 30000);
    QVERIFY(get<QProgressBar>("progressBar")->value() < 100);
    get<QPushButton>("cancelButton")->click();
    QVERIFY(waitFor([&] { return get<QPushButton>("convertButton")->isEnabled(); }, 30000));
    QCOMPARE(window->statusBar()->currentMessage(), u"Abgebrochen!"_s);
    QVERIFY(get<QGroupBox>("batchConvertGroupBox")->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
}

void RealTest::batchOfThree()
{
    open(clip);
    const struct
    {
        int codec;
        const char *suffix;
        QString expected;
    } jobs[] = {{5, ".mp4", u"mpeg4,mp3"_s}, {6, ".flv", u"flv1,mp3"_s}, {3, ".mpg", u"mpeg1video,mp3"_s}};
    QStringList outputs;
    for (const auto &job : jobs) {
        setVideoCodec(job.codec);
        outputs << get<QLineEdit>("saveLineEdit")->text();
        QFile::remove(outputs.last()); // left by an earlier test; would be asked about
        QVERIFY(outputs.last().endsWith(QLatin1String(job.suffix)));
        get<QPushButton>("insertJobButton")->click();
    }
    const auto runAll = [&] {
        get<QPushButton>("batchConvertButton")->click();
        QVERIFY(waitFor([&] { return get<QPushButton>("insertJobButton")->isEnabled(); }, 120000));
        QCOMPARE(window->statusBar()->currentMessage(), u"Konvertierung beendet."_s);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(probe(outputs[i]), jobs[i].expected);
    };
    runAll();

    ModalAnswerer save;
    save.answerFile(dir.filePath(u"three"_s));
    get<QAction>("actionBatchdateiSpeichern")->trigger();
    QVERIFY(save.waitAll());
    for (const QString &o : outputs)
        QFile::remove(o);
    ModalAnswerer load;
    load.clickBox(QMessageBox::Ok);
    load.answerFile(dir.filePath(u"three.btc"_s));
    get<QAction>("actionBatchdateiLaden")->trigger();
    QVERIFY(load.waitAll());
    QCOMPARE(get<QTableWidget>("batchTableWidget")->rowCount(), 3);
    runAll();
}

QTEST_MAIN(RealTest)
#include "tst_real.moc"
