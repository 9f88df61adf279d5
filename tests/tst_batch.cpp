// The batch list, the runner and batch files, through the window with the fake
// converter; the job text and file format functions directly.
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/resource.h>
#include <sys/types.h>

#include "batchfile.h"
#include "batchtable.h"
#include "joblist.h"
#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sortOrder();
    void jobTexts_data();
    void jobTexts();
    void fileFormatRoundTrip();
    void readingLineEnds_data();
    void readingLineEnds();
    void fileName_data();
    void fileName();
    void filesReplaceList();
    void commaPathsAccepted();
    void insertAndDelete_data();
    void insertAndDelete();
    void listAndTableAgree_data();
    void listAndTableAgree();
    void threeJobsSucceed();
    void jobChangePaintsBarOnce();
    void stopThenResume_data();
    void stopThenResume();
    void errorEndsRun_data();
    void errorEndsRun();
    void failedStart();
    void frameRateFromJob();
    void inputAsOutputRefused();
    void existingOutputsAsked();
    void saveAndLoad();
    void saveEmptyListShowsNotice();
    void loadAsksBeforeReplacing();
    void unreadableFileChangesNothing_data();
    void unreadableFileChangesNothing();
    void failedSaveKeepsOldFile();
    void cellsNotEditable();
    void destroyedWindowEndsConverter();

private:
    template <typename T> T *get(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QTableWidget *table() { return get<QTableWidget>("batchTableWidget"); }
    QString touch(const QString &name);
    void chooseFiles(const QStringList &files);
    void addJobs(int count);
    bool waitRunEnd(int timeoutMs = 15000);
    QStringList statuses();
    QList<QStringList> conversions() const;

    FakeConverter *fake = nullptr;
    MainWindow *window = nullptr;
    QTemporaryDir *dir = nullptr;
};

void BatchTest::init()
{
    fake = new FakeConverter;
    dir = new QTemporaryDir;
    window = new MainWindow;
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void BatchTest::cleanup()
{
    delete window;
    delete dir;
    delete fake;
}

QString BatchTest::touch(const QString &name)
{
    const QString path = dir->filePath(name);
    QFile(path).open(QIODevice::WriteOnly);
    return path;
}

void BatchTest::chooseFiles(const QStringList &files)
{
    if (files.isEmpty()) {
        ModalAnswerer answerer;
        answerer.answerFile(QString());
        get<QAction>("actionMoreFiles")->trigger();
        QVERIFY(answerer.waitAll());
        return;
    }
    // Several files are typed as a quoted list into the dialog's name field.
    const AnnouncedBoxes answeredHere;
    QStringList quoted;
    for (const QString &f : files)
        quoted << u'"' + QFileInfo(f).fileName() + u'"';
    QTimer poll;
    QPointer<QWidget> seen;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        if (seen != dialog) { // answer on the second sight, inside the dialog's loop
            seen = dialog;
            return;
        }
        poll.stop();
        dialog->setDirectory(dir->path());
        if (auto *edit = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s))
            edit->setText(quoted.join(u' '));
        static_cast<QDialog *>(dialog)->accept();
    });
    poll.start(20);
    QTimer::singleShot(8000, &poll, &QTimer::stop);
    get<QAction>("actionMoreFiles")->trigger();
    QVERIFY(!poll.isActive());
}

void BatchTest::addJobs(int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << touch(u"job%1.avi"_s.arg(i));
    chooseFiles(files);
    QCOMPARE(table()->rowCount(), count);
}

bool BatchTest::waitRunEnd(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!get<QPushButton>("insertJobButton")->isEnabled() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return get<QPushButton>("insertJobButton")->isEnabled();
}

QStringList BatchTest::statuses()
{
    QStringList s;
    for (int row = 0; row < table()->rowCount(); ++row)
        s << (table()->item(row, 1) ? table()->item(row, 1)->text() : u"-"_s);
    return s;
}

QList<QStringList> BatchTest::conversions() const
{
    QList<QStringList> runs;
    // Not the information run ("-i" and a name), nor the picture of the opened
    // file, which goes to standard output.
    for (const QStringList &run : fake->runs())
        if (run.size() > 2 && run.last() != u"-"_s)
            runs << run;
    return runs;
}

void BatchTest::sortOrder()
{
    QStringList files{u"b.avi"_s, u"zebra.avi"_s, u"A.avi"_s, u"Äpfel.avi"_s, u"c.AVI"_s};
    std::sort(files.begin(), files.end(), caseInsensitiveLessThan);
    QCOMPARE(files, (QStringList{u"A.avi"_s, u"b.avi"_s, u"c.AVI"_s, u"zebra.avi"_s, u"Äpfel.avi"_s}));
}

void BatchTest::jobTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parts");
    QTest::addColumn<QString>("input");
    QTest::addColumn<double>("rate"); // 0: none
    QTest::newRow("mpeg4")
        << u"-y,-i,/h/film.avi,-s,320x240,-vcodec,mpeg4,-r,25,-aspect,4:3,-b,8000k,-acodec,"
           "libmp3lame,-ar,44100,-ab,224k,-ac,2,/h/film.mp4"_s
        << 22 << u"/h/film.avi"_s << 25.0;
    QTest::newRow("30 fps") << u"-y,-i,/a.avi,-r,30,/a.mp4"_s << 6 << u"/a.avi"_s << 30.0;
    QTest::newRow("copy, no rate") << u"-y,-i,/a.avi,-vcodec,copy,-acodec,copy,/a-Kopie.avi"_s << 8
                                   << u"/a.avi"_s << 0.0;
    QTest::newRow("empty parts") << u"-y,,-i"_s << 3 << u"-i"_s << 0.0;
    QTest::newRow("empty text") << QString() << 1 << QString() << 0.0;
}

void BatchTest::jobTexts()
{
    QFETCH(QString, text);
    QFETCH(int, parts);
    QFETCH(QString, input);
    QFETCH(double, rate);
    QCOMPARE(jobArguments(text).size(), parts);
    QCOMPARE(jobText(jobArguments(text)), text);
    QCOMPARE(jobInput(text), input);
    QCOMPARE(jobFrameRate(text).value_or(0), rate);
}

void BatchTest::fileFormatRoundTrip()
{
    const QStringList jobs{u"-y,-i,/a ü.avi,-vcodec,copy,/b.avi"_s, QString(), u"-y,-i,/c.avi,-an,/d.avi"_s};
    const QByteArray content = batchFileContent(jobs);
    QCOMPARE(content, QByteArray("-y,-i,/a \xc3\xbc.avi,-vcodec,copy,/b.avi\n-y,-i,/c.avi,-an,/d.avi\n"));
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    QCOMPARE(readJobTexts(buffer), (QStringList{jobs[0], jobs[2]}));
}

void BatchTest::readingLineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("jobs");
    QTest::newRow("LF") << QByteArray("a,b\nc,d\n") << QStringList{u"a,b"_s, u"c,d"_s};
    QTest::newRow("CR LF") << QByteArray("a,b\r\nc,d\r\n") << QStringList{u"a,b"_s, u"c,d"_s};
    QTest::newRow("no last LF") << QByteArray("a,b\nc,d") << QStringList{u"a,b"_s, u"c,d"_s};
    QTest::newRow("empty line kept") << QByteArray("a\n\nb\n") << QStringList{u"a"_s, QString(), u"b"_s};
    QTest::newRow("UTF-8 BOM") << QByteArray("\xef\xbb\xbf-y,\xc3\xa4\n") << QStringList{u"-y,ä"_s};
    QTest::newRow("UTF-16 BOM") << QByteArray("\xff\xfe-\0y\0\n\0", 8) << QStringList{u"-y"_s};
    QTest::newRow("empty file") << QByteArray() << QStringList();
}

void BatchTest::readingLineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, jobs);
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    QCOMPARE(readJobTexts(buffer), jobs);
}

void BatchTest::fileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("list") << u"/t/list"_s << u"/t/list.btc"_s;
    QTest::newRow("list.btc") << u"/t/list.btc"_s << u"/t/list.btc"_s;
    QTest::newRow("LIST.BTC") << u"/t/LIST.BTC"_s << u"/t/LIST.BTC.btc"_s;
}

void BatchTest::fileName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    QCOMPARE(batchFileName(chosen), written);
}

void BatchTest::filesReplaceList()
{
    addJobs(2);
    table()->setItem(0, 1, new QTableWidgetItem(u"Done."_s));
    const QStringList files{touch(u"b.avi"_s), touch(u"A.avi"_s), touch(u"c.AVI"_s)};
    chooseFiles(files);
    QCOMPARE(table()->rowCount(), 3);
    QCOMPARE(statuses(), (QStringList{u"-"_s, u"-"_s, u"-"_s}));
    QCOMPARE(jobInput(table()->item(0, 0)->text()), dir->filePath(u"A.avi"_s));
    QCOMPARE(jobInput(table()->item(2, 0)->text()), dir->filePath(u"c.AVI"_s));
    QCOMPARE(jobOutput(table()->item(2, 0)->text()), dir->filePath(u"c-Kopie.AVI"_s));
    QCOMPARE(table()->item(0, 0)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QVERIFY(get<QPushButton>("batchConvertButton")->isEnabled());
    // A cancelled dialog changes nothing.
    chooseFiles({});
    QCOMPARE(table()->rowCount(), 3);
}

void BatchTest::commaPathsAccepted()
{
    // Names with commas were once refused; they are ordinary jobs now, kept
    // element for element and shown as their job text.
    const QStringList files{touch(u"a,b.avi"_s), touch(u"ok.avi"_s)};
    chooseFiles(files);
    QCOMPARE(table()->rowCount(), 2);
    QVERIFY(table()->item(0, 0)->text().contains(dir->filePath(u"a,b.avi"_s)));

    get<QLineEdit>("openLineEdit")->setText(dir->filePath(u"a,b.avi"_s));
    get<QLineEdit>("saveLineEdit")->setText(dir->filePath(u"out,1.avi"_s));
    get<QPushButton>("insertJobButton")->click();
    QCOMPARE(table()->rowCount(), 3);
    QVERIFY(table()->item(2, 0)->text().endsWith(dir->filePath(u"out,1.avi"_s)));
}

void BatchTest::insertAndDelete_data()
{
    QTest::addColumn<QString>("done");   // rows done before, e.g. "01"
    QTest::addColumn<QString>("remove"); // rows selected for removal
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("startEnabled");
    QTest::newRow("remove done row 0") << u"01"_s << u"0"_s << 2 << 1 << true;
    QTest::newRow("remove pending row 2") << u"01"_s << u"2"_s << 2 << 2 << false;
    QTest::newRow("nothing selected") << u"0"_s << QString() << 3 << 1 << true;
    QTest::newRow("remove all") << QString() << u"012"_s << 0 << 0 << false;
    QTest::newRow("remove middle") << QString() << u"1"_s << 2 << 0 << true;
}

void BatchTest::insertAndDelete()
{
    QFETCH(QString, done);
    QFETCH(QString, remove);
    QFETCH(int, rows);
    QFETCH(int, current);
    QFETCH(bool, startEnabled);
    addJobs(3);
    for (QChar c : done)
        table()->setItem(c.digitValue(), 1, new QTableWidgetItem(u"Done."_s));
    table()->clearSelection();
    table()->setSelectionMode(QAbstractItemView::MultiSelection);
    for (QChar c : remove)
        table()->selectRow(c.digitValue());
    get<QPushButton>("delJobButton")->click();
    QCOMPARE(table()->rowCount(), rows);
    QCOMPARE(get<QPushButton>("batchConvertButton")->isEnabled(), startEnabled);
    // The runner starts the current job: with the fake converter the log shows which.
    if (startEnabled) {
        const QString expected = table()->item(current, 0)->text();
        get<QPushButton>("batchConvertButton")->click();
        QVERIFY(waitRunEnd());
        QCOMPARE(jobText(conversions().first()), expected);
    }
}

void BatchTest::listAndTableAgree_data()
{
    // Steps: "a" appends jobs x and y to the list, "i" inserts a row with job z
    // at the top of the table, "d" puts a Status item into row 1, "u" takes it
    // out again, "f" marks row 0 failed in the list, "r" removes row 0 in the table,
    // "s" selects row 1 and removes the selection from the list.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("jobs");   // the list's job texts, joined with "|"
    QTest::addColumn<QString>("states"); // P, D, F per job
    QTest::addColumn<QString>("status"); // the Status cells' texts, "-" for none
    QTest::newRow("appended") << u"a"_s << u"x|y"_s << u"PP"_s << u"--"_s;
    QTest::newRow("row inserted in the table") << u"ai"_s << u"z|x|y"_s << u"PPP"_s << u"---"_s;
    QTest::newRow("status item marks done") << u"aid"_s << u"z|x|y"_s << u"PDP"_s << u"-x-"_s;
    QTest::newRow("status item taken: pending") << u"aidu"_s << u"z|x|y"_s << u"PPP"_s << u"---"_s;
    QTest::newRow("failed shown") << u"af"_s << u"x|y"_s << u"FP"_s << u"Fehler-"_s;
    QTest::newRow("row removed in the table") << u"aidr"_s << u"x|y"_s << u"DP"_s << u"x-"_s;
    QTest::newRow("selected row removed") << u"aids"_s << u"z|y"_s << u"PP"_s << u"--"_s;
}

void BatchTest::listAndTableAgree()
{
    QFETCH(QString, steps);
    QTableWidget table(0, 2);
    JobList list;
    new BatchTable(&table, &list);
    for (const QChar step : steps) {
        switch (step.unicode()) {
        case 'a':
            list.append({Job::fromText(u"x"_s), Job::fromText(u"y"_s)});
            break;
        case 'i':
            table.insertRow(0);
            table.setItem(0, 0, new QTableWidgetItem(u"z"_s));
            break;
        case 'd':
            table.setItem(1, 1, new QTableWidgetItem(u"x"_s));
            break;
        case 'u':
            delete table.takeItem(1, 1);
            break;
        case 'f':
            list.setState(0, ListedState::Failed, u"kaputt"_s);
            break;
        case 'r':
            table.removeRow(0);
            break;
        case 's':
            table.setSelectionMode(QAbstractItemView::MultiSelection);
            table.selectRow(1);
            list.remove(BatchTable::selectedRows(&table));
            break;
        }
    }
    QStringList jobs, cells;
    QString states;
    for (int row = 0; row < list.size(); ++row) {
        jobs << list.job(row).text();
        states += QStringList{u"P"_s, u"D"_s, u"F"_s, u"R"_s}.at(int(list.state(row)));
        QCOMPARE(table.item(row, 0)->text(), list.text(row));
        cells << (table.item(row, 1) ? table.item(row, 1)->text() : u"-"_s);
    }
    QCOMPARE(table.rowCount(), list.size());
    QTEST(jobs.join(u'|'), "jobs");
    QTEST(states, "states");
    QTEST(cells.join(QString()), "status");
}

void BatchTest::threeJobsSucceed()
{
    addJobs(3);
    fake->setScenario({u"err   Duration: 00:00:04.00, start: 0.0\\n"_s, u"sleep 100"_s,
                       u"err frame=50 fps=50 size=1kB time=00:00:02.00 speed=2x\\r"_s, u"exit 0"_s});
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(!get<QPushButton>("insertJobButton")->isEnabled());
    QVERIFY(!get<QGroupBox>("singleConvertGroupBox")->isEnabled());
    QVERIFY(!get<QAction>("actionMoreFiles")->isEnabled());
    QVERIFY(!get<QAction>("actionBatchdateiLaden")->isEnabled());
    QVERIFY(get<QAction>("actionBatchdateiSpeichern")->isEnabled());
    QVERIFY(waitRunEnd());
    QCOMPARE(statuses(), (QStringList{u"Done."_s, u"Done."_s, u"Done."_s}));
    QCOMPARE(conversions().size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(jobText(conversions()[i]), table()->item(i, 0)->text());
    QCOMPARE(window->statusBar()->currentMessage(), u"Konvertierung beendet."_s);
    QCOMPARE(get<QProgressBar>("progressBar")->value(), 100);
    // Nothing is left to do: the remaining time says so, not the last estimate.
    QLCDNumber zero(7, get<QLCDNumber>("lcdNumber")->parentWidget());
    zero.setSegmentStyle(QLCDNumber::Flat);
    zero.setAutoFillBackground(true); // as the window's own
    zero.setGeometry(get<QLCDNumber>("lcdNumber")->geometry());
    zero.display(u"0:00"_s);
    QVERIFY(zero.grab().toImage() == get<QLCDNumber>("lcdNumber")->grab().toImage());
    // A row tells its job in words (the cells kept the job text, above).
    const QString tip = table()->item(0, 0)->toolTip();
    QVERIFY2(tip.contains(u"Eingabe:"_s) && tip.contains(conversions()[0].value(2).toHtmlEscaped()) &&
                 tip.contains(u"Aufruf:"_s),
             qPrintable(tip));
    QVERIFY(get<QPushButton>("delJobButton")->isEnabled());
    QVERIFY(get<QGroupBox>("singleConvertGroupBox")->isEnabled());
    QVERIFY(get<QAction>("actionMoreFiles")->isEnabled());
    QVERIFY(!get<QPushButton>("batchConvertButton")->isEnabled());
}

namespace {
// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};
} // namespace

void BatchTest::jobChangePaintsBarOnce()
{
    // The end of one job (100) and the start of the next (0) are shown by one
    // painting of the bar, not by two, one after the other.
    const int jobs = 8;
    addJobs(jobs);
    fake->setScenario({u"exit 0"_s});
    auto *bar = get<QProgressBar>("progressBar");
    QTest::qWait(50); // what is still to be painted from building the list
    PaintCounter counter;
    bar->installEventFilter(&counter);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(waitRunEnd());
    QTest::qWait(300); // the window paints at most four times a second
    QCOMPARE(statuses(), QStringList(jobs, u"Done."_s));
    QCOMPARE(bar->value(), 100);
    QVERIFY2(counter.paints >= 1 && counter.paints <= jobs + 2, qPrintable(QString::number(counter.paints)));
}

void BatchTest::stopThenResume_data()
{
    QTest::addColumn<QString>("stopped");
    QTest::newRow("ends in order") << u"waitterm"_s;
    QTest::newRow("killed by the request") << u"dieonterm"_s;
}

void BatchTest::stopThenResume()
{
    QFETCH(QString, stopped);
    addJobs(3);
    // The first job succeeds; the second waits to be stopped.
    fake->setScenario({u"@1 exit 0"_s, stopped});
    get<QPushButton>("batchConvertButton")->click();
    QTRY_COMPARE(statuses().value(0), u"Done."_s);
    QTRY_COMPARE(conversions().size(), 2);
    QTest::qWait(100);
    get<QPushButton>("batchStopButton")->click();
    QVERIFY(waitRunEnd());
    QCOMPARE(statuses(), (QStringList{u"Done."_s, u"-"_s, u"-"_s}));
    QCOMPARE(window->statusBar()->currentMessage(), u"Abgebrochen!"_s);
    QTest::qWait(100);
    QVERIFY(!QApplication::activeModalWidget()); // a stop is no failure
    QVERIFY(get<QPushButton>("batchConvertButton")->isEnabled());
    fake->setScenario({u"exit 0"_s});
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(waitRunEnd());
    QCOMPARE(statuses(), (QStringList{u"Done."_s, u"Done."_s, u"Done."_s}));
    const QList<QStringList> runs = conversions();
    QCOMPARE(runs.size(), 4); // job 0, job 1 stopped, job 1 again, job 2
    QCOMPARE(jobText(runs[2]), table()->item(1, 0)->text());
    QCOMPARE(jobText(runs[3]), table()->item(2, 0)->text());
}

void BatchTest::errorEndsRun_data()
{
    QTest::addColumn<QStringList>("scenario");
    QTest::addColumn<QString>("boxText"); // how the box begins
    QTest::addColumn<QString>("details"); // what its details hold
    QTest::addColumn<QString>("status");  // how the status begins
    QTest::addColumn<int>("bar");
    const QString complaint = u"err [x @ 0x1] Unknown encoder\\nConversion failed!\\n"_s;
    const QString converterError = u"<b>ffmpeg meldete einen Fehler!</b>"_s;
    for (const int code : {1, 2, 254})
        QTest::addRow("%d", code) << QStringList{complaint, u"exit %1"_s.arg(code)} << converterError
                                  << u"Unknown encoder\nConversion failed!"_s << u"Fehler!"_s << 0;
    // A cause the runner named: a file announced but never written. The bar does
    // not stay where the converter left it.
    QTest::newRow("cause named by the runner")
        << QStringList{u"err   Duration: 00:00:10.00, start: 0.0\\n"_s,
                       u"err Output #0, matroska, to 'x':\\n  Stream #0:0: Video: h264, yuv420p\\n"_s,
                       u"err frame=250 fps=0 q=-1.0 Lsize=10kB time=00:00:09.90 bitrate=1.0kbits/s\\n"_s,
                       u"exit 0"_s}
        << u"<b>Die Umwandlung ist fehlgeschlagen.</b><br><br>Die Ausgabedatei ist unvollständig"_s
        << u"Lsize=10kB"_s << u"Fehler: Die Ausgabedatei ist unvollständig"_s << 0;
}

void BatchTest::errorEndsRun()
{
    QFETCH(QStringList, scenario);
    QFETCH(QString, boxText);
    QFETCH(QString, details);
    QFETCH(QString, status);
    QFETCH(int, bar);
    addJobs(3);
    fake->setScenario(scenario);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(answerer.waitAll());
    QVERIFY(waitRunEnd());
    QCOMPARE(answerer.seen.first().title, u"Quorvid Fehler"_s);
    QVERIFY2(answerer.seen.first().text.startsWith(boxText), qPrintable(answerer.seen.first().text));
    QVERIFY2(answerer.seen.first().detailedText.contains(details),
             qPrintable(answerer.seen.first().detailedText));
    QCOMPARE(statuses(), (QStringList{u"-"_s, u"-"_s, u"-"_s}));
    QCOMPARE(conversions().size(), 1);
    QVERIFY2(window->statusBar()->currentMessage().startsWith(status),
             qPrintable(window->statusBar()->currentMessage()));
    QCOMPARE(get<QProgressBar>("progressBar")->value(), bar);
    QVERIFY(get<QPushButton>("batchConvertButton")->isEnabled());
}

void BatchTest::failedStart()
{
    addJobs(1);
    FakeConverter::removeAllFromPath();
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(answerer.waitAll());
    QVERIFY(waitRunEnd());
    QVERIFY(answerer.seen.first().text.startsWith(u"<b>ffmpeg konnte nicht gestartet werden!</b>"_s));
    QCOMPARE(statuses(), QStringList{u"-"_s});
    QVERIFY(get<QPushButton>("batchConvertButton")->isEnabled());
}

void BatchTest::frameRateFromJob()
{
    // A 30 fps job and a copy job report frames only: the remaining time shows
    // which rate was used. 10 s left at 30 fps and 60 frames/s: 5 s; the copy job
    // keeps 30.
    const QString in = touch(u"r.avi"_s);
    table()->insertRow(0);
    table()->setItem(0, 0, new QTableWidgetItem(u"-y,-i,%1,-r,30,%2"_s.arg(in, dir->filePath(u"o1.mp4"_s))));
    table()->insertRow(1);
    table()->setItem(1, 0,
                     new QTableWidgetItem(u"-y,-i,%1,-vcodec,copy,%2"_s.arg(in, dir->filePath(u"o2.avi"_s))));
    QMetaObject::invokeMethod(window, "delJob"); // recounts the list
    fake->setScenario({u"err   Duration: 00:00:20.00\\n"_s,
                       u"err frame=300 fps=60 size=1kB time=00:00:10.00 bitrate=1\\r"_s, u"sleep 300"_s,
                       u"exit 0"_s});
    get<QPushButton>("batchConvertButton")->click();
    QLCDNumber reference(7, get<QLCDNumber>("lcdNumber")->parentWidget());
    reference.setSegmentStyle(QLCDNumber::Flat);
    reference.setAutoFillBackground(true); // as the window's own
    reference.setGeometry(get<QLCDNumber>("lcdNumber")->geometry());
    reference.display(u"0:05"_s);
    QTRY_VERIFY(reference.grab().toImage() == get<QLCDNumber>("lcdNumber")->grab().toImage());
    QTRY_COMPARE(statuses().value(0), u"Done."_s);
    QTRY_COMPARE(conversions().size(), 2);
    QTRY_VERIFY(reference.grab().toImage() == get<QLCDNumber>("lcdNumber")->grab().toImage());
    QVERIFY(waitRunEnd());
}

void BatchTest::inputAsOutputRefused()
{
    const QString in = touch(u"same.avi"_s);
    table()->insertRow(0);
    table()->setItem(
        0, 0, new QTableWidgetItem(u"-y,-i,%1,-vcodec,copy,%2"_s.arg(in, dir->path() + u"/./same.avi"_s)));
    QMetaObject::invokeMethod(window, "delJob");
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(answerer.waitAll());
    QVERIFY(answerer.seen.first().text.contains(u"dieselbe Datei"_s));
    QVERIFY(conversions().isEmpty());
    QVERIFY(get<QPushButton>("insertJobButton")->isEnabled());
}

void BatchTest::existingOutputsAsked()
{
    addJobs(3);
    touch(u"job0-Kopie.avi"_s);
    touch(u"job2-Kopie.avi"_s);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::No);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(answerer.waitAll());
    QVERIFY(answerer.seen.first().text.startsWith(u"2 "_s));
    QCOMPARE(answerer.seen.first().defaultButton, QMessageBox::No);
    QVERIFY(conversions().isEmpty());
    ModalAnswerer yes;
    yes.clickBox(QMessageBox::Yes);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(yes.waitAll());
    QVERIFY(waitRunEnd());
    QCOMPARE(conversions().size(), 3);
}

void BatchTest::saveAndLoad()
{
    addJobs(3);
    table()->setItem(1, 1, new QTableWidgetItem(u"Done."_s));
    QStringList texts;
    for (int row = 0; row < 3; ++row)
        texts << table()->item(row, 0)->text();
    ModalAnswerer save;
    save.answerFile(dir->filePath(u"list"_s));
    get<QAction>("actionBatchdateiSpeichern")->trigger();
    QVERIFY(save.waitAll());
    QCOMPARE(save.seen.first().title, u"Save Batch File"_s);
    QFile file(dir->filePath(u"list.btc"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), (texts.join(u'\n') + u'\n').toUtf8());

    ModalAnswerer load;
    load.clickBox(QMessageBox::Ok);
    load.answerFile(dir->filePath(u"list.btc"_s));
    get<QAction>("actionBatchdateiLaden")->trigger();
    QVERIFY(load.waitAll());
    QCOMPARE(load.seen[0].icon, QMessageBox::Question);
    QCOMPARE(load.seen[0].title, u"Quorvid"_s);
    QCOMPARE(load.seen[1].title, u"Open Batch File"_s);
    QCOMPARE(table()->rowCount(), 3);
    QCOMPARE(statuses(), (QStringList{u"-"_s, u"-"_s, u"-"_s}));
    for (int row = 0; row < 3; ++row)
        QCOMPARE(table()->item(row, 0)->text(), texts[row]);
    QVERIFY(get<QPushButton>("batchConvertButton")->isEnabled());
}

void BatchTest::saveEmptyListShowsNotice()
{
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QAction>("actionBatchdateiSpeichern")->trigger();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().icon, QMessageBox::Information);
    QVERIFY(answerer.seen.first().text.startsWith(u"Leider sind noch keine Einträge"_s));
}

void BatchTest::loadAsksBeforeReplacing()
{
    addJobs(2);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Cancel);
    get<QAction>("actionBatchdateiLaden")->trigger();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.size(), 1); // no file dialog after Cancel
    QTest::qWait(100);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(table()->rowCount(), 2);
}

void BatchTest::unreadableFileChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("read error") << u"/proc/self/mem"_s;
    QTest::newRow("unreadable") << u"locked.btc"_s;
}

void BatchTest::unreadableFileChangesNothing()
{
    QFETCH(QString, name);
    addJobs(2);
    table()->setItem(0, 1, new QTableWidgetItem(u"Done."_s));
    QMetaObject::invokeMethod(window, "delJob"); // currentJob: row 1
    const QString path = name.startsWith(u'/') ? name : dir->filePath(name);
    if (!name.startsWith(u'/')) {
        touch(name);
        QFile::setPermissions(path, QFileDevice::Permissions());
        if (QFile(path).open(QIODevice::ReadOnly))
            QSKIP("running as a user who reads every file; the read-error case covers the box");
    }
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    answerer.answerFile(path);
    answerer.clickBox(QMessageBox::Ok);
    get<QAction>("actionBatchdateiLaden")->trigger();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.last().icon, QMessageBox::Critical);
    QVERIFY(answerer.seen.last().text.contains(u"nicht gelesen"_s));
    QCOMPARE(table()->rowCount(), 2);
    QCOMPARE(statuses(), (QStringList{u"Done."_s, u"-"_s}));
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(waitRunEnd());
    QCOMPARE(jobText(conversions().first()), table()->item(1, 0)->text());
}

void BatchTest::failedSaveKeepsOldFile()
{
    addJobs(3);
    const QString target = dir->filePath(u"list.btc"_s);
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old,list\n");
    old.close();

    // A disk that takes only the first 200 bytes of the new list, as a full one
    // would (a file-size limit binds root too); then a folder that is no folder.
    const QString plain = touch(u"plain.txt"_s);
    for (const QString &name : QStringList{target, plain + u"/list.btc"_s}) {
        ModalAnswerer answerer;
        answerer.answerFile(name);
        if (name == target)
            answerer.clickBox(QMessageBox::Yes); // the dialog asks before it replaces
        answerer.clickBox(QMessageBox::Ok);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit small{200, previous.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        get<QAction>("actionBatchdateiSpeichern")->trigger();
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(answerer.waitAll());
        QCOMPARE(answerer.seen.last().icon, QMessageBox::Critical);
        QVERIFY2(answerer.seen.last().text.contains(u"nicht gespeichert"_s),
                 qPrintable(answerer.seen.last().text));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old,list\n"));
        old.close();
    }
    QVERIFY(QDir(dir->path()).entryList({u"list.btc?*"_s}, QDir::Files | QDir::Hidden).isEmpty());

    // Without the limit the same list replaces the old file.
    ModalAnswerer answerer;
    answerer.answerFile(target);
    answerer.clickBox(QMessageBox::Yes);
    get<QAction>("actionBatchdateiSpeichern")->trigger();
    QVERIFY(answerer.waitAll());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(readJobTexts(old).size(), 3);
}

// A job changes only by being added, run or removed: typing into a Status cell
// must neither mark a pending job done nor overwrite "Done.".
void BatchTest::cellsNotEditable()
{
    addJobs(2);
    fake->setScenario({u"@2 exit 1"_s, u"exit 0"_s});
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    get<QPushButton>("batchConvertButton")->click();
    QVERIFY(answerer.waitAll());
    QVERIFY(waitRunEnd());
    QCOMPARE(statuses(), (QStringList{u"Done."_s, u"-"_s}));
    const QStringList jobs{table()->item(0, 0)->text(), table()->item(1, 0)->text()};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QRect cell = table()->visualRect(table()->model()->index(row, column));
            QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
            // Typed into the cell editor where one opened, else into the table.
            auto *editor = table()->viewport()->findChild<QLineEdit *>();
            QWidget *typedInto = editor ? static_cast<QWidget *>(editor) : table();
            QTest::keyClicks(typedInto, u"x"_s);
            QTest::keyClick(typedInto, Qt::Key_Return);
        }
    }
    QCOMPARE(statuses(), (QStringList{u"Done."_s, u"-"_s}));
    QCOMPARE(table()->item(0, 0)->text(), jobs[0]);
    QCOMPARE(table()->item(1, 0)->text(), jobs[1]);
}

void BatchTest::destroyedWindowEndsConverter()
{
    addJobs(2);
    const QString pidFile = dir->filePath(u"pid"_s);
    fake->setScenario({u"pid "_s + pidFile, u"waitterm"_s});
    get<QPushButton>("batchConvertButton")->click();
    QTRY_VERIFY(FakeConverter::writtenPid(pidFile) > 0);
    const pid_t pid = FakeConverter::writtenPid(pidFile);
    // Deleting the window stops the converter and reports nothing: no box, no
    // next job started on a window that is going away.
    delete window;
    window = nullptr;
    QCOMPARE(::kill(pid, 0), -1);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(fake->runs().size(), 1);
}

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"
