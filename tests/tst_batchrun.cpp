// Batch runs beyond one job at a time: the job queue, the recovery file, the
// exported script run by sh, the window with several jobs and failures, the
// program killed at random points, and the run without a window.
#include <QtTest>
#include <QtWidgets>

#include <csignal>

#include "batchfile.h"
#include "batchqueue.h"
#include "quorvid.h"
#include "recovery.h"
#include "scriptexport.h"
#include "steadylabel.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
JobState stateOf(QChar c)
{
    return c == u'D' ? JobState::Done : c == u'F' ? JobState::Failed : JobState::Pending;
}

QString statesText(const QList<JobState> &states)
{
    QString text;
    for (JobState s : states)
        text += s == JobState::Done      ? u'D'
                : s == JobState::Failed  ? u'F'
                : s == JobState::Running ? u'R'
                                         : u'P';
    return text;
}

QString recoveryPath()
{
    return QDir(RecoveryFile::defaultFolder()).filePath(u"batchliste.recovery"_s);
}

// Fills the window's list with jobs /inN.avi -> /outN.mp3 and sets the counters
// as a change of the list does.
QTableWidget *listJobs(MainWindow &window, int rows)
{
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    table->setRowCount(rows);
    for (int row = 0; row < rows; ++row)
        table->setItem(row, 0, new QTableWidgetItem(u"-y,-i,/in%1.avi,/out%1.mp3"_s.arg(row)));
    QMetaObject::invokeMethod(&window, "delJob");
    return table;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

class BatchRunTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void queue_data();
    void queue();
    void recoveryFormat_data();
    void recoveryFormat();
    void remainingTime();
    void scriptBySh();
    void keepGoing_data();
    void keepGoing();
    void parallelRun_data();
    void parallelRun();
    void restoreAtStart_data();
    void restoreAtStart();
    void killedAgainAndAgain();
    void closedIsCleanEnd();
    void headless_data();
    void headless();
    void headlessInterrupted();

private:
    QTemporaryDir dir;
};

void BatchRunTest::cleanup()
{
    QFile::remove(recoveryPath());
}

void BatchRunTest::queue_data()
{
    QTest::addColumn<QString>("states"); // P pending, D done, F failed
    QTest::addColumn<int>("parallel");
    QTest::addColumn<bool>("keepGoing");
    QTest::addColumn<QString>("outcomes"); // per job: s success, e error, c cancel
    QTest::addColumn<QString>("order");    // jobs in the order they started
    QTest::addColumn<QString>("after");
    QTest::newRow("one at a time") << u"PPP"_s << 1 << false << u"sss"_s << u"012"_s << u"DDD"_s;
    QTest::newRow("error ends the run") << u"PPP"_s << 1 << false << u"ses"_s << u"01"_s << u"DPP"_s;
    QTest::newRow("done skipped, failed retried")
        << u"DFP"_s << 1 << false << u"sss"_s << u"12"_s << u"DDD"_s;
    QTest::newRow("keep going, first") << u"PPPP"_s << 1 << true << u"esss"_s << u"0123"_s << u"FDDD"_s;
    QTest::newRow("keep going, middle") << u"PPPP"_s << 1 << true << u"sess"_s << u"0123"_s << u"DFDD"_s;
    QTest::newRow("keep going, last") << u"PPPP"_s << 1 << true << u"ssse"_s << u"0123"_s << u"DDDF"_s;
    QTest::newRow("two at once") << u"PPPPP"_s << 2 << false << u"sssss"_s << u"01234"_s << u"DDDDD"_s;
    QTest::newRow("two, error: the other ends")
        << u"PPPP"_s << 2 << false << u"esss"_s << u"01"_s << u"PDPP"_s;
    QTest::newRow("two, cancel") << u"PPPP"_s << 2 << true << u"scss"_s << u"012"_s << u"DPDP"_s;
}

void BatchRunTest::queue()
{
    QFETCH(QString, states);
    QFETCH(int, parallel);
    QFETCH(bool, keepGoing);
    QFETCH(QString, outcomes);
    QFETCH(QString, order);
    QFETCH(QString, after);
    QList<JobState> initial;
    for (QChar c : states)
        initial << stateOf(c);
    BatchQueue q;
    q.begin(initial, parallel, keepGoing);
    QString started;
    QList<int> running; // finished in the order they started
    for (int guard = 0; guard < 100 && !q.isOver(); ++guard) {
        for (int job = q.takeNext(); job >= 0; job = q.takeNext()) {
            started += QString::number(job);
            running << job;
            QVERIFY(q.running() <= parallel);
        }
        QVERIFY(!running.isEmpty());
        const int job = running.takeFirst();
        const QChar o = outcomes[job];
        q.finish(job, o == u's'   ? RunOutcome::Success
                      : o == u'e' ? RunOutcome::Error
                                  : RunOutcome::Cancelled);
    }
    QVERIFY(q.isOver());
    QCOMPARE(started, order);
    QCOMPARE(statesText(q.states()), after);
}

void BatchRunTest::recoveryFormat_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("valid");
    const QStringList jobs{u"-y,-i,/a b\\c.avi,/x.mp3"_s, u"-y,-i,/zwei\nzeilen\r.avi,/ü.mp3"_s, QString()};
    const QByteArray good = recoveryContent(jobs, {JobState::Done, JobState::Failed, JobState::Pending});
    QTest::newRow("complete") << good << true;
    QTest::newRow("empty list") << recoveryContent({}, {}) << true;
    QTest::newRow("cut short") << good.left(good.size() - 8) << false;
    QTest::newRow("no closing count") << good.left(good.indexOf("END")) << false;
    QTest::newRow("wrong count") << QByteArray(good).replace("END 3", "END 4") << false;
    QTest::newRow("unknown state") << QByteArray(good).replace("\nD ", "\nX ") << false;
    QTest::newRow("bad escape") << QByteArray(good).replace("\\\\", "\\q") << false;
    QTest::newRow("other file") << QByteArray("-y,-i,/a.avi,/b.avi\n") << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("garbage after end") << good + "P x\n" << false;
}

void BatchRunTest::recoveryFormat()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, valid);
    const std::optional<RecoveredList> list = parseRecovery(content);
    QCOMPARE(bool(list), valid);
    if (list && !list->jobs.isEmpty()) {
        QCOMPARE(list->jobs[0], u"-y,-i,/a b\\c.avi,/x.mp3"_s);
        QCOMPARE(list->jobs[1], u"-y,-i,/zwei\nzeilen\r.avi,/ü.mp3"_s);
        QCOMPARE(statesText(list->states), u"DFP"_s);
    }
}

void BatchRunTest::remainingTime()
{
    using Seconds = QList<std::optional<double>>;
    // No finished job yet while others wait: no honest figure.
    QVERIFY(!batchRemainingSeconds(Seconds{10.0}, {}, 3, 1));
    // A running job that tells nothing: none either.
    QVERIFY(!batchRemainingSeconds(Seconds{std::nullopt}, {20}, 0, 1));
    QCOMPARE(*batchRemainingSeconds(Seconds{5.0}, {}, 0, 1), 5.0);
    QCOMPARE(*batchRemainingSeconds(Seconds{5.0}, {20, 40}, 2, 1), 65.0);
    // Two slots share the work, but never end before the longest running job.
    QCOMPARE(*batchRemainingSeconds(Seconds{10.0, 30.0}, {20}, 1, 2), 30.0);
    QCOMPARE(*batchRemainingSeconds(Seconds{10.0, 10.0}, {20}, 4, 2), 50.0);
}

void BatchRunTest::scriptBySh()
{
    const QString clip = dir.filePath(u"clip.wav"_s);
    QVERIFY(makeClip(clip, 0.2, false, true));
    const QStringList names{
        u"a b.wav"_s,          u"it's.wav"_s,  u"$HOME $(id).wav"_s,    u"`id`.wav"_s,
        u"zwei\nzeilen.wav"_s, u"-dash.wav"_s, u"\"x\" \\ ;&|*?.wav"_s, u"ü 日本 #%.wav"_s};
    QStringList jobs, outputs;
    for (const QString &name : names) {
        const QString input = dir.filePath(name);
        QVERIFY(QFile::copy(clip, input));
        outputs << input + u".mp3"_s;
        jobs << jobText({u"-y"_s, u"-v"_s, u"error"_s, u"-i"_s, input, outputs.last()});
    }
    jobs.insert(2, jobText({u"-y"_s, u"-i"_s, dir.filePath(u"fehlt.wav"_s), dir.filePath(u"fehlt.mp3"_s)}));
    // A job made to a size that its output misses is named, not failed.
    QList<Job> all;
    for (const QString &text : std::as_const(jobs))
        all << Job::fromText(text);
    all << Job::fromText(jobText({u"-y"_s, u"-v"_s, u"error"_s, u"-i"_s, clip, dir.filePath(u"groß.mp3"_s)}));
    all.last().sizeLimit = 100;
    // A size that is a limit: its passes (here a run that leaves a mark) follow
    // only a quality run that succeeded and reached the limit; a failed one that
    // left a large file behind never starts them.
    const auto limitJob = [&](const QString &input, const QString &output, const QString &mark) {
        Job job = Job::fromText(jobText({u"-y"_s, u"-v"_s, u"error"_s, u"-i"_s, input, output}));
        job.sizeLimit = 100;
        job.limitRuns = {{u"-y"_s, u"-v"_s, u"error"_s, u"-i"_s, clip, mark}};
        return job;
    };
    all << limitJob(clip, dir.filePath(u"grenze.mp3"_s), dir.filePath(u"pässe-a.mp3"_s));
    QVERIFY(writeFile(dir.filePath(u"alt.mp3"_s), QByteArray(1000, 'x')));
    all << limitJob(dir.filePath(u"fehlt2.wav"_s), dir.filePath(u"alt.mp3"_s),
                    dir.filePath(u"pässe-b.mp3"_s));
    const QString script = dir.filePath(u"liste.sh"_s);
    QVERIFY(writeFile(script, batchScript(all)));

    QProcess sh;
    sh.setWorkingDirectory(dir.path());
    sh.start(u"sh"_s, {script}); // standard input left open: the script must not read it
    QVERIFY(sh.waitForFinished(60000));
    QCOMPARE(sh.exitCode(), 1); // two jobs failed, the others still ran
    QVERIFY(QFileInfo::exists(dir.filePath(u"pässe-a.mp3"_s)));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"pässe-b.mp3"_s)));
    const QString errors = QString::fromUtf8(sh.readAllStandardError());
    QVERIFY(errors.contains(u"fehlt.wav"_s));
    QVERIFY2(errors.contains(u"Größer als die Zielgröße (100 Byte): "_s + dir.filePath(u"groß.mp3"_s)),
             qPrintable(errors));
    for (const QString &output : outputs)
        QVERIFY2(QFileInfo(output).size() > 0, qPrintable(output));
    QCOMPARE(QDir(dir.path()).entryList({u"*.mp3"_s}).size(), names.size() + 4);
}

void BatchRunTest::keepGoing_data()
{
    QTest::addColumn<int>("failing"); // row whose conversion fails
    QTest::newRow("first") << 0;
    QTest::newRow("middle") << 2;
    QTest::newRow("last") << 4;
}

void BatchRunTest::keepGoing()
{
    QFETCH(int, failing);
    FakeConverter fake;
    fake.setScenario({u"@%1 err Unsinn.avi: Invalid data found when processing input\\n"_s.arg(failing + 1),
                      u"@%1 exit 1"_s.arg(failing + 1), u"exit 0"_s});
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *table = listJobs(window, 5);
    window.findChild<QCheckBox *>(u"keepGoingCheckBox"_s)->setChecked(true);

    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    QVERIFY(answerer.waitAll(15000));
    QVERIFY(answerer.seen.first().text.contains(u"Batch beendet: 4 umgewandelt, 1 Fehler"_s));
    QVERIFY(answerer.seen.first().detailedText.contains(u"/in%1.avi"_s.arg(failing)));
    QVERIFY(answerer.seen.first().detailedText.contains(u"Invalid data found"_s));
    for (int row = 0; row < 5; ++row)
        QCOMPARE(table->item(row, 1)->text(), row == failing ? u"Fehler"_s : u"Done."_s);
    QCOMPARE(table->item(failing, 1)->toolTip(), u"Unsinn.avi: Invalid data found when processing input"_s);
    QCOMPARE(table->item(failing, 1)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(fake.runs().size(), 5);

    // The next start retries only the failed job.
    auto *start = window.findChild<QPushButton *>(u"batchConvertButton"_s);
    QVERIFY(start->isEnabled());
    start->click();
    QTRY_COMPARE(window.statusBar()->currentMessage(), u"Konvertierung beendet."_s);
    QCOMPARE(fake.runs().size(), 6);
    QCOMPARE(fake.runs().last().at(2), u"/in%1.avi"_s.arg(failing));
    QCOMPARE(table->item(failing, 1)->text(), u"Done."_s);
    QVERIFY(!QFile::exists(recoveryPath())); // a finished list is a clean end
}

void BatchRunTest::parallelRun_data()
{
    QTest::addColumn<bool>("firstFails");
    QTest::newRow("stop") << false;
    QTest::newRow("failure, then stop") << true;
}

void BatchRunTest::parallelRun()
{
    QFETCH(bool, firstFails);
    FakeConverter fake;
    const QString pids = fake.directory() + u"/pid"_s;
    QStringList scenario{u"@=/in0.avi pid %1-1"_s.arg(pids), u"@=/in1.avi pid %1-2"_s.arg(pids)};
    if (firstFails)
        scenario << u"@=/in0.avi sleep 200"_s << u"@=/in0.avi err kaputt\\n"_s << u"@=/in0.avi exit 1"_s;
    scenario << u"waitterm"_s;
    fake.setScenario(scenario);
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *table = listJobs(window, 4);
    window.findChild<QSpinBox *>(u"parallelSpinBox"_s)->setMaximum(2);
    window.findChild<QSpinBox *>(u"parallelSpinBox"_s)->setValue(2);
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    QTRY_COMPARE(fake.runs().size(), 2);
    QTRY_VERIFY(FakeConverter::writtenPid(pids + u"-2"_s) > 0);
    QVERIFY(!window.findChild<QSpinBox *>(u"parallelSpinBox"_s)->isEnabled());
    QVERIFY(window.findChild<SteadyLabel *>(u"batchJobLabel"_s)->text().startsWith(u"Job 2 von 4"_s));
    if (firstFails)
        QTest::qWait(400); // the first has failed; the run waits for the second
    ModalAnswerer answerer;
    if (firstFails)
        answerer.clickBox(QMessageBox::Ok);
    window.findChild<QPushButton *>(u"batchStopButton"_s)->click();
    QTRY_VERIFY(window.findChild<QPushButton *>(u"insertJobButton"_s)->isEnabled());
    QVERIFY(answerer.waitAll());
    if (firstFails)
        QVERIFY(answerer.seen.first().detailedText.contains(u"kaputt"_s));
    else
        QCOMPARE(window.statusBar()->currentMessage(), u"Abgebrochen!"_s);
    // Every job is still pending, none was started after the stop, none runs on.
    for (int row = 0; row < 4; ++row)
        QVERIFY(!table->item(row, 1));
    QCOMPARE(fake.runs().size(), 2);
    QVERIFY(::kill(FakeConverter::writtenPid(pids + u"-2"_s), 0) != 0);
    QVERIFY(window.findChild<QPushButton *>(u"batchConvertButton"_s)->isEnabled());
}

void BatchRunTest::restoreAtStart_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("statuses"); // "" when the list stays empty
    const QByteArray saved =
        recoveryContent({u"-y,-i,/a.avi,/a.mp3"_s, u"-y,-i,/b.avi,/b.mp3"_s, u"-y,-i,/c.avi,/c.mp3"_s},
                        {JobState::Done, JobState::Failed, JobState::Pending});
    QTest::newRow("restored") << saved << int(QMessageBox::Yes) << u"Done.|Fehler|-"_s;
    QTest::newRow("declined") << saved << int(QMessageBox::No) << QString();
    QTest::newRow("damaged") << saved.left(40) << int(QMessageBox::Ok) << QString();
}

void BatchRunTest::restoreAtStart()
{
    QFETCH(QByteArray, content);
    QFETCH(int, answer);
    QFETCH(QString, statuses);
    FakeConverter fake;
    QVERIFY(writeFile(recoveryPath(), content));
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::StandardButton(answer));
    MainWindow window;
    QVERIFY(answerer.waitAll());
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    QStringList seen;
    for (int row = 0; row < table->rowCount(); ++row)
        seen << (table->item(row, 1) ? table->item(row, 1)->text() : u"-"_s);
    QCOMPARE(seen.join(u'|'), statuses);
    const QStringList aside = QDir(RecoveryFile::defaultFolder()).entryList({u"*.beschaedigt-*"_s});
    if (answer == QMessageBox::Ok) {
        QVERIFY(answerer.seen.first().text.contains(u"beschädigt"_s));
        QCOMPARE(aside.size(), 1);
        QFile::remove(QDir(RecoveryFile::defaultFolder()).filePath(aside.first()));
    } else {
        QVERIFY(answerer.seen.first().text.contains(u"Wiederherstellen?"_s));
        QCOMPARE(aside.size(), 0);
    }
    if (!statuses.isEmpty()) {
        // The failed job comes first at the next start, the done one never again.
        window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
        QTRY_COMPARE(window.statusBar()->currentMessage(), u"Konvertierung beendet."_s);
        QCOMPARE(fake.runs().size(), 2);
        QCOMPARE(fake.runs().first().at(2), u"/b.avi"_s);
    }
    QCOMPARE(QFile::exists(recoveryPath()), false);
}

namespace {
// The child of killedAgainAndAgain: the window as a user would drive it. On its
// first start it loads the list, later it answers the restore question with
// Yes; then it starts the batch and closes when the run has ended.
int windowChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    ModalAnswerer answerer;
    const QString list = qEnvironmentVariable("KILL_CHILD_LOAD");
    if (list.isEmpty()) {
        answerer.clickBox(QMessageBox::Yes);
    } else {
        answerer.answerFile(list);
        QTimer::singleShot(0, &window,
                           [&window] { window.findChild<QAction *>(u"actionBatchdateiLaden"_s)->trigger(); });
    }
    if (!answerer.waitAll())
        return 3;
    window.findChild<QSpinBox *>(u"parallelSpinBox"_s)->setMaximum(2);
    window.findChild<QSpinBox *>(u"parallelSpinBox"_s)
        ->setValue(qEnvironmentVariableIntValue("KILL_CHILD_JOBS"));
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    auto *insert = window.findChild<QPushButton *>(u"insertJobButton"_s);
    while (!insert->isEnabled())
        QTest::qWait(10);
    window.close();
    return 0;
}
} // namespace

void BatchRunTest::killedAgainAndAgain()
{
    constexpr int jobs = 16;
    constexpr int minimumKills = 50;
    FakeConverter fake;
    fake.setScenario({u"sleep 60"_s, u"exit 0"_s});
    QStringList texts;
    for (int i = 0; i < jobs; ++i)
        texts << u"-y,-i,/in%1.avi,/out%1.mp3"_s.arg(i);
    const QString list = dir.filePath(u"kill.btc"_s);
    QVERIFY(writeFile(list, batchFileContent(texts)));

    QRandomGenerator random(20261208);
    int kills = 0, cycles = 0, cycleKills = 0;
    bool fresh = true;        // the next start loads the list anew
    QSet<QString> doneBefore; // recorded done when the last start was killed
    qsizetype cycleStart = 0; // runs before the list was loaded
    for (int round = 0; round < 4 * minimumKills; ++round) {
        const qsizetype runsBefore = fake.runs().size();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"KILL_CHILD"_s, u"1"_s);
        env.insert(u"KILL_CHILD_JOBS"_s, QString::number(1 + round % 2));
        if (fresh)
            env.insert(u"KILL_CHILD_LOAD"_s, list);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        if (kills < minimumKills) {
            // Somewhere between start-up and the end of the list.
            QTest::qWait(int(random.bounded(100, 800)));
            // Never kill(0): a child already gone has no process id left.
            if (const qint64 pid = child.processId(); pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0) {
                ++kills;
                ++cycleKills;
            }
        }
        if (child.state() != QProcess::NotRunning)
            QVERIFY(child.waitForFinished(30000));
        const bool killed = child.exitStatus() == QProcess::CrashExit;
        QVERIFY2(killed || child.exitCode() == 0, qPrintable(u"child ended with %1"_s.arg(child.exitCode())));

        // No job that was recorded done before this start ran again.
        const QList<QStringList> runs = fake.runs();
        for (qsizetype i = runsBefore; i < runs.size(); ++i)
            QVERIFY2(!doneBefore.contains(jobText(runs[i])), qPrintable(jobText(runs[i])));

        if (QFile::exists(recoveryPath())) {
            QVERIFY(killed);
            // The list is there in full, whatever moment the kill hit.
            QFile file(recoveryPath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const std::optional<RecoveredList> saved = parseRecovery(file.readAll());
            QVERIFY2(saved, qPrintable(u"round %1"_s.arg(round)));
            QCOMPARE(saved->jobs, texts);
            doneBefore.clear();
            for (int i = 0; i < jobs; ++i)
                if (saved->states[i] == JobState::Done)
                    doneBefore.insert(texts[i]);
            fresh = false;
            continue;
        }
        // No recovery file: killed before the list was loaded, or the list was
        // finished; then every job was converted since it was loaded.
        if (!(fresh && killed && runs.size() == cycleStart)) {
            QSet<QString> converted;
            for (qsizetype i = cycleStart; i < runs.size(); ++i)
                converted.insert(jobText(runs[i]));
            QCOMPARE(converted.size(), jobs);
            // Progress is kept: a kill costs at most the jobs running at that
            // moment (two at the most) and those that ended within the last
            // quarter second, whose states are saved together (jobs of 60 ms,
            // two at once).
            constexpr int lostPerKill = 2 + 2 * (250 / 60 + 1);
            QVERIFY2(runs.size() - cycleStart <= jobs + lostPerKill * cycleKills,
                     qPrintable(u"%1 runs, %2 kills"_s.arg(runs.size() - cycleStart).arg(cycleKills)));
            ++cycles;
            if (kills >= minimumKills)
                break;
        }
        fresh = true;
        doneBefore.clear();
        cycleStart = runs.size();
        cycleKills = 0;
    }
    QVERIFY(kills >= minimumKills);
    QVERIFY(cycles >= 1);
    qInfo("%d kills over %d completed lists", kills, cycles);
}

void BatchRunTest::closedIsCleanEnd()
{
    // Closed right after quick jobs, one of them failed and left: a clean end,
    // which no save still waiting undoes.
    FakeConverter fake;
    fake.setScenario({u"@4 exit 1"_s, u"exit 0"_s});
    {
        MainWindow window;
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        listJobs(window, 4);
        ModalAnswerer answerer;
        answerer.clickBox(QMessageBox::Ok);
        window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
        QVERIFY(answerer.waitAll(15000));
        QVERIFY(QFile::exists(recoveryPath()));
        window.close();
        QVERIFY(!QFile::exists(recoveryPath()));
    }
    QTest::qWait(300);
    QVERIFY(!QFile::exists(recoveryPath()));
}

void BatchRunTest::headless_data()
{
    QTest::addColumn<QStringList>("scenario");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("conversions");
    QTest::addColumn<QString>("summary");
    QTest::newRow("all done") << QStringList{u"exit 0"_s} << QStringList{u"--jobs"_s, u"2"_s} << 0 << 3
                              << u"Batch beendet: 3 umgewandelt"_s;
    QTest::newRow("failure ends the run")
        << QStringList{u"@1 exit 1"_s, u"exit 0"_s} << QStringList() << 1 << 1
        << u"Batch beendet: 0 umgewandelt, 1 Fehler, 2 nicht umgewandelt"_s;
    QTest::newRow("keep going") << QStringList{u"@2 exit 1"_s, u"exit 0"_s} << QStringList{u"--keep-going"_s}
                                << 1 << 3 << u"Batch beendet: 2 umgewandelt, 1 Fehler"_s;
    QTest::newRow("existing output skipped") << QStringList{u"exit 0"_s} << QStringList{u"--skip"_s} << 0 << 2
                                             << u"Batch beendet: 2 umgewandelt, 1 übersprungen"_s;
    QTest::newRow("overwrite") << QStringList{u"exit 0"_s} << QStringList{u"--skip"_s, u"--overwrite"_s} << 0
                               << 3 << u"Batch beendet: 3 umgewandelt"_s;
    QTest::newRow("output is input") << QStringList{u"exit 0"_s}
                                     << QStringList{u"--same"_s, u"--keep-going"_s} << 1 << 2
                                     << u"Batch beendet: 2 umgewandelt, 1 Fehler"_s;
}

void BatchRunTest::headless()
{
    QFETCH(QStringList, scenario);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(int, conversions);
    QFETCH(QString, summary);
    FakeConverter fake;
    fake.setScenario(scenario);
    QTemporaryDir work;
    QStringList texts;
    for (int i = 0; i < 3; ++i)
        texts << u"-y,-i,%1/in%2.avi,%1/out%2.mp3"_s.arg(work.path()).arg(i);
    // Only a whole file is skipped as done (a half one is named, see tst_trust).
    if (options.removeAll(u"--skip"_s))
        QVERIFY(makeClip(work.filePath(u"out1.mp3"_s), 1, false, true));
    if (options.removeAll(u"--same"_s)) {
        QVERIFY(writeFile(work.filePath(u"in1.avi"_s), "x"));
        // Options before "-i" do not hide the input.
        texts[1] = u"-y,-v,error,-i,%1/in1.avi,%1/./in1.avi"_s.arg(work.path());
    }
    const QString list = work.filePath(u"liste.btc"_s);
    QVERIFY(writeFile(list, batchFileContent(texts)));

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), QStringList{u"--run"_s, list} + options);
    QVERIFY(run.waitForFinished(30000));
    const QString out = QString::fromUtf8(run.readAllStandardOutput());
    QCOMPARE(run.exitCode(), status);
    QCOMPARE(fake.runs().size(), conversions);
    QCOMPARE(out.trimmed().section(u'\n', -1), summary);
    QCOMPARE(out.count(u'\n'), qsizetype(texts.size() - (status == 1 && conversions == 1 ? 2 : 0) + 1));
}

void BatchRunTest::headlessInterrupted()
{
    FakeConverter fake;
    const QString pids = fake.directory() + u"/pid"_s;
    fake.setScenario({u"@=/nirgends/in0.avi pid %1-1"_s.arg(pids),
                      u"@=/nirgends/in1.avi pid %1-2"_s.arg(pids), u"waitterm"_s});
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << u"-y,-i,/nirgends/in%1.avi,/nirgends/out%1.mp3"_s.arg(i);
    const QString list = dir.filePath(u"sigint.btc"_s);
    QVERIFY(writeFile(list, batchFileContent(texts)));
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), {u"--run"_s, list, u"--jobs"_s, u"2"_s});
    QTRY_VERIFY(FakeConverter::writtenPid(pids + u"-1"_s) > 0 &&
                FakeConverter::writtenPid(pids + u"-2"_s) > 0);
    QVERIFY(run.processId() > 0);
    ::kill(pid_t(run.processId()), SIGINT);
    QVERIFY(run.waitForFinished(15000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 130);
    const QString out = QString::fromUtf8(run.readAllStandardOutput());
    QCOMPARE(out.count(u"ABGEBROCHEN"_s), 2);
    QVERIFY(out.contains(u"Batch beendet: 0 umgewandelt, 4 nicht umgewandelt"_s));
    // Both converters were ended and waited for; no further job started.
    QVERIFY(::kill(FakeConverter::writtenPid(pids + u"-1"_s), 0) != 0);
    QVERIFY(::kill(FakeConverter::writtenPid(pids + u"-2"_s), 0) != 0);
    QCOMPARE(fake.runs().size(), 2);
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("KILL_CHILD"))
        return windowChild(argc, argv);
    QApplication app(argc, argv);
    BatchRunTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batchrun.moc"
