// A long batch run with the fake converter: hundreds of quick jobs, stopped and
// restarted every few jobs, with a failing job now and then. Every job must end
// done exactly once, interrupted jobs must stay pending, no converter may be left
// behind, and the window's memory must stay flat.
#include <QtTest>
#include <QtWidgets>

#include <map>

#include "batchfile.h"
#include "benchutil.h"
#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int jobTotal = 500;
// The whole soak run's time: the sanitized build runs the window three to four
// times slower, and a run that hangs is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 soakBudgetMs = 150000;
#else
constexpr qint64 soakBudgetMs = 50000;
#endif

// What the fake does on its N-th conversion run.
enum class Outcome { Success, Fail, Stop };
Outcome outcomeOf(int run)
{
    if (run % 13 == 0)
        return Outcome::Fail;
    if (run % 7 == 0)
        return Outcome::Stop;
    return Outcome::Success;
}

// Processes still running the fake converter's program file.
int fakeProcessesAlive()
{
    const QString fake = QFileInfo(QStringLiteral(FAKE_FFMPEG)).canonicalFilePath();
    int alive = 0;
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit())
            continue;
        const QString exe = QFileInfo(u"/proc/"_s + pid + u"/exe"_s).symLinkTarget();
        QFile stat(u"/proc/"_s + pid + u"/stat"_s);
        const bool zombie = stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
        if (exe == fake && !zombie)
            ++alive;
    }
    return alive;
}
} // namespace

class SoakTest : public QObject
{
    Q_OBJECT

private slots:
    void manyJobsWithStopsAndFailures();

private:
    template <typename T> T *get(MainWindow &window, const char *name)
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }
};

void SoakTest::manyJobsWithStopsAndFailures()
{
    FakeConverter fake;
    QTemporaryDir dir;
    QStringList scenario;
    for (int run = 1; run <= 2 * jobTotal; ++run) {
        if (outcomeOf(run) == Outcome::Fail)
            scenario << u"@%1 err broken input\\n"_s.arg(run) << u"@%1 exit 1"_s.arg(run);
        else if (outcomeOf(run) == Outcome::Stop)
            scenario << u"@%1 waitterm"_s.arg(run);
    }
    scenario << u"exit 0"_s;
    fake.setScenario(scenario);

    QStringList jobs;
    std::map<QString, int> rowOfOutput;
    for (int i = 0; i < jobTotal; ++i) {
        const QString output = dir.filePath(u"out%1.avi"_s.arg(i));
        jobs << jobText(
            {u"-y"_s, u"-i"_s, dir.filePath(u"in%1.avi"_s.arg(i)), u"-vcodec"_s, u"copy"_s, output});
        rowOfOutput[output] = i;
    }
    const QString listFile = dir.filePath(u"soak.btc"_s);
    {
        QFile f(listFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(batchFileContent(jobs));
    }

    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *table = get<QTableWidget>(window, "batchTableWidget");
    auto *start = get<QPushButton>(window, "batchConvertButton");
    auto *stop = get<QPushButton>(window, "batchStopButton");
    auto *insert = get<QPushButton>(window, "insertJobButton");
    {
        ModalAnswerer answerer;
        answerer.answerFile(listFile);
        get<QAction>(window, "actionBatchdateiLaden")->trigger();
        QVERIFY(answerer.waitAll());
    }
    QCOMPARE(table->rowCount(), jobTotal);

    const auto conversions = [&] {
        QList<QStringList> runs;
        for (const QStringList &run : fake.runs())
            if (run.size() > 2)
                runs << run;
        return runs;
    };
    // Error boxes are confirmed as a user would, and counted.
    QElapsedTimer clock;
    clock.start();
    int errorBoxes = 0;
    QPointer<QMessageBox> answered;
    const AnnouncedBoxes answeredHere;
    QTimer boxCloser;
    connect(&boxCloser, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == answered || !box->isVisible())
            return;
        answered = box;
        if (box->icon() == QMessageBox::Critical)
            ++errorBoxes;
        box->button(QMessageBox::Ok)->click();
    });
    boxCloser.start(5);

    // The statuses the log of runs demands: a job is done once one of its runs
    // succeeded, and no job runs again after that.
    const auto checkAgainstLog = [&](const QList<QStringList> &runs) {
        std::vector<bool> done(jobTotal, false);
        for (int i = 0; i < runs.size(); ++i) {
            const int row = rowOfOutput.at(runs[i].last());
            if (done[size_t(row)])
                return u"job %1 ran again after it was done (run %2)"_s.arg(row).arg(i + 1);
            if (outcomeOf(i + 1) == Outcome::Success)
                done[size_t(row)] = true;
        }
        for (int row = 0; row < jobTotal; ++row) {
            const QTableWidgetItem *status = table->item(row, 1);
            if (done[size_t(row)] != (status && status->text() == u"Done."_s))
                return u"job %1 shows the wrong status"_s.arg(row);
        }
        return QString();
    };

    long memoryAtStart = 0;
    int starts = 0;
    int stops = 0;
    qsizetype lastStoppedRun = 0;
    while (start->isEnabled() && clock.elapsed() < soakBudgetMs) {
        start->click();
        ++starts;
        // Wait for the run to end by itself, or stop it when the fake waits for that.
        while (!insert->isEnabled() && clock.elapsed() < soakBudgetMs) {
            const qsizetype runs = conversions().size();
            // Stop a waiting run once; the next run may not have started yet.
            if (runs > lastStoppedRun && outcomeOf(int(runs)) == Outcome::Stop) {
                lastStoppedRun = runs;
                stop->click();
                ++stops;
                QTRY_VERIFY_WITH_TIMEOUT(insert->isEnabled(), 5000);
                QCOMPARE(table->item(rowOfOutput.at(conversions().last().last()), 1), nullptr);
                break;
            }
            QTest::qWait(2);
        }
        QVERIFY2(insert->isEnabled(), "a run did not end");
        const QList<QStringList> runs = conversions();
        const QString fault = checkAgainstLog(runs);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(fakeProcessesAlive(), 0);
        if (memoryAtStart == 0 && runs.size() >= 100)
            memoryAtStart = residentKiB();
    }
    QVERIFY2(clock.elapsed() < soakBudgetMs, "the soak run took too long");

    const QList<QStringList> runs = conversions();
    int fails = 0;
    int stopRuns = 0;
    for (int run = 1; run <= runs.size(); ++run) {
        fails += outcomeOf(run) == Outcome::Fail;
        stopRuns += outcomeOf(run) == Outcome::Stop;
    }
    // Every job ran to success exactly once; every other run was a failure or a stop.
    QCOMPARE(runs.size(), jobTotal + fails + stopRuns);
    QCOMPARE(errorBoxes, fails);
    QCOMPARE(stops, stopRuns);
    QCOMPARE(starts, 1 + fails + stopRuns);
    for (int row = 0; row < jobTotal; ++row)
        QCOMPARE(table->item(row, 1) ? table->item(row, 1)->text() : QString(), u"Done."_s);
    QVERIFY(!start->isEnabled());
    QCOMPARE(fakeProcessesAlive(), 0);
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer keeps freed memory in quarantine: memory is measured in the normal build");
#endif
    // Four hundred more runs leave the window's memory where it was.
    const long growth = residentKiB() - memoryAtStart;
    QVERIFY2(growth < 8 * 1024, qPrintable(u"memory grew by %1 KiB"_s.arg(growth)));
}

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
