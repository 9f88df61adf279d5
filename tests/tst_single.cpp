// One conversion through the window with the fake converter: every outcome and
// its report, and the protections around starting, opening and closing.
#include <QtTest>
#include <QtWidgets>

#include <csignal>

#include "quorvid.h"
#include "terminaltext.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class SingleTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void outcomes_data();
    void outcomes();
    void errorStatusGoesAfterFiveSeconds();
    void cancelledOpenDialogChangesNothing();
    void argumentsReachConverterWhole();
    void newInputGetsItsOwnName();
    void chosenNameKeepsFolderAndBase();
    void openingDuringRunKeepsConvertDisabled();
    void burstOfOutputIsShownWhileRunning();
    void inputAsOutputIsRefused();
    void existingOutputAsksFirst_data();
    void existingOutputAsksFirst();
    void secondFileEndsFirstInfoRun();
    void infoAndConversionDoNotMix();
    void unreadableFileShowsReason();
    void closingDuringRun_data();
    void closingDuringRun();

private:
    template <typename T> T *get(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    void open(const QString &file);
    bool waitIdle(int timeoutMs = 10000);
    QList<QStringList> conversions() const;

    FakeConverter *fake = nullptr;
    MainWindow *window = nullptr;
    QTemporaryDir *dir = nullptr;
    QString input;
};

// Whether an LCD shows `text`: drawn side by side with one that surely does.
static bool lcdShows(QLCDNumber *lcd, const QString &text)
{
    QLCDNumber reference(lcd->digitCount(), lcd->parentWidget());
    reference.setSegmentStyle(lcd->segmentStyle());
    reference.setAutoFillBackground(lcd->autoFillBackground());
    reference.setGeometry(lcd->geometry());
    reference.display(text);
    return reference.grab().toImage() == lcd->grab().toImage();
}

void SingleTest::init()
{
    fake = new FakeConverter;
    dir = new QTemporaryDir;
    input = dir->filePath(u"in.avi"_s);
    QFile(input).open(QIODevice::WriteOnly);
    window = new MainWindow;
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void SingleTest::cleanup()
{
    delete window;
    delete dir;
    delete fake;
}

void SingleTest::open(const QString &file)
{
    ModalAnswerer answerer;
    answerer.answerFile(file);
    get<QAction>("actionOpenFile")->trigger();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.value(0).title, u"Open File Dialog"_s);
}

bool SingleTest::waitIdle(int timeoutMs)
{
    // The run is over when the single conversion's button is back.
    QElapsedTimer clock;
    clock.start();
    while (!get<QPushButton>("convertButton")->isEnabled() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return get<QPushButton>("convertButton")->isEnabled();
}

QList<QStringList> SingleTest::conversions() const
{
    QList<QStringList> runs;
    // Not the information run ("-i" and a name), nor the picture of the opened
    // file, which goes to standard output.
    for (const QStringList &run : fake->runs())
        if (run.size() > 2 && run.last() != u"-"_s)
            runs << run;
    return runs;
}

void SingleTest::outcomes_data()
{
    QTest::addColumn<QStringList>("scenario");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("lcd");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("boxText"); // empty: no box
    QTest::addColumn<QString>("details"); // text the details must hold
    QTest::addColumn<QString>("status");

    const QString progress = u"err   Duration: 00:00:10.00, start: 0.0\\n"_s;
    const QString line = u"err frame=  125 fps= 50 q=2.0 size=10kB time=00:00:05.00 bitrate=1 speed=2x\\r"_s;
    // A good end leaves nothing to do, whatever the last estimate was.
    QTest::newRow("exit 0") << QStringList{progress, line, u"exit 0"_s} << false << u"0:00"_s << 100
                            << QString() << QString() << u"Konvertierung beendet."_s;
    QTest::newRow("exit 2 is an error")
        << QStringList{progress, line, u"err Something odd\\n"_s, u"exit 2"_s} << false << u"Error"_s << 50
        << u"<b>ffmpeg meldete einen Fehler!</b>"_s << u"Something odd"_s << u"Fehler!"_s;
    QTest::newRow("exit 254 is an error")
        << QStringList{u"err /x.avi: No such file or directory\\n"_s, u"exit 254"_s} << false << u"Error"_s
        << 0 << u"<b>ffmpeg meldete einen Fehler!</b>"_s << u"No such file or directory"_s << u"Fehler!"_s;
    QTest::newRow("exit 1 with the closing complaint")
        << QStringList{progress, line, u"err [aac @ 0x1] Unsupported codec\\nConversion failed!\\n"_s,
                       u"exit 1"_s}
        << false << u"Error"_s << 50 << u"<b>ffmpeg meldete einen Fehler!</b><br><br>Bitte überprüfen sie"_s
        << u"Unsupported codec\nConversion failed!"_s << u"Fehler!"_s;
    QTest::newRow("a question is answered by the empty input")
        << QStringList{u"ask"_s, u"exit 0"_s} << false << u"Error"_s << 0
        << u"<b>ffmpeg meldete einen Fehler!</b>"_s << u"Not overwriting - exiting"_s << u"Fehler!"_s;
    // A cause the runner named (here: the converter said it wrote a file and ended
    // well, but left none) is the box's text and the status; the bar goes back.
    QTest::newRow("cause named by the runner")
        << QStringList{progress, line,
                       u"err Output #0, matroska, to 'x':\\n  Stream #0:0: Video: h264, yuv420p\\n"_s,
                       u"err frame=25 fps=0 q=-1.0 Lsize=10kB time=00:00:01.00 bitrate=1.0kbits/s\\n"_s,
                       u"exit 0"_s}
        << false << u"Error"_s << 0 << u"<b>Die Umwandlung ist fehlgeschlagen.</b><br><br>Die Ausgabedatei"_s
        << u"Lsize=10kB"_s << u"Fehler: Die Ausgabedatei ist unvollständig: ffmpeg hat die Datei nicht"_s;
    QTest::newRow("255 after Stop") << QStringList{progress, line, u"waitterm"_s} << true << u"Cancel"_s << 50
                                    << QString() << QString() << u"Abgebrochen!"_s;
    QTest::newRow("killed by the Stop") << QStringList{progress, line, u"dieonterm"_s} << true << u"Cancel"_s
                                        << 50 << QString() << QString() << u"Abgebrochen!"_s;
    QTest::newRow("crash") << QStringList{progress, u"signal 11"_s} << false << u"Error"_s << 0
                           << u"<b>ffmpeg ist abgestürzt!</b>"_s << QString() << u"Fehler!"_s;
    QTest::newRow("no converter") << QStringList{u"nofake"_s} << false << u"ERROR"_s << 0
                                  << u"<b>ffmpeg konnte nicht gestartet werden!</b>"_s << QString()
                                  << u"Fehler!"_s;
}

void SingleTest::outcomes()
{
    QFETCH(QStringList, scenario);
    QFETCH(bool, stop);
    QFETCH(QString, lcd);
    QFETCH(int, bar);
    QFETCH(QString, boxText);
    QFETCH(QString, details);
    QFETCH(QString, status);

    open(input);
    QTRY_COMPARE(get<QTextEdit>("infoTextEdit")->document()->blockCount(), 3);
    if (scenario == QStringList{u"nofake"_s})
        FakeConverter::removeAllFromPath();
    else
        fake->setScenario(scenario);

    ModalAnswerer answerer;
    if (!boxText.isEmpty())
        answerer.clickBox(QMessageBox::Ok);
    QTest::mouseClick(get<QPushButton>("convertButton"), Qt::LeftButton);
    QVERIFY(!get<QPushButton>("convertButton")->isEnabled());
    QVERIFY(!get<QGroupBox>("batchConvertGroupBox")->isEnabled());
    QCOMPARE(window->statusBar()->currentMessage(), u"Konvertiere "_s + input);
    if (stop) {
        QTRY_COMPARE(get<QProgressBar>("progressBar")->value(), 50);
        QTest::mouseClick(get<QPushButton>("cancelButton"), Qt::LeftButton);
    }
    QVERIFY(waitIdle());
    QVERIFY(answerer.waitAll());

    QVERIFY2(lcdShows(get<QLCDNumber>("lcdNumber"), lcd), qPrintable(lcd));
    QCOMPARE(get<QProgressBar>("progressBar")->value(), bar);
    QVERIFY2(window->statusBar()->currentMessage().startsWith(status),
             qPrintable(window->statusBar()->currentMessage()));
    QVERIFY(get<QGroupBox>("batchConvertGroupBox")->isEnabled());
    if (boxText.isEmpty()) {
        QVERIFY(answerer.seen.isEmpty());
        QTest::qWait(100);
        QVERIFY(!QApplication::activeModalWidget());
    } else {
        QCOMPARE(answerer.seen.size(), 1);
        const SeenDialog &box = answerer.seen.first();
        QCOMPARE(box.title, u"Quorvid Fehler"_s);
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttons.size(), details.isEmpty() ? 1 : 2); // OK, and "Show Details..." with details
        QVERIFY2(box.text.startsWith(boxText), qPrintable(box.text));
        QVERIFY2(box.detailedText.contains(details), qPrintable(box.detailedText));
        // Only the converter's text of this run, never the information run's.
        QVERIFY(!box.detailedText.contains(u"Stream #0:0: Video: mpeg4 (Simple Profile)"_s));
    }

    // The figures belong to the file converted: another one starts afresh.
    const QString other = dir->filePath(u"other.avi"_s);
    QFile(other).open(QIODevice::WriteOnly);
    open(other);
    QCOMPARE(get<QProgressBar>("progressBar")->value(), 0);
    QVERIFY(lcdShows(get<QLCDNumber>("lcdNumber"), QString()));
}

void SingleTest::errorStatusGoesAfterFiveSeconds()
{
    open(input);
    fake->setScenario({u"exit 1"_s});
    // Timed from the moment the text appears to the moment it goes: a coarse timer
    // may end up to 5 % early (4750 ms), and the status bar starts its timer a
    // moment before it says the text, both counted in whole milliseconds; so the
    // lower bound keeps a few milliseconds of slack. A loaded machine may be late.
    QElapsedTimer shown;
    qint64 shownFor = -1;
    connect(window->statusBar(), &QStatusBar::messageChanged, this, [&](const QString &text) {
        if (text == u"Fehler!")
            shown.start();
        else if (text.isEmpty() && shown.isValid())
            shownFor = shown.elapsed();
    });
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("convertButton")->click();
    QVERIFY(answerer.waitAll());
    QCOMPARE(window->statusBar()->currentMessage(), u"Fehler!"_s);
    QTRY_VERIFY_WITH_TIMEOUT(shownFor >= 0, 20000);
    QVERIFY2(shownFor >= 4740, qPrintable(QString::number(shownFor)));
}

void SingleTest::cancelledOpenDialogChangesNothing()
{
    open(input);
    QTRY_COMPARE(get<QTextEdit>("infoTextEdit")->document()->blockCount(), 3);
    const QString output = get<QLineEdit>("saveLineEdit")->text();
    open(QString());
    QCOMPARE(get<QLineEdit>("openLineEdit")->text(), input);
    QCOMPARE(get<QLineEdit>("saveLineEdit")->text(), output);
    QCOMPARE(get<QTextEdit>("infoTextEdit")->document()->blockCount(), 3);
}

void SingleTest::argumentsReachConverterWhole()
{
    const QString odd = dir->filePath(u"my 'odd' clip ü 日本 [1] #%;&$.avi"_s);
    QFile(odd).open(QIODevice::WriteOnly);
    open(odd);
    get<QPushButton>("convertButton")->click();
    QVERIFY(waitIdle());
    QCOMPARE(conversions().size(), 1);
    const QStringList args = conversions().first();
    QCOMPARE(args.value(2), odd);
    QCOMPARE(args.last(), dir->filePath(u"my 'odd' clip ü 日本 [1] #%;&$-Kopie.avi"_s));
}

void SingleTest::newInputGetsItsOwnName()
{
    const QString second = dir->filePath(u"clip2.avi"_s);
    QFile(second).open(QIODevice::WriteOnly);
    open(input);
    QCOMPARE(get<QLineEdit>("saveLineEdit")->text(), dir->filePath(u"in-Kopie.avi"_s));
    open(second);
    QCOMPARE(get<QLineEdit>("saveLineEdit")->text(), dir->filePath(u"clip2-Kopie.avi"_s));
}

void SingleTest::chosenNameKeepsFolderAndBase()
{
    const QString second = dir->filePath(u"clip2.avi"_s);
    QFile(second).open(QIODevice::WriteOnly);
    open(input);
    ModalAnswerer answerer;
    answerer.answerFile(dir->filePath(u"chosen.xyz"_s));
    get<QAction>("actionSaveFile")->trigger();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.value(0).title, u"Save File Dialog"_s);
    QCOMPARE(get<QLineEdit>("saveLineEdit")->text(), dir->filePath(u"chosen.avi"_s));
    open(second);
    QCOMPARE(get<QLineEdit>("saveLineEdit")->text(), dir->filePath(u"chosen.avi"_s));
}

void SingleTest::openingDuringRunKeepsConvertDisabled()
{
    open(input);
    fake->setScenario({u"waitterm"_s});
    get<QPushButton>("convertButton")->click();
    QTest::qWait(200);
    open(input);
    QVERIFY(!get<QPushButton>("convertButton")->isEnabled());
    get<QPushButton>("cancelButton")->click();
    QVERIFY(waitIdle());
    QVERIFY(lcdShows(get<QLCDNumber>("lcdNumber"), u"Cancel"_s));
}

void SingleTest::burstOfOutputIsShownWhileRunning()
{
    // The status lines come just behind the first output, inside the refresh
    // interval, and then the converter falls silent: they must still be shown
    // while it runs, not only when it ends.
    open(input);
    fake->setScenario({u"err   Duration: 00:00:10.00, start: 0.0\\n"_s, u"sleep 20"_s,
                       u"err frame=   50 fps= 50 q=2.0 size=4kB time=00:00:02.00 bitrate=1 speed=2x\\r"_s,
                       u"err frame=  125 fps= 50 q=2.0 size=10kB time=00:00:05.00 bitrate=1 speed=2x\\r"_s,
                       u"waitterm"_s});
    get<QPushButton>("convertButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(get<QProgressBar>("progressBar")->value(), 50, 2000);
    QVERIFY(lcdShows(get<QLCDNumber>("lcdNumber"), u"0:02"_s));
    QVERIFY(!get<QPushButton>("convertButton")->isEnabled());
    get<QPushButton>("cancelButton")->click();
    QVERIFY(waitIdle());
}

void SingleTest::inputAsOutputIsRefused()
{
    open(input);
    get<QLineEdit>("saveLineEdit")->setText(dir->path() + u"/./in.avi"_s);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("convertButton")->click();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.first().icon, QMessageBox::Critical);
    QVERIFY(answerer.seen.first().text.contains(u"dieselbe Datei"_s));
    QVERIFY(conversions().isEmpty());
    QVERIFY(get<QPushButton>("convertButton")->isEnabled());
}

void SingleTest::existingOutputAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("name");
    QTest::newRow("Nein") << false << u"in.avi"_s;
    QTest::newRow("Ja, name with an escape sequence") << true << u"in\u001b]0;weg\u0007 zwei.avi"_s;
}

void SingleTest::existingOutputAsksFirst()
{
    QFETCH(bool, yes);
    QFETCH(QString, name);
    const QString file = dir->filePath(name);
    QFile(file).open(QIODevice::WriteOnly);
    open(file);
    const QString output = get<QLineEdit>("saveLineEdit")->text();
    QFile(output).open(QIODevice::WriteOnly);
    fake->setScenario({u"sleep 1000"_s, u"exit 0"_s});
    ModalAnswerer answerer;
    answerer.clickBox(yes ? QMessageBox::Yes : QMessageBox::No);
    get<QPushButton>("convertButton")->click();
    QVERIFY(answerer.waitAll());
    const SeenDialog &box = answerer.seen.first();
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QVERIFY(box.buttons.contains(u"&Ja"_s) && box.buttons.contains(u"&Nein"_s));
    // Control characters of a name are shown, not drawn, in the box and the status bar.
    QVERIFY2(box.text.contains(printableText(output).toHtmlEscaped()), qPrintable(box.text));
    QVERIFY(std::none_of(box.text.begin(), box.text.end(), [](QChar c) { return c.unicode() < 0x20; }));
    if (yes)
        QCOMPARE(window->statusBar()->currentMessage(), u"Konvertiere "_s + printableText(file));
    QVERIFY(waitIdle());
    QCOMPARE(conversions().size(), yes ? 1 : 0);
}

void SingleTest::secondFileEndsFirstInfoRun()
{
    const QString second = dir->filePath(u"second.avi"_s);
    QFile(second).open(QIODevice::WriteOnly);
    QStringList slow = FakeConverter::describing(u"first"_s);
    slow.prepend(u"sleep 3000"_s);
    fake->setInfoScenario(slow);
    open(input);
    QTest::qWait(100);
    fake->setInfoScenario(FakeConverter::describing(u"second"_s));
    QElapsedTimer clock;
    clock.start();
    open(second);
    QTRY_COMPARE(get<QTextEdit>("infoTextEdit")->document()->blockCount(), 3);
    QVERIFY(clock.elapsed() < 2500);
    QTest::qWait(3500); // the first run would have spoken by now
    QCOMPARE(get<QTextEdit>("infoTextEdit")->document()->blockCount(), 3);
    QVERIFY(get<QTextEdit>("infoTextEdit")->toPlainText().startsWith(u"Duration: 00:00:06.00"_s));
}

void SingleTest::infoAndConversionDoNotMix()
{
    QStringList slow = FakeConverter::describing(u"in"_s);
    slow.prepend(u"sleep 600"_s);
    fake->setInfoScenario(slow);
    fake->setScenario({u"sleep 1200"_s, u"err conversion complaint\\n"_s, u"exit 1"_s});
    open(input);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("convertButton")->click();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.first().detailedText, u"conversion complaint\n"_s);
    QCOMPARE(get<QTextEdit>("infoTextEdit")->document()->blockCount(), 3);
}

void SingleTest::unreadableFileShowsReason()
{
    // Shown as plain text, exactly as written: no markup taken from a file name.
    fake->setInfoScenario(
        {u"err ffmpeg version 5.1\\n"_s,
         u"err /x/Duration 1, <b>no &amp; clip.avi: Invalid data found when processing input\\n"_s,
         u"exit 1"_s});
    open(input);
    QTRY_COMPARE(get<QTextEdit>("infoTextEdit")->toPlainText(),
                 u"/x/Duration 1, <b>no &amp; clip.avi: Invalid data found when processing input"_s);
}

void SingleTest::closingDuringRun_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Nein keeps it running") << false;
    QTest::newRow("Ja stops it and closes") << true;
}

void SingleTest::closingDuringRun()
{
    QFETCH(bool, yes);
    open(input);
    const QString pidFile = dir->filePath(u"pid"_s);
    fake->setScenario({u"pid "_s + pidFile, u"waitterm"_s});
    get<QPushButton>("convertButton")->click();
    QTRY_VERIFY(FakeConverter::writtenPid(pidFile) > 0);
    const pid_t pid = FakeConverter::writtenPid(pidFile);

    ModalAnswerer answerer;
    answerer.clickBox(yes ? QMessageBox::Yes : QMessageBox::No);
    get<QAction>("actionClose")->trigger();
    QVERIFY(answerer.waitAll());
    QVERIFY(answerer.seen.first().text.contains(u"Konvertierung läuft noch"_s));
    if (!yes) {
        QVERIFY(window->isVisible());
        QCOMPARE(::kill(pid, 0), 0);
        get<QPushButton>("cancelButton")->click();
        QVERIFY(waitIdle());
    } else {
        QVERIFY(!window->isVisible());
        // The converter has ended (and was reaped) before the window closed.
        QCOMPARE(::kill(pid, 0), -1);
        QVERIFY(!QApplication::activeModalWidget());
    }
}

QTEST_MAIN(SingleTest)
#include "tst_single.moc"
