// How closely outputs made to a size meet it: generated clips of different
// kinds, each converted to several sizes with every encoder that can aim at a
// size, as jobs of the program run by its own runner (corrections included).
// Prints one line per conversion and a Markdown table per encoder (the lowest
// and highest size against the target, the mean, and how many runs were made
// again to meet it).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "arguments.h"
#include "codecs.h"
#include "jobrunner.h"
#include "makejob.h"

using namespace Qt::StringLiterals;

namespace {
struct Clip
{
    QString name;
    QString source; // a lavfi video source with its filters
    int seconds;
    QList<int> videoKbps; // the video bitrates the sizes are chosen for
};

// Each kind once; lengths from 5 s to 2 min. The sizes give the video a low, a
// middling and a generous bitrate for the frame size.
const QList<Clip> clips = {
    {u"still picture"_s, u"smptehdbars=size=640x360:rate=25"_s, 20, {100, 300, 800}},
    {u"fast motion"_s, u"testsrc2=size=640x360:rate=30,scroll=h=0.013:v=0.007"_s, 15, {300, 700, 1500}},
    {u"noise"_s, u"testsrc2=size=480x270:rate=25,noise=alls=30:allf=t"_s, 8, {400, 900, 2000}},
    {u"animation"_s,
     u"life=size=640x360:mold=10:rate=25:ratio=0.1:death_color=#C83232:life_color=#00ff00"_s,
     15,
     {150, 400, 1000}},
    {u"fractal zoom"_s, u"mandelbrot=size=480x270:rate=25"_s, 15, {200, 500, 1200}},
    {u"phone, vertical"_s, u"testsrc2=size=360x640:rate=30,noise=alls=6:allf=t"_s, 20, {250, 600, 1400}},
    {u"1080p"_s, u"testsrc2=size=1920x1080:rate=25,noise=alls=4:allf=t"_s, 5, {1500, 3500, 8000}},
    {u"long, small"_s,
     u"gradients=size=320x180:rate=25:speed=0.01,noise=alls=5:allf=t"_s,
     120,
     {100, 250, 600}},
};

struct Encoder
{
    int codec;
    QString name;
    QString suffix;
    int audioCodec; // an item of the panel's audio codecs
};
const QList<Encoder> encoders = {
    {7, u"x264"_s, u"mp4"_s, 5}, // aac
    {8, u"x265"_s, u"mp4"_s, 5},
    {9, u"VP9"_s, u"webm"_s, 6}, // opus
    {10, u"AV1"_s, u"mkv"_s, 6},
};

bool run(const QString &program, const QStringList &args, const QString &folder)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setWorkingDirectory(folder);
    p.start(u"nice"_s, QStringList{program} + args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

struct Result
{
    // In per cent of the size: the output furthest below it and the largest.
    double lowest = 1e9;
    double highest = -1e9;
    double sum = 0;
    int count = 0;
    int failed = 0;
    int corrections = 0;
};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QElapsedTimer clock;
    clock.start();
    QMap<QString, Result> results;
    QMap<QString, Result> resultsWithoutStill;
    // Encoders named on the command line ("x264 VP9"): only those; none named: all.
    // The same for clips, named by their first word ("long noise").
    const QStringList only = app.arguments().mid(1);
    const auto firstWord = [](const Clip &clip) { return clip.name.section(u' ', 0, 0).remove(u','); };
    const bool clipsNamed =
        std::any_of(clips.cbegin(), clips.cend(), [&](const Clip &c) { return only.contains(firstWord(c)); });
    const bool encodersNamed = std::any_of(encoders.cbegin(), encoders.cend(), [&](const Encoder &e) {
        return only.contains(e.name, Qt::CaseInsensitive);
    });

    for (const Clip &clip : clips) {
        if (clipsNamed && !only.contains(firstWord(clip)))
            continue;
        // The source: nearly lossless video and music-like stereo sound.
        const QString source = dir.filePath(clip.name.section(u',', 0, 0).replace(u' ', u'-') + u".mkv"_s);
        const QString length = QString::number(clip.seconds);
        if (!run(u"ffmpeg"_s,
                 {u"-v"_s,
                  u"error"_s,
                  u"-y"_s,
                  u"-f"_s,
                  u"lavfi"_s,
                  u"-i"_s,
                  clip.source + u",trim=duration="_s + length,
                  u"-f"_s,
                  u"lavfi"_s,
                  u"-i"_s,
                  u"anoisesrc=color=pink:amplitude=0.2:duration="_s + length,
                  u"-ac"_s,
                  u"2"_s,
                  u"-c:v"_s,
                  u"libx264"_s,
                  u"-preset"_s,
                  u"ultrafast"_s,
                  u"-qp"_s,
                  u"4"_s,
                  u"-c:a"_s,
                  u"flac"_s,
                  source},
                 dir.path())) {
            std::fprintf(stderr, "cannot make the clip %s\n", qPrintable(clip.name));
            return 1;
        }
        QProcess probe;
        probe.start(u"ffprobe"_s, probeArguments(source));
        probe.waitForFinished(-1);
        const SourceFacts facts = readProbe(probe.readAllStandardOutput());
        for (const Encoder &encoder : encoders) {
            if (encodersNamed && !only.contains(encoder.name, Qt::CaseInsensitive))
                continue;
            PanelSettings settings;
            settings.videoCodec = encoder.codec;
            settings.originalSize = true;
            settings.frameRateIndex = originalFrameRateIndex;
            settings.ratio = originalRatioIndex;
            settings.quality = targetSizeQualityIndex;
            settings.audioCodec = encoder.audioCodec;
            settings.audioBitrateEnabled = true;
            settings.audioBitrateIndex = 3; // 128k
            for (const int videoKbps : clip.videoKbps) {
                // A round size near the one that gives this video bitrate.
                settings.targetSizeMB = std::round((videoKbps + 128) * clip.seconds / 8000.0 * 100) / 100;
                const double mb = settings.targetSizeMB;
                const QString output = dir.filePath(u"out."_s + encoder.suffix);
                QFile::remove(output);
                const QString refusal = jobRefusal(settings, facts, output);
                // The job as the window makes it, run by the program's own runner.
                const Job job = makeJob(settings, source, output, facts);
                JobEnd end;
                end.outcome = RunOutcome::Error;
                if (refusal.isEmpty()) {
                    JobRunner runner;
                    QEventLoop loop;
                    QObject::connect(&runner, &JobRunner::jobEnded, [&](int, const JobEnd &e) { end = e; });
                    QObject::connect(&runner, &JobRunner::runEnded, &loop, &QEventLoop::quit);
                    runner.start({job}, {JobState::Pending}, 1, false);
                    if (runner.isRunning())
                        loop.exec();
                }
                Result &r = results[encoder.name];
                Result &rs = resultsWithoutStill[encoder.name];
                if (end.outcome != RunOutcome::Success) {
                    ++r.failed;
                    std::printf("%-16s %-5s %7.2f MB: failed %s%s\n", qPrintable(clip.name),
                                qPrintable(encoder.name), mb, qPrintable(refusal), qPrintable(end.reason));
                    continue;
                }
                const double size = QFileInfo(output).size() / 1e6;
                const double off = (size / mb - 1) * 100;
                // The first bitrate (or cap) asked for, before any correction.
                const QStringList &last = job.runs.last();
                const int rate =
                    int(last.contains(u"-b:v"_s) ? last.indexOf(u"-b:v"_s) : last.indexOf(u"-maxrate"_s));
                std::printf("%-16s %-5s %7.2f MB (video %6s): %8.3f MB %+6.2f %% (%.0f s, %d corrected)\n",
                            qPrintable(clip.name), qPrintable(encoder.name), mb,
                            qPrintable(job.runs.last().value(rate + 1)), size, off, end.seconds,
                            end.sizeCorrections);
                std::fflush(stdout);
                for (Result *each : {&r, &rs}) {
                    if (each == &rs && clip.name == u"still picture"_s)
                        continue;
                    each->lowest = std::min(each->lowest, off);
                    each->highest = std::max(each->highest, off);
                    each->sum += off;
                    each->corrections += end.sizeCorrections;
                    ++each->count;
                }
            }
        }
    }

    std::printf("\nAll clips (%.0f s in all)\n\n| Codec | Outputs | Lowest | Highest | Mean | "
                "Corrected | Failed |\n"
                "|---|---|---|---|---|---|---|\n",
                clock.elapsed() / 1000.0);
    for (const QMap<QString, Result> *table : {&results, &resultsWithoutStill}) {
        if (table == &resultsWithoutStill)
            std::printf("\nWithout the still picture\n\n| Codec | Outputs | Lowest | Highest | Mean | "
                        "Corrected | Failed |\n|---|---|---|---|---|---|---|\n");
        for (const Encoder &encoder : encoders) {
            const Result &r = table->value(encoder.name);
            std::printf("| %s | %d | %+.2f %% | %+.2f %% | %+.2f %% | %d | %d |\n", qPrintable(encoder.name),
                        r.count, r.count ? r.lowest : 0.0, r.count ? r.highest : 0.0,
                        r.count ? r.sum / r.count : 0.0, r.corrections, r.failed);
        }
    }
    return 0;
}
