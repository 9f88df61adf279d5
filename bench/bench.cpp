// Measures what Quorvid costs beyond the converter and how its lists and readers
// scale, and prints one table (Markdown) with every figure beside its target.
// Each figure is the median of several runs; every ratio is measured side by side
// in the same run.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QItemSelection>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <sys/resource.h>

#include "batchfile.h"
#include "benchutil.h"
#include "mediainfo.h"
#include "progress.h"
#include "quorvid.h"

using namespace Qt::StringLiterals;

namespace {

struct Row
{
    QString measure;
    QString value;
    QString target;
    bool met;
};
QList<Row> table;

void add(const QString &measure, const QString &value, const QString &target, bool met)
{
    table << Row{measure, value, target, met};
    std::fprintf(stderr, "  %s: %s (%s)\n", qPrintable(measure), qPrintable(value), qPrintable(target));
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// The median of the ratios of pairs run side by side: steadier than the ratio of
// the two medians when the machine's speed drifts between pairs.
double medianRatio(const QList<double> &own, const QList<double> &other)
{
    QList<double> ratios;
    for (qsizetype i = 0; i < own.size() && i < other.size(); ++i)
        ratios << own[i] / other[i];
    return median(ratios);
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long settledKiB()
{
    malloc_trim(0);
    return residentKiB();
}

QString number(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

bool makeClip(const QString &path, int seconds)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"ffmpeg"_s,
            {u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
             u"testsrc=size=320x240:rate=25:duration=%1"_s.arg(seconds), u"-f"_s, u"lavfi"_s, u"-i"_s,
             u"sine=duration=%1"_s.arg(seconds), u"-c:v"_s, u"mpeg4"_s, u"-c:a"_s, u"libmp3lame"_s, path});
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Runs the converter without any window, as a shell would.
bool runDirect(const QStringList &arguments)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"ffmpeg"_s, arguments);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Starts a program and waits for its "ready RSS" line: wall milliseconds and KiB.
std::pair<double, long> startUp(const QString &program)
{
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(program, {});
    QByteArray out;
    while (!out.contains('\n') && p.waitForReadyRead(30000))
        out += p.readAllStandardOutput();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    p.waitForFinished(30000);
    const QList<QByteArray> parts = out.trimmed().split(' ');
    return {ms, parts.value(1).toLong()};
}

} // namespace

// Reaches the window's helpers and processes, so that the list operations are
// timed without their file dialogs and a run's end is seen the moment it happens.
class BenchAccess
{
public:
    static void startup();
    static void singleRun(const QString &dir);
    static void batchRun(const QString &dir);
    static void listScale(const QString &dir);
    static void parsing();
    static void manyJobs(const QString &dir);
    static void recoverySave(const QString &dir);
};

void BenchAccess::startup()
{
    std::fprintf(stderr, "start-up\n");
    // Many short pairs, each started side by side and in alternating order, so that
    // neither program always finds the file cache warmed by the other.
    QList<double> floorMs, ownMs, floorKiB, ownKiB;
    for (int i = 0; i < 31; ++i) {
        std::pair<double, long> floorRun, ownRun;
        if (i % 2) {
            floorRun = startUp(QStringLiteral(BENCH_FLOOR));
            ownRun = startUp(QStringLiteral(BENCH_QUORVID));
        } else {
            ownRun = startUp(QStringLiteral(BENCH_QUORVID));
            floorRun = startUp(QStringLiteral(BENCH_FLOOR));
        }
        if (i == 0)
            continue; // the first pair warms the file cache
        floorMs << floorRun.first;
        ownMs << ownRun.first;
        floorKiB << double(floorRun.second);
        ownKiB << double(ownRun.second);
    }
    const double timeRatio = medianRatio(ownMs, floorMs);
    const double memRatio = median(ownKiB) / median(floorKiB);
    add(u"Start-up to idle window (floor %1 ms)"_s.arg(number(median(floorMs))),
        u"%1 ms, %2x"_s.arg(number(median(ownMs)), number(timeRatio, 2)), u"≤ 1.15x"_s, timeRatio <= 1.15);
    add(u"Idle memory (floor %1 MB)"_s.arg(number(median(floorKiB) / 1024)),
        u"%1 MB, %2x"_s.arg(number(median(ownKiB) / 1024), number(memRatio, 2)), u"≤ 1.10x"_s,
        memRatio <= 1.10);
}

void BenchAccess::singleRun(const QString &dir)
{
    std::fprintf(stderr, "single run\n");
    const QString input = dir + u"/clip20.mp4"_s;
    const QString output = dir + u"/clip20.avi"_s;
    if (!makeClip(input, 20)) {
        add(u"Single run overhead"_s, u"no clip: the converter failed"_s, u"≤ 1.02x"_s, false);
        return;
    }
    MainWindow window;
    window.openLineEdit->setText(input);
    // Encoded anew as MPEG-4 video, as a user converting a file would choose: a
    // stream copy ends in a few tens of milliseconds, which measures mostly the
    // machine's noise.
    window.vcodecComboBox->setCurrentIndex(5);
    window.vcopywahl();
    window.saveLineEdit->setText(output);
    const QStringList arguments = window.createArguments(input, output);
    const auto throughWindow = [&] {
        QFile::remove(output);
        QEventLoop loop;
        QObject::connect(&window.singleRunner, &JobRunner::runEnded, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(600000, &loop, &QEventLoop::quit); // never wait forever
        window.SingleConvert();
        loop.exec();
        return double(clock.nsecsElapsed()) / 1e6;
    };
    const auto withoutWindow = [&] {
        QFile::remove(output);
        QElapsedTimer clock;
        clock.start();
        runDirect(arguments);
        return double(clock.nsecsElapsed()) / 1e6;
    };
    // Pairs in alternating order, so that neither side always runs second, on
    // caches the other has warmed.
    QList<double> own, direct;
    for (int i = 0; i < 41; ++i) {
        double windowMs = 0, directMs = 0;
        if (i % 2) {
            directMs = withoutWindow();
            windowMs = throughWindow();
        } else {
            windowMs = throughWindow();
            directMs = withoutWindow();
        }
        if (i == 0)
            continue;
        own << windowMs;
        direct << directMs;
    }
    const double ratio = medianRatio(own, direct);
    add(u"Single run, 20 s clip to MPEG-4 (direct %1 ms)"_s.arg(number(median(direct), 0)),
        u"%1 ms, %2x"_s.arg(number(median(own), 0), number(ratio, 3)), u"≤ 1.02x"_s, ratio <= 1.02);
}

void BenchAccess::batchRun(const QString &dir)
{
    std::fprintf(stderr, "batch run\n");
    const QString clip = dir + u"/clip1.mp4"_s;
    if (!makeClip(clip, 1)) {
        add(u"Batch overhead"_s, u"no clip: the converter failed"_s, u"≤ 1.03x"_s, false);
        return;
    }
    QStringList inputs;
    for (int i = 0; i < 20; ++i) {
        const QString name = dir + u"/job%1.mp4"_s.arg(i, 2, 10, QChar(u'0'));
        QFile::copy(clip, name);
        inputs << name;
    }
    // Shown, as on a desktop: its bar, table and status line are painted.
    MainWindow window;
    window.show();
    QList<double> own, direct, cpuShare, threadShare;
    for (int round = 0; round < 31; ++round) {
        window.replaceBatchList(inputs);
        QList<QStringList> lists;
        for (int row = 0; row < window.batchTableWidget->rowCount(); ++row) {
            lists << jobArguments(window.batchTableWidget->item(row, 0)->text());
            QFile::remove(lists.last().last());
        }
        // The new list is painted now, so that its painting is not counted as part of the run.
        QCoreApplication::processEvents();
        double windowMs = 0, directMs = 0, selfCpu = 0, threadCpu = 0, childCpu = 0;
        const auto throughWindow = [&] {
            QEventLoop loop;
            QObject::connect(&window.batchRunner, &JobRunner::runEnded, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            const double selfBefore = cpuSeconds(RUSAGE_SELF);
            const double threadBefore = cpuSeconds(RUSAGE_THREAD);
            const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
            QElapsedTimer clock;
            clock.start();
            QTimer::singleShot(600000, &loop, &QEventLoop::quit);
            window.batchFirstStart();
            loop.exec();
            windowMs = double(clock.nsecsElapsed()) / 1e6;
            selfCpu = cpuSeconds(RUSAGE_SELF) - selfBefore;
            threadCpu = cpuSeconds(RUSAGE_THREAD) - threadBefore;
            childCpu = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
            for (const QStringList &list : std::as_const(lists))
                QFile::remove(list.last());
        };
        const auto withoutWindow = [&] {
            QElapsedTimer clock;
            clock.start();
            for (const QStringList &list : std::as_const(lists))
                runDirect(list);
            directMs = double(clock.nsecsElapsed()) / 1e6;
            for (const QStringList &list : std::as_const(lists))
                QFile::remove(list.last());
        };
        if (round % 2) {
            withoutWindow();
            throughWindow();
        } else {
            throughWindow();
            withoutWindow();
        }
        if (round == 0)
            continue;
        own << windowMs;
        direct << directMs;
        cpuShare << (childCpu > 0 ? 100 * selfCpu / childCpu : 100);
        threadShare << (childCpu > 0 ? 100 * threadCpu / childCpu : 100);
    }
    const double ratio = medianRatio(own, direct);
    add(u"Batch run, 20 jobs of 1 s (direct %1 ms)"_s.arg(number(median(direct), 0)),
        u"%1 ms, %2x"_s.arg(number(median(own), 0), number(ratio, 3)), u"≤ 1.02x"_s, ratio <= 1.02);
    add(u"Batch run, window CPU / converter CPU"_s, u"%1 %"_s.arg(number(median(cpuShare), 2)), u"≤ 2 %"_s,
        median(cpuShare) <= 2);
    // The whole process above; here its window thread alone, without the thread
    // that writes each finished output out to the disk before the job is done.
    add(u"Batch run, window thread CPU / converter CPU"_s, u"%1 %"_s.arg(number(median(threadShare), 2)),
        u"-"_s, true);
}

void BenchAccess::listScale(const QString &dir)
{
    std::fprintf(stderr, "list scale\n");
    struct Figures
    {
        double load, save, build, remove, megabytes;
    };
    QList<Figures> figures;
    const QList<int> sizes{1000, 10000, 100000};
    for (const int count : sizes) {
        QStringList files;
        for (int i = 0; i < count; ++i)
            files << u"/home/user/Videos/Urlaub/Aufnahme %1.mp4"_s.arg(i, 6, 10, QChar(u'0'));
        const QString listFile = dir + u"/scale.btc"_s;
        QList<double> load, save, build, remove, memory;
        for (int round = 0; round < 5; ++round) {
            auto *window = new MainWindow;
            const long before = settledKiB();
            QElapsedTimer clock;
            clock.start();
            window->replaceBatchList(files);
            build << double(clock.nsecsElapsed()) / 1e6;
            memory << double(settledKiB() - before) / 1024;
            clock.restart();
            window->saveBatchList(listFile);
            save << double(clock.nsecsElapsed()) / 1e6;
            clock.restart();
            window->loadBatchList(listFile);
            load << double(clock.nsecsElapsed()) / 1e6;

            QItemSelection every2nd;
            QTableWidget *t = window->batchTableWidget;
            for (int row = 0; row < count; row += 2)
                every2nd.select(t->model()->index(row, 0), t->model()->index(row, 1));
            t->selectionModel()->select(every2nd, QItemSelectionModel::Select);
            clock.restart();
            window->delJob();
            remove << double(clock.nsecsElapsed()) / 1e6;
            if (t->rowCount() != count / 2)
                std::fprintf(stderr, "  removal left %d rows, not %d\n", t->rowCount(), count / 2);
            delete window;
        }
        figures << Figures{median(load), median(save), median(build), median(remove), median(memory)};
    }
    const Figures &ten = figures[1];
    add(u"List of 10,000: load"_s, u"%1 ms"_s.arg(number(ten.load)), u"≤ 150 ms"_s, ten.load <= 150);
    add(u"List of 10,000: save"_s, u"%1 ms"_s.arg(number(ten.save)), u"≤ 50 ms"_s, ten.save <= 50);
    add(u"List of 10,000: build from files"_s, u"%1 ms"_s.arg(number(ten.build)), u"≤ 300 ms"_s,
        ten.build <= 300);
    add(u"List of 10,000: remove half"_s, u"%1 ms"_s.arg(number(ten.remove)), u"≤ 300 ms"_s,
        ten.remove <= 300);
    add(u"List of 10,000: memory added"_s, u"%1 MB"_s.arg(number(ten.megabytes)), u"≤ 15 MB"_s,
        ten.megabytes <= 15);
    // Growth per tenfold step: 10 is linear; up to 15 counts as close to it.
    const auto growth = [&](const char *what, double Figures::*field) {
        const double a = figures[1].*field / std::max(figures[0].*field, 1e-3);
        const double b = figures[2].*field / std::max(figures[1].*field, 1e-3);
        add(u"List growth 1k→10k→100k: %1"_s.arg(QLatin1StringView(what)),
            u"%1x, %2x (100,000: %3)"_s.arg(number(a), number(b),
                                            field == &Figures::megabytes
                                                ? number(figures[2].*field) + u" MB"_s
                                                : number(figures[2].*field, 0) + u" ms"_s),
            u"≤ 15x per step"_s, b <= 15);
    };
    growth("load", &Figures::load);
    growth("save", &Figures::save);
    growth("build", &Figures::build);
    growth("remove half", &Figures::remove);
    growth("memory", &Figures::megabytes);
}

void BenchAccess::parsing()
{
    std::fprintf(stderr, "parsing\n");
    // 50 MB of a converter's standard error: status lines ended by CR between
    // warning lines, in chunk sizes a pipe delivers.
    QByteArray output = "Input #0, avi, from '/home/user/film.avi':\n  Duration: 01:30:00.00, start: 0.0, "
                        "bitrate: 1500 kb/s\n  Stream #0:0: Video: mpeg4, yuv420p, 720x576, 25 fps\n"
                        "  Stream #0:1: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n";
    for (int frame = 0; output.size() < 50 * 1024 * 1024; frame += 25) {
        const int seconds = frame / 25 % 5400; // a series of 90-minute runs
        output += "frame=" + QByteArray::number(frame) +
                  " fps=250 q=2.0 size=" + QByteArray::number(frame * 3) +
                  "kB time=" + QByteArray::number(seconds / 3600).rightJustified(2, '0') + ':' +
                  QByteArray::number(seconds / 60 % 60).rightJustified(2, '0') + ':' +
                  QByteArray::number(seconds % 60).rightJustified(2, '0') +
                  ".00 bitrate=1200.0kbits/s speed=10.0x    \r";
        if (frame % 100 == 0)
            output += "[mpeg4 @ 0x55d0c0] ac-tex damaged at 12 7\n[avi @ 0x55d0c1] non monotonically "
                      "increasing dts to muxer in stream 1: 4711 >= 4711\n";
    }
    const QList<qsizetype> chunkSizes{4096, 512, 16384, 65536, 1000, 32768};
    const auto feedAll = [&](const std::function<void(QByteArrayView)> &feed) {
        qsizetype at = 0;
        for (int i = 0; at < output.size(); ++i) {
            const qsizetype n = std::min(chunkSizes[i % chunkSizes.size()], output.size() - at);
            feed(QByteArrayView(output).sliced(at, n));
            at += n;
        }
    };
    const double megabytes = double(output.size()) / (1024 * 1024);
    const auto measure = [&](const QString &name, const std::function<void(QByteArrayView)> &feed,
                             const std::function<void()> &reset) {
        QList<double> rates;
        long growth = 0;
        for (int round = 0; round < 5; ++round) {
            reset();
            const long before = settledKiB();
            QElapsedTimer clock;
            clock.start();
            feedAll(feed);
            rates << megabytes / (double(clock.nsecsElapsed()) / 1e9);
            growth = std::max(growth, residentKiB() - before);
        }
        add(u"Parsing 50 MB: %1"_s.arg(name), u"%1 MB/s"_s.arg(number(median(rates), 0)), u"≥ 200 MB/s"_s,
            median(rates) >= 200);
        add(u"Parsing 50 MB: %1, memory growth"_s.arg(name), u"%1 MB"_s.arg(number(double(growth) / 1024)),
            u"flat (≤ 1 MB)"_s, growth <= 1024);
    };
    ProgressParser single;
    ProgressParser batch;
    InfoCollector info;
    measure(
        u"progress, single run"_s, [&](QByteArrayView b) { single.feed(b, 25); }, [&] { single.startRun(); });
    measure(
        u"progress, batch run"_s, [&](QByteArrayView b) { batch.feed(b, 25); }, [&] { batch.startRun(); });
    measure(
        u"information lines"_s, [&](QByteArrayView b) { info.feed(b); }, [&] { info.start(); });
}

// Twenty audio jobs, each a 10 s clip to mp3 (an encoder that uses one core):
// through the window one and two at a time, through `--run`, and directly.
void BenchAccess::manyJobs(const QString &dir)
{
    std::fprintf(stderr, "many jobs\n");
    QProcess tone;
    tone.setStandardInputFile(QProcess::nullDevice());
    tone.start(u"ffmpeg"_s, {u"-y"_s, u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                             u"sine=duration=10"_s, dir + u"/tone.wav"_s});
    if (!tone.waitForFinished(60000) || tone.exitCode() != 0) {
        add(u"20 audio jobs"_s, u"no clip: the converter failed"_s, u"-"_s, false);
        return;
    }
    QList<QStringList> lists;
    QStringList texts;
    for (int i = 0; i < 20; ++i) {
        const QString input = dir + u"/tone%1.wav"_s.arg(i, 2, 10, QChar(u'0'));
        QFile::copy(dir + u"/tone.wav"_s, input);
        lists << QStringList{u"-y"_s,  u"-i"_s,      input,
                             u"-vn"_s, u"-acodec"_s, u"libmp3lame"_s,
                             u"-ab"_s, u"192k"_s,    dir + u"/tone%1.mp3"_s.arg(i, 2, 10, QChar(u'0'))};
        texts << jobText(lists.last());
    }
    const QString listFile = dir + u"/tones.btc"_s;
    QFile file(listFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(batchFileContent(texts)) < 0)
        return;
    file.close();
    const auto removeOutputs = [&] {
        for (const QStringList &list : std::as_const(lists))
            QFile::remove(list.last());
    };

    MainWindow window;
    window.parallelSpinBox->setMaximum(std::max(2, window.parallelSpinBox->maximum()));
    double selfCpu = 0, childCpu = 0;
    const auto throughWindow = [&](int parallel) {
        removeOutputs();
        window.loadBatchList(listFile);
        window.parallelSpinBox->setValue(parallel);
        QCoreApplication::processEvents();
        // The run's end is seen within 20 ms; the look costs the window far less
        // than a job does.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (window.insertJobButton->isEnabled())
                loop.quit();
        });
        poll.start(20);
        const double selfBefore = cpuSeconds(RUSAGE_SELF);
        const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
        window.batchFirstStart();
        loop.exec();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        selfCpu = cpuSeconds(RUSAGE_SELF) - selfBefore;
        childCpu = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
        return ms;
    };
    const auto direct = [&] {
        removeOutputs();
        QElapsedTimer clock;
        clock.start();
        for (const QStringList &list : std::as_const(lists))
            runDirect(list);
        return double(clock.nsecsElapsed()) / 1e6;
    };
    const auto headless = [&] {
        removeOutputs();
        QProcess run;
        run.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        run.start(QStringLiteral(BENCH_QUORVID_PROGRAM), {u"--run"_s, listFile});
        run.waitForFinished(600000);
        return double(clock.nsecsElapsed()) / 1e6;
    };

    QList<double> one, two, oneCpu, twoCpu, directMs, runMs;
    for (int round = 0; round < 5; ++round) {
        // Alternating order, so that a drift of the machine's speed hits both sides.
        const bool flip = round % 2;
        const double a = throughWindow(flip ? 2 : 1);
        const double aCpu = childCpu > 0 ? 100 * selfCpu / childCpu : 100;
        const double b = throughWindow(flip ? 1 : 2);
        const double bCpu = childCpu > 0 ? 100 * selfCpu / childCpu : 100;
        const double d1 = flip ? headless() : direct();
        const double d2 = flip ? direct() : headless();
        if (round == 0)
            continue; // warming up
        one << (flip ? b : a);
        two << (flip ? a : b);
        oneCpu << (flip ? bCpu : aCpu);
        twoCpu << (flip ? aCpu : bCpu);
        directMs << (flip ? d2 : d1);
        runMs << (flip ? d1 : d2);
    }
    removeOutputs();
    const double parallelRatio = medianRatio(two, one);
    add(u"20 audio jobs (10 s to mp3), 2 at once / 1 at a time (1 at a time %1 ms)"_s.arg(
            number(median(one), 0)),
        u"%1 ms, %2x"_s.arg(number(median(two), 0), number(parallelRatio, 3)), u"≤ 0.6x"_s,
        parallelRatio <= 0.6);
    add(u"20 audio jobs, window CPU / converter CPU, 1 at a time"_s, u"%1 %"_s.arg(number(median(oneCpu), 2)),
        u"≤ 2 %"_s, median(oneCpu) <= 2);
    add(u"20 audio jobs, window CPU / converter CPU, 2 at once"_s, u"%1 %"_s.arg(number(median(twoCpu), 2)),
        u"≤ 2 %"_s, median(twoCpu) <= 2);
    const double runRatio = medianRatio(runMs, directMs);
    add(u"20 audio jobs, --run / direct (direct %1 ms)"_s.arg(number(median(directMs), 0)),
        u"%1 ms, %2x"_s.arg(number(median(runMs), 0), number(runRatio, 3)), u"≤ 1.02x"_s, runRatio <= 1.02);
}

// The recovery file written at a job's end, for a short and a very long list.
void BenchAccess::recoverySave(const QString &dir)
{
    std::fprintf(stderr, "recovery file\n");
    QList<double> perSize;
    for (const int jobs : {100, 10000}) {
        QStringList texts;
        for (int i = 0; i < jobs; ++i)
            texts << u"-y,-i,/home/benutzer/Aufnahmen/Staffel 1/Folge %1.avi,-vcodec,mpeg4,-r,25,-b,8000k,"
                     "-acodec,libmp3lame,-ab,224k,/home/benutzer/Aufnahmen/Staffel 1/Folge %1.mp4"_s.arg(i);
        const QString listFile = dir + u"/recovery%1.btc"_s.arg(jobs);
        QFile file(listFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(batchFileContent(texts)) < 0)
            return;
        file.close();
        MainWindow window;
        window.keptList.file().claim();
        window.loadBatchList(listFile);
        QList<double> ms;
        for (int round = 0; round < 21; ++round) {
            // As at a job's end: one more row done, then the whole list saved.
            window.batchJobs.setState(round, ListedState::Done);
            QElapsedTimer clock;
            clock.start();
            window.keptList.save();
            ms << double(clock.nsecsElapsed()) / 1e6;
        }
        perSize << median(ms);
        window.keptList.clear();
    }
    add(u"Recovery file saved at a job's end, 10,000 jobs (100 jobs: %1 ms)"_s.arg(number(perSize[0], 2)),
        u"%1 ms"_s.arg(number(perSize[1], 2)), u"≤ 20 ms"_s, perSize[1] <= 20);
}

int main(int argc, char **argv)
{
    // Offscreen unless told otherwise (tools/bench.sh xvfb measures on an X server).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The windows measured here keep their settings in a folder of the benchmark's
    // own, not in the user's: every start-up after the first reads them, as usual.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    // The windows made here keep their recovery files away from the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    const QStringList only = app.arguments().mid(1);
    const auto wanted = [&](const QString &part) { return only.isEmpty() || only.contains(part); };
    if (wanted(u"startup"_s))
        BenchAccess::startup();
    if (wanted(u"single"_s))
        BenchAccess::singleRun(dir.path());
    if (wanted(u"batch"_s))
        BenchAccess::batchRun(dir.path());
    if (wanted(u"lists"_s))
        BenchAccess::listScale(dir.path());
    if (wanted(u"parsing"_s))
        BenchAccess::parsing();
    if (wanted(u"jobs"_s))
        BenchAccess::manyJobs(dir.path());
    if (wanted(u"recovery"_s))
        BenchAccess::recoverySave(dir.path());

    std::printf("| Measure | Result | Target | Met |\n|---|---|---|---|\n");
    bool all = true;
    for (const Row &row : std::as_const(table)) {
        std::printf("| %s | %s | %s | %s |\n", qPrintable(row.measure), qPrintable(row.value),
                    qPrintable(row.target),
                    row.target == u"-"_s ? "-"
                    : row.met            ? "yes"
                                         : "**no**");
        all = all && row.met;
    }
    return all ? 0 : 1;
}
