// Watched folders without a converter: which files are taken and when, the
// journal across restarts, output names, tries and the point a file is left,
// the kept list and the dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include "folderwatch.h"
#include "testsupport.h"
#include "watchdialog.h"
#include "watching.h"
#include "watchjournal.h"
#include "watchlist.h"

using namespace Qt::StringLiterals;

namespace {
bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    return file.open(mode) && file.write(bytes) == bytes.size();
}

qint64 residentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}
} // namespace

class WatchTest : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void arrivals();
    void journal_data();
    void journal();
    void journalAcrossRestarts();
    void outputNames_data();
    void outputNames();
    void triesThenLeft();
    void restartTakesNewAndRedoesUnfinished();
    void tenThousandDoneFiles();
    void entryProblems_data();
    void entryProblems();
    void keptList();
    void dialog();
};

void WatchTest::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("taken");
    QTest::newRow("video") << u"Urlaub, Tag 1.mp4"_s << true;
    QTest::newRow("upper case") << u"CLIP.MKV"_s << true;
    QTest::newRow("audio") << u"ton.flac"_s << true;
    QTest::newRow("browser download") << u"film.mp4.part"_s << false;
    QTest::newRow("chrome download") << u"film.mp4.crdownload"_s << false;
    QTest::newRow("temporary") << u"film.mp4.TMP"_s << false;
    QTest::newRow("backup") << u"film.mp4~"_s << false;
    QTest::newRow("hidden (rsync)") << u".film.mp4.Xa3b9"_s << false;
    QTest::newRow("hidden media name") << u".film.mp4"_s << false;
    QTest::newRow("no media") << u"notes.txt"_s << false;
}

void WatchTest::names()
{
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QCOMPARE(isWatchedName(name), taken);
}

// Files of every kind arrive together; each is reported when, and only when,
// it is complete, and once.
void WatchTest::arrivals()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s);
    QVERIFY(QDir().mkpath(in + u"/out"_s));
    QVERIFY(QDir().mkpath(in + u"/sub"_s));
    QVERIFY(writeFile(in + u"/old.avi"_s, "already here"));
    QVERIFY(writeFile(in + u"/out/made.mp4"_s, "an output"));
    QVERIFY(writeFile(dir.filePath(u"elsewhere.avi"_s), "moved in"));

    FolderWatch watch;
    watch.addFolder(in, true);
    watch.setExcludedFolders({in + u"/out"_s});
    // Far above the pauses of the slow copy, so that a busy machine does not
    // make a pause look like its end.
    watch.setSettleMs(1500);
    watch.setScanIntervalMs(300);
    QList<std::pair<QString, qint64>> ready;
    QElapsedTimer clock;
    QHash<QString, qint64> readyAt;
    connect(&watch, &FolderWatch::fileReady, this, [&](const QString &path, qint64 size, qint64) {
        ready.append({path, size});
        readyAt.insert(path, clock.elapsed());
    });
    QSignalSpy refused(&watch, &FolderWatch::fileRefused);
    clock.start();
    watch.start();
    QCOMPARE(ready.size(), 0); // even an old file settles first

    // A copy that takes several seconds, a download under its partial name, a
    // named pipe, a file in a new subfolder and one in the output folder.
    QVERIFY(writeFile(in + u"/film.mp4.part"_s, "downloading"));
    QVERIFY(::mkfifo(QFile::encodeName(in + u"/pipe.avi"_s).constData(), 0600) == 0);
    QVERIFY(QDir().mkpath(in + u"/later"_s));
    QVERIFY(writeFile(in + u"/later/deep.mkv"_s, "deep"));
    QVERIFY(writeFile(in + u"/out/new.mp4"_s, "another output"));
    qint64 lastWrite = 0;
    for (int i = 0; i < 8; ++i) {
        QVERIFY(writeFile(in + u"/slow.avi"_s, QByteArray(1000, 'x'), QIODevice::Append));
        lastWrite = clock.elapsed();
        QTest::qWait(300);
    }
    QVERIFY(!readyAt.contains(in + u"/slow.avi"_s));
    QVERIFY(QFile::rename(in + u"/film.mp4.part"_s, in + u"/film.mp4"_s));
    QVERIFY(QFile::rename(dir.filePath(u"elsewhere.avi"_s), in + u"/sub/moved.avi"_s));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 5, 10000);
    QTest::qWait(1500); // nothing more, nothing twice

    QStringList paths;
    for (const auto &[path, size] : std::as_const(ready))
        paths << path;
    paths.sort();
    QCOMPARE(paths, QStringList({in + u"/film.mp4"_s, in + u"/later/deep.mkv"_s, in + u"/old.avi"_s,
                                 in + u"/slow.avi"_s, in + u"/sub/moved.avi"_s}));
    QVERIFY2(readyAt[in + u"/slow.avi"_s] >= lastWrite + 1500, "the slow copy was taken before it settled");
    for (const auto &[path, size] : std::as_const(ready))
        if (path.endsWith(u"slow.avi"_s))
            QCOMPARE(size, 8000);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.first().first().toString(), in + u"/pipe.avi"_s);

    // A new version of a reported file is reported again; retake() without a
    // change too, after its delay.
    QVERIFY(writeFile(in + u"/old.avi"_s, "replaced by a longer text"));
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 6, 5000);
    QCOMPARE(ready.last().first, in + u"/old.avi"_s);
    watch.retake(in + u"/film.mp4"_s, 300);
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 7, 5000);
    QCOMPARE(ready.last().first, in + u"/film.mp4"_s);
}

// The journal's verdict after a sequence of entries for one file, and after
// the same sequence read back by a new process.
void WatchTest::journal_data()
{
    QTest::addColumn<QStringList>("entries"); // outcome:size
    QTest::addColumn<int>("size");            // the version asked about
    QTest::addColumn<int>("verdict");
    using V = WatchJournal::Verdict;
    QTest::newRow("never seen") << QStringList() << 10 << int(V::New);
    QTest::newRow("done") << QStringList{u"started:10"_s, u"done:10"_s} << 10 << int(V::Done);
    QTest::newRow("done, then replaced") << QStringList{u"started:10"_s, u"done:10"_s} << 11 << int(V::New);
    QTest::newRow("killed while running") << QStringList{u"started:10"_s} << 10 << int(V::Retry);
    QTest::newRow("stopped") << QStringList{u"started:10"_s, u"cancelled:10"_s} << 10 << int(V::Retry);
    QTest::newRow("failed twice") << QStringList{u"failed:10"_s, u"failed:10"_s} << 10 << int(V::Retry);
    QTest::newRow("failed thrice") << QStringList{u"failed:10"_s, u"failed:10"_s, u"failed:10"_s} << 10
                                   << int(V::GivenUp);
    QTest::newRow("failures of an old version")
        << QStringList{u"failed:9"_s, u"failed:9"_s, u"failed:10"_s} << 10 << int(V::Retry);
    QTest::newRow("failed, then done") << QStringList{u"failed:10"_s, u"done:10"_s} << 10 << int(V::Done);
}

void WatchTest::journal()
{
    QFETCH(QStringList, entries);
    QFETCH(int, size);
    QFETCH(int, verdict);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"j"_s);
    const QString input = u"/videos/a.avi"_s;
    const QHash<QString, WatchJournal::Outcome> outcomes{{u"started"_s, WatchJournal::Outcome::Started},
                                                         {u"done"_s, WatchJournal::Outcome::Done},
                                                         {u"failed"_s, WatchJournal::Outcome::Failed},
                                                         {u"cancelled"_s, WatchJournal::Outcome::Cancelled}};
    {
        WatchJournal journal(path);
        QCOMPARE(journal.open(), QString());
        for (const QString &entry : std::as_const(entries)) {
            const QStringList parts = entry.split(u':');
            QCOMPARE(journal.note(outcomes[parts[0]], input, parts[1].toLongLong(), 7, u"/out/a.mp3"_s),
                     QString());
        }
        QCOMPARE(int(journal.verdict(input, size, 7)), verdict);
    }
    WatchJournal again(path);
    QCOMPARE(again.open(), QString());
    QCOMPARE(int(again.verdict(input, size, 7)), verdict);
    QCOMPARE(again.isOutput(u"/out/a.mp3"_s), !entries.isEmpty());
}

// What a crash leaves, a second process, and the journal made smaller.
void WatchTest::journalAcrossRestarts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"j"_s);
    {
        WatchJournal journal(path);
        QCOMPARE(journal.open(), QString());
        QCOMPARE(journal.note(WatchJournal::Outcome::Done, u"/in/a.avi"_s, 5, 1, u"/out/a.mp3"_s), QString());
        // One process at a time: a second one is told so, in German.
        WatchJournal second(path);
        QVERIFY(second.open().contains(u"Ein anderer Quorvid"_s));
    }
    // A line cut off by a power cut is no entry, and the next one is whole.
    QVERIFY(writeFile(path, "{\"outcome\":\"done\",\"input\":\"/in/b.a", QIODevice::Append));
    {
        WatchJournal journal(path);
        QCOMPARE(journal.open(), QString());
        QCOMPARE(journal.verdict(u"/in/b.avi"_s, 5, 1), WatchJournal::Verdict::New);
        QCOMPARE(journal.note(WatchJournal::Outcome::Done, u"/in/c.avi"_s, 5, 1, {}), QString());
        // Many superseded lines: the next start writes only what still counts.
        for (int i = 0; i < 2100; ++i)
            QCOMPARE(journal.note(WatchJournal::Outcome::Failed, u"/in/d.avi"_s, i, 1, {}, u"kaputt"_s),
                     QString());
    }
    WatchJournal journal(path);
    QCOMPARE(journal.open(), QString());
    QCOMPARE(journal.verdict(u"/in/a.avi"_s, 5, 1), WatchJournal::Verdict::Done);
    QCOMPARE(journal.verdict(u"/in/c.avi"_s, 5, 1), WatchJournal::Verdict::Done);
    QCOMPARE(journal.verdict(u"/in/d.avi"_s, 2099, 1), WatchJournal::Verdict::Retry);
    QCOMPARE(journal.failures(u"/in/d.avi"_s, 2099, 1), 1);
    QCOMPARE(journal.lastReason(u"/in/d.avi"_s), u"kaputt"_s);
    QVERIFY2(journal.lines() < 10, qPrintable(QString::number(journal.lines())));
}

void WatchTest::outputNames_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("output");
    QTest::newRow("plain") << u"/w/a.avi"_s << false << QStringList() << u"/o/a.mp3"_s;
    QTest::newRow("subfolder kept") << u"/w/2024/mai/a.avi"_s << true << QStringList()
                                    << u"/o/2024/mai/a.mp3"_s;
    QTest::newRow("taken twice") << u"/w/a.avi"_s << false << QStringList{u"/o/a.mp3"_s, u"/o/a-2.mp3"_s}
                                 << u"/o/a-3.mp3"_s;
    QTest::newRow("comma and space") << u"/w/Urlaub, Tag 1.avi"_s << false << QStringList()
                                     << u"/o/Urlaub, Tag 1.mp3"_s;
}

void WatchTest::outputNames()
{
    QFETCH(QString, input);
    QFETCH(bool, recursive);
    QFETCH(QStringList, taken);
    QFETCH(QString, output);
    const WatchEntry entry{u"/w"_s, recursive, u"MP3"_s, u"/o"_s, false};
    QCOMPARE(
        watchOutputName(input, entry, u".mp3"_s, [&](const QString &name) { return taken.contains(name); }),
        output);
}

// A failing file is tried a set number of times, then named and left; a new
// version of it starts afresh.
void WatchTest::triesThenLeft()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s);
    QVERIFY(QDir().mkpath(in));
    QVERIFY(writeFile(in + u"/bad.avi"_s, "broken"));
    Watching watching(dir.filePath(u"journal"_s));
    watching.setPresets(builtInPresets());
    watching.setSettleMs(100);
    watching.setRetryDelayMs(100);
    watching.setMaxTries(3);
    // A file written over in place gives no event: the periodic look finds it.
    watching.setScanIntervalMs(200);
    QCOMPARE(watching.open(), QString());
    QList<int> attempts;
    connect(&watching, &Watching::arrived, this, [&](const WatchArrival &arrival) {
        attempts << arrival.attempt;
        QCOMPARE(watching.jobStarted(arrival), QString());
        QTimer::singleShot(0, &watching, [&watching, arrival] {
            watching.jobEnded(arrival, Watching::JobResult::Failed, u"ffmpeg meldet einen Fehler"_s);
        });
    });
    QSignalSpy givenUp(&watching, &Watching::givenUp);
    watching.setEntries({{in, false, u"Nur Ton: MP3 192 kbit/s"_s, dir.filePath(u"out"_s), false}});
    QTRY_COMPARE_WITH_TIMEOUT(givenUp.size(), 1, 10000);
    QTest::qWait(600);
    QCOMPARE(attempts, QList<int>({1, 2, 3}));
    QCOMPARE(givenUp.first().at(1).toString(), u"ffmpeg meldet einen Fehler"_s);
    QCOMPARE(watching.outstanding(), 0);

    QVERIFY(writeFile(in + u"/bad.avi"_s, "a new version"));
    QTRY_COMPARE_WITH_TIMEOUT(attempts.size(), 4, 5000);
    QCOMPARE(attempts.last(), 1);

    // Paused, it lets go of the journal: another Quorvid may watch meanwhile.
    QTRY_COMPARE(watching.outstanding(), 0);
    WatchJournal other(dir.filePath(u"journal"_s));
    QVERIFY(!other.open().isEmpty());
    watching.setEntries({{in, false, u"Nur Ton: MP3 192 kbit/s"_s, dir.filePath(u"out"_s), true}});
    QCOMPARE(other.open(), QString());
}

// After a restart: a done file is not taken again, a new one and one that was
// running when the process was killed are; outputs of jobs are never inputs,
// even in the watched folder itself.
void WatchTest::restartTakesNewAndRedoesUnfinished()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s);
    QVERIFY(QDir().mkpath(in));
    for (const char *name : {"done.avi", "killed.avi"})
        QVERIFY(writeFile(in + u'/' + QLatin1StringView(name), name));
    const WatchEntry entry{in, false, u"Nur Ton: MP3 192 kbit/s"_s, in, false};
    QStringList taken;
    const auto watchOnce = [&](const std::function<void(Watching &, const WatchArrival &)> &react) {
        Watching watching(dir.filePath(u"journal"_s));
        watching.setPresets(builtInPresets());
        watching.setSettleMs(100);
        if (!watching.open().isEmpty())
            return;
        connect(&watching, &Watching::arrived, this, [&](const WatchArrival &arrival) {
            taken << QFileInfo(arrival.path).fileName();
            react(watching, arrival);
        });
        watching.setEntries({entry});
        QTest::qWait(1200);
    };
    watchOnce([](Watching &watching, const WatchArrival &arrival) {
        watching.jobStarted(arrival);
        // The output lands beside the input; "killed" never ends.
        QVERIFY(writeFile(arrival.output, "converted"));
        if (arrival.path.endsWith(u"done.avi"_s))
            watching.jobEnded(arrival, Watching::JobResult::Done);
    });
    taken.sort();
    QCOMPARE(taken, QStringList({u"done.avi"_s, u"killed.avi"_s}));
    taken.clear();
    QVERIFY(writeFile(in + u"/new.avi"_s, "arrived while not running"));
    watchOnce([](Watching &watching, const WatchArrival &arrival) {
        watching.jobStarted(arrival);
        watching.jobEnded(arrival, Watching::JobResult::Done);
    });
    taken.sort();
    QCOMPARE(taken, QStringList({u"killed.avi"_s, u"new.avi"_s}));
}

// A folder of 10,000 files done before: watched within 2 s, for at most 50 MB.
void WatchTest::tenThousandDoneFiles()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s);
    QVERIFY(QDir().mkpath(in));
    // The journal as a long run leaves it, written here in one go (an entry
    // per file, as the watch reads the times: nanoseconds).
    QByteArray lines;
    for (int i = 0; i < 10000; ++i) {
        const QString name = in + u"/clip%1.avi"_s.arg(i, 5, 10, QChar(u'0'));
        QVERIFY(writeFile(name, "x"));
        struct stat status = {};
        QCOMPARE(::stat(QFile::encodeName(name).constData(), &status), 0);
        const QByteArray modified =
            QByteArray::number(qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec);
        const QByteArray output = dir.filePath(u"out/clip%1.mp3"_s.arg(i, 5, 10, QChar(u'0'))).toUtf8();
        lines += "{\"outcome\":\"started\",\"input\":\"" + name.toUtf8() +
                 "\",\"size\":\"1\",\"modified\":\"" + modified + "\",\"output\":\"" + output + "\"}\n";
        lines += "{\"outcome\":\"done\",\"input\":\"" + name.toUtf8() + "\",\"size\":\"1\",\"modified\":\"" +
                 modified + "\",\"output\":\"" + output + "\"}\n";
    }
    QVERIFY(writeFile(dir.filePath(u"journal"_s), lines));
    const qint64 before = residentKiB();
    QElapsedTimer clock;
    clock.start();
    Watching watching(dir.filePath(u"journal"_s));
    watching.setPresets(builtInPresets());
    watching.setSettleMs(200);
    QCOMPARE(watching.open(), QString());
    QSignalSpy arrived(&watching, &Watching::arrived);
    watching.setEntries({{in, false, u"Nur Ton: MP3 192 kbit/s"_s, dir.filePath(u"out"_s), false}});
    const qint64 startMs = clock.elapsed();
    const qint64 addedKiB = residentKiB() - before;
    qInfo("10,000 done files: watching after %lld ms, %.1f MB more", startMs, addedKiB / 1024.0);
#if !defined(__SANITIZE_ADDRESS__)
    // The bounds hold for the program as users run it; the sanitizers' shadow
    // memory and checks multiply both.
    QVERIFY2(startMs < 2000, qPrintable(QString::number(startMs)));
    QVERIFY2(addedKiB < 50 * 1024, qPrintable(QString::number(addedKiB)));
#endif
    QVERIFY(writeFile(in + u"/fresh.avi"_s, "new"));
    QTRY_COMPARE_WITH_TIMEOUT(arrived.size(), 1, 5000);
    QTest::qWait(500);
    QCOMPARE(arrived.size(), 1);
}

void WatchTest::entryProblems_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("problem"); // a word of it; empty: none
    QTest::newRow("plain") << u"w"_s << false << u"o"_s << QString();
    QTest::newRow("output inside") << u"w"_s << true << u"w/out"_s << QString();
    QTest::newRow("output is the folder") << u"w"_s << false << u"w"_s << QString();
    QTest::newRow("folder inside output") << u"w"_s << false << u"."_s << u"enthält"_s;
    QTest::newRow("missing folder") << u"nowhere"_s << false << u"o"_s << u"gibt es nicht"_s;
    QTest::newRow("no output") << u"w"_s << false << QString() << u"Ausgabeordner"_s;
    QTest::newRow("watched already") << u"v"_s << false << u"o"_s << u"schon überwacht"_s;
    QTest::newRow("below a recursive one") << u"v/sub"_s << false << u"o"_s << u"schon überwacht"_s;
}

void WatchTest::entryProblems()
{
    QFETCH(QString, folder);
    QFETCH(bool, recursive);
    QFETCH(QString, output);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"w"_s)) && QDir().mkpath(dir.filePath(u"v/sub"_s)));
    const QList<WatchEntry> others{{dir.filePath(u"v"_s), true, u"MP3"_s, dir.filePath(u"o2"_s), false}};
    const WatchEntry entry{dir.filePath(folder), recursive, u"MP3"_s,
                           output.isEmpty() ? QString() : dir.filePath(output), false};
    const QString said = watchEntryProblem(entry, others);
    QVERIFY2(problem.isEmpty() ? said.isEmpty() : said.contains(problem), qPrintable(said));
}

void WatchTest::keptList()
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(u"quorvid.conf"_s), QSettings::IniFormat);
    const QList<WatchEntry> entries{
        {u"/home/a/Hochladen"_s, true, u"Teilen (H.264/AAC, höchstens 1080p)"_s, u"/home/a/Fertig"_s, false},
        {u"/mnt/karte"_s, false, u"Nur Ton: FLAC"_s, u"/mnt/ton"_s, true}};
    QVERIFY(writeWatchList(settings, entries));
    QSettings again(dir.filePath(u"quorvid.conf"_s), QSettings::IniFormat);
    QCOMPARE(readWatchList(again), entries);
    QVERIFY(writeWatchList(again, {entries.last()}));
    QSettings third(dir.filePath(u"quorvid.conf"_s), QSettings::IniFormat);
    QCOMPARE(readWatchList(third), QList<WatchEntry>{entries.last()});
}

void WatchTest::dialog()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(u"w"_s)));
    WatchDialog dialog({}, {u"Teilen"_s, u"Nur Ton: FLAC"_s}, dir.path());
    auto *folder = dialog.findChild<QLineEdit *>(u"folderEdit"_s);
    auto *output = dialog.findChild<QLineEdit *>(u"outputEdit"_s);
    auto *preset = dialog.findChild<QComboBox *>(u"presetCombo"_s);
    auto *add = dialog.findChild<QPushButton *>(u"addButton"_s);
    auto *list = dialog.findChild<QTreeWidget *>(u"folderList"_s);
    QVERIFY(folder && output && preset && add && list);

    // A missing output folder is named, and nothing is added.
    folder->setText(dir.filePath(u"w"_s));
    add->click();
    QVERIFY(dialog.findChild<QLabel *>(u"problemLabel"_s)->text().contains(u"Ausgabeordner"_s));
    QCOMPARE(list->topLevelItemCount(), 0);

    dialog.findChild<QCheckBox *>(u"recursiveCheck"_s)->setChecked(true);
    preset->setCurrentIndex(1);
    output->setText(dir.filePath(u"w/fertig"_s));
    add->click();
    QCOMPARE(list->topLevelItemCount(), 1);
    QVERIFY(QFileInfo(dir.filePath(u"w/fertig"_s)).isDir());
    list->setCurrentItem(list->topLevelItem(0));
    dialog.findChild<QPushButton *>(u"pauseButton"_s)->click();
    QCOMPARE(list->topLevelItem(0)->text(4), u"pausiert"_s);
    QCOMPARE(dialog.entries(), QList<WatchEntry>({{dir.filePath(u"w"_s), true, u"Nur Ton: FLAC"_s,
                                                   dir.filePath(u"w/fertig"_s), true}}));
    list->setCurrentItem(list->topLevelItem(0));
    dialog.findChild<QPushButton *>(u"removeButton"_s)->click();
    QVERIFY(dialog.entries().isEmpty());
}

QTEST_MAIN(WatchTest)
#include "tst_watch.moc"
