#include "headless.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

#include "arguments.h"
#include "batchfile.h"
#include "batchqueue.h"
#include "commandline.h"
#include "converter.h"
#include "convertextras.h"
#include "dropping.h"
#include "jobrunner.h"
#include "join.h"
#include "makejob.h"
#include "mediasurvey.h"
#include "picturesound.h"
#include "presets.h"
#include "progress.h"
#include "runfiles.h"
#include "startup.h"
#include "terminaltext.h"
#include "unfinished.h"
#include "watchrun.h"
#include "wholeoutput.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int stopTimeoutMs = 10000;
constexpr int progressIntervalMs = 500;
constexpr int maxParallel = 64;

// The signal handler only writes the signal's number into this pipe; the event
// loop reads it like any other input.
int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Back to the start of the line and clear it: our own control for the progress
// line, the only one written as it is.
constexpr char clearLine[] = "\r\x1b[K";

// Everything else goes through printableText: names and the converter's words may
// hold escape sequences, and the terminal must show them, not obey them.
void print(std::FILE *stream, const QString &text, const char *control = "")
{
    printOnTerminal(stream, text, control);
}

class HeadlessRun
{
public:
    HeadlessRun(QList<Job> jobs, int parallel, bool keepGoing, bool overwrite);
    int exec();
    // Takes the signals the handler noted.
    void readSignals();

private:
    void jobEnded(int job, const JobEnd &end);
    void interrupt(int signal);
    void report(int job, const QString &word, const QString &text);
    void showProgress();
    void finish();

    QList<Job> m_jobs;
    QList<int> m_runnable; // list index of each job the runner runs
    int m_parallel;
    bool m_keepGoing;
    bool m_overwrite;
    JobRunner m_runner;
    int m_converted = 0;
    int m_failed = 0;
    int m_skipped = 0;
    int m_cancelled = 0;
    int m_ended = 0;
    int m_signal = 0;
    bool m_terminal = ::isatty(STDERR_FILENO) == 1;
    bool m_progressShown = false;
    QTimer m_progressTimer;
};

HeadlessRun::HeadlessRun(QList<Job> jobs, int parallel, bool keepGoing, bool overwrite)
    : m_jobs(std::move(jobs)), m_parallel(parallel), m_keepGoing(keepGoing), m_overwrite(overwrite)
{
    m_runner.setStopGraceMs(stopTimeoutMs);
    m_runner.setFrameRate(25);
    QObject::connect(&m_runner, &JobRunner::jobEnded, [this](int job, const JobEnd &end) {
        // An interrupt that arrived together with the converter's end was meant
        // for it as well.
        readSignals();
        jobEnded(job, end);
    });
    QObject::connect(&m_runner, &JobRunner::runEnded, [this] { finish(); });
    m_progressTimer.setInterval(progressIntervalMs);
    QObject::connect(&m_progressTimer, &QTimer::timeout, [this] { showProgress(); });
}

void HeadlessRun::report(int job, const QString &word, const QString &text)
{
    if (m_progressShown) {
        print(stderr, {}, clearLine);
        m_progressShown = false;
    }
    const int width = int(QString::number(m_jobs.size()).size());
    print(
        stdout,
        u"[%1/%2] %3 %4\n"_s.arg(job + 1, width).arg(m_jobs.size()).arg(word, -12).arg(printableText(text)));
}

int HeadlessRun::exec()
{
    QList<Job> runnable;
    for (int i = 0; i < m_jobs.size(); ++i) {
        const Job &job = m_jobs[i];
        if (job.isEmpty())
            continue; // an empty line of the file is no job
        if (const WriteVerdict verdict = checkWrites(job, jobWorkFolder(job)); verdict.refused) {
            ++m_failed;
            report(i, u"VERWEIGERT"_s,
                   job.input + u": "_s +
                       (verdict.sameAsInput ? u"Eingabe und Ausgabe sind dieselbe Datei"_s : verdict.reason));
            continue;
        }
        if (!m_overwrite && QFileInfo::exists(job.output) && !writesNoFile(job.runs.last())) {
            // Only a whole file is done; a half one is named and left as it is,
            // since the user did not agree to lose it.
            if (const QString fault = wholeOutputFault(job); !fault.isEmpty()) {
                ++m_failed;
                report(i, u"FEHLER"_s,
                       job.output + u": existiert bereits, ist aber keine vollständige Umwandlung (%1) "
                                    u"Löschen Sie die Datei oder starten Sie mit --overwrite, dann wird "
                                    u"sie neu erstellt."_s.arg(fault));
                continue;
            }
            ++m_skipped;
            report(i, u"ÜBERSPRUNGEN"_s, job.output + u": existiert bereits (--overwrite überschreibt)"_s);
            continue;
        }
        m_runnable << i;
        runnable << job;
    }
    // A refused job is a failure: without --keep-going nothing starts after it.
    if (m_failed > 0 && !m_keepGoing) {
        QTimer::singleShot(0, [this] { finish(); });
        return QCoreApplication::exec();
    }
    m_runner.setProgram(converterProgram());
    if (m_terminal)
        m_progressTimer.start();
    QTimer::singleShot(0, [this, runnable] {
        m_runner.start(runnable, QList<JobState>(runnable.size(), JobState::Pending), m_parallel,
                       m_keepGoing);
    });
    return QCoreApplication::exec();
}

void HeadlessRun::jobEnded(int job, const JobEnd &end)
{
    const int index = m_runnable[job];
    const Job &theJob = m_jobs[index];
    ++m_ended;
    if (end.refused) {
        ++m_failed;
        report(index, u"VERWEIGERT"_s, theJob.input + u": "_s + end.reason);
        return;
    }
    if (end.unstarted) {
        ++m_failed;
        report(index, u"FEHLER"_s, theJob.input + u": "_s + end.reason);
        return;
    }
    switch (end.outcome) {
    case RunOutcome::Success:
        ++m_converted;
        report(index, u"OK"_s,
               u"%1 -> %2 (%3 s)"_s.arg(theJob.input, theJob.output, QString::number(end.seconds, 'f', 1)));
        // A job made to a size says when its file came out larger, whichever
        // way it was started.
        if (!end.sizeNote.isEmpty())
            print(stderr, u"quorvid: %1: %2\n"_s.arg(printableText(theJob.output), end.sizeNote));
        break;
    case RunOutcome::Cancelled:
        ++m_cancelled;
        report(index, u"ABGEBROCHEN"_s, theJob.input);
        break;
    case RunOutcome::Crashed:
        ++m_failed;
        report(index, u"FEHLER"_s, theJob.input + u": ffmpeg ist abgestürzt"_s);
        break;
    case RunOutcome::Error:
        ++m_failed;
        report(index, u"FEHLER"_s, theJob.input + u": "_s + end.reason);
        break;
    }
}

void HeadlessRun::readSignals()
{
    unsigned char byte;
    while (::read(signalPipe[0], &byte, 1) == 1)
        interrupt(byte);
}

void HeadlessRun::interrupt(int signal)
{
    if (m_signal != 0) {
        // Asked twice: end the converters at once.
        m_runner.kill();
        return;
    }
    m_signal = signal;
    if (m_progressShown) {
        print(stderr, {}, clearLine);
        m_progressShown = false;
    }
    print(stderr, u"Abbruch: die laufenden Umwandlungen werden beendet ...\n"_s);
    // Each running converter is asked to end as the window's Stop does; the run
    // ends when the last one has reported its end.
    if (m_runner.isRunning())
        m_runner.stop();
    else
        QTimer::singleShot(0, [this] { finish(); });
}

void HeadlessRun::showProgress()
{
    const BatchQueue &queue = m_runner.queue();
    if (!m_runner.isRunning() || queue.total() == 0)
        return;
    print(stderr,
          u"%1 von %2 fertig, %3 laufen, %4 %"_s.arg(queue.done() + queue.failed())
              .arg(queue.total())
              .arg(queue.running())
              .arg(m_runner.wholePercent()),
          clearLine);
    m_progressShown = true;
}

void HeadlessRun::finish()
{
    m_progressTimer.stop();
    if (m_progressShown) {
        print(stderr, {}, clearLine);
        m_progressShown = false;
    }
    QString summary = batchSummary(m_converted, m_failed);
    if (m_skipped > 0)
        summary += u", %1 übersprungen"_s.arg(m_skipped);
    const int notRun = int(m_runnable.size()) - m_ended + m_cancelled;
    if (notRun > 0)
        summary += u", %1 nicht umgewandelt"_s.arg(notRun);
    print(stdout, summary + u'\n');
    int status = m_failed > 0 ? 1 : 0;
    if (m_signal != 0)
        status = 128 + m_signal;
    QCoreApplication::exit(status);
}
} // namespace

bool wantsHeadlessRun(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break; // file names from here on
        if (std::strcmp(argv[i], "--run") == 0 || std::strncmp(argv[i], "--run=", 6) == 0 ||
            std::strcmp(argv[i], "--convert") == 0 || std::strcmp(argv[i], "--list-presets") == 0 ||
            std::strcmp(argv[i], "--watch") == 0)
            return true;
    }
    return false;
}

QList<Preset> commandLinePresets()
{
    // Damaged files of the folder are named; they never stop a run with another preset.
    const PresetFolder user = loadPresetFolder(userPresetFolder());
    for (const PresetProblem &problem : user.problems)
        print(stderr,
              u"quorvid: Vorlage %1 übersprungen: %2\n"_s.arg(printableText(problem.file), problem.reason));
    return builtInPresets() + user.presets;
}

std::optional<Preset> commandLinePreset(const QList<Preset> &presets, const QString &typed)
{
    const PresetMatch match = matchPreset(presets, typed);
    if (match.found)
        return match.found;
    const QList<Preset> &offered = match.candidates.isEmpty() ? presets : match.candidates;
    QString known;
    for (const Preset &p : offered)
        known += u"  %1  (%2)\n"_s.arg(p.name, presetShortName(presets, p));
    if (!match.candidates.isEmpty())
        print(stderr,
              u"quorvid: „%1“ passt zu mehreren Vorlagen. Bitte geben Sie mehr vom Namen an:\n%2"_s.arg(
                  printableText(typed), known));
    else
        print(stderr, u"quorvid: Die Vorlage „%1“ gibt es nicht. Bitte wählen Sie eine dieser Vorlagen "
                      u"(Groß- und Kleinschreibung sind gleich, der Anfang des Namens genügt):\n%2"_s.arg(
                          printableText(typed), known));
    return std::nullopt;
}

namespace {
// Runs the jobs on the terminal: the part --run and --convert share once their
// jobs are known.
int runJobs(const QList<Job> &jobs, int parallel, bool keepGoing, bool overwrite)
{
    if (!converterInstalled()) {
        print(stderr, u"quorvid: ffmpeg wurde nicht gefunden. Bitte installieren Sie es mit "
                      u"\"apt-get install ffmpeg\".\n"_s);
        return 2;
    }

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        print(stderr, u"quorvid: %1\n"_s.arg(QString::fromLocal8Bit(std::strerror(errno))));
        return 2;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    HeadlessRun headless(jobs, parallel, keepGoing, overwrite);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&headless] { headless.readSignals(); });
    return headless.exec();
}

// The number of --jobs, or 0 when it is no number from 1 to maxParallel.
int parallelJobs(const QString &value)
{
    bool ok = false;
    const int parallel = value.toInt(&ok);
    return ok && parallel >= 1 && parallel <= maxParallel ? parallel : 0;
}

// Names the mistake and the ways to call a run without a window.
int usageError(const QString &text)
{
    print(stderr, u"quorvid: "_s + text +
                      u"\nAufruf: quorvid --run LISTE.btc [--jobs N] [--keep-going] [--overwrite]\n"
                      u"        quorvid --convert DATEI... [--preset NAME] [--output-dir ORDNER] [--jobs N] "
                      u"[--subtitles DATEI | --join] [--keep-going] [--overwrite]\n"
                      u"        quorvid --watch ORDNER... --output-dir ORDNER [--preset NAME] [--jobs N] "
                      u"[--recursive] [--settle SEKUNDEN]\n"_s);
    return 2;
}

int runList(const QCommandLineParser &parser)
{
    const CommandLineOptions &o = commandLineOptions();
    for (const QCommandLineOption &other :
         {o.convert, o.listPresets, o.preset, o.outputDir, o.watch, o.subtitles, o.join})
        if (parser.isSet(other))
            return usageError(u"Die Option --%1 gilt nicht zusammen mit --run."_s.arg(other.names().first()));
    if (!parser.positionalArguments().isEmpty())
        return usageError(u"Unerwartete Angabe: "_s + printableText(parser.positionalArguments().join(u' ')));
    const int parallel = parallelJobs(parser.value(o.jobs));
    if (parallel == 0)
        return usageError(u"--jobs erwartet eine Zahl von 1 bis %1."_s.arg(maxParallel));

    const QString listName = parser.value(o.run);
    QFile file(listName);
    if (QFileInfo(listName).isDir()) {
        print(stderr, u"quorvid: %1 ist ein Ordner, keine Batchdatei. Bitte geben Sie nach --run eine "
                      u"Batchdatei (.btc) an.\n"_s.arg(printableText(listName)));
        return 2;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        print(stderr, u"quorvid: Die Batchdatei %1 kann nicht gelesen werden: %2\n"_s.arg(
                          printableText(listName), file.errorString()));
        return 2;
    }
    const BatchList list = readBatchList(file);
    if (file.error() != QFileDevice::NoError) {
        print(stderr,
              u"quorvid: Fehler beim Lesen von %1: %2\n"_s.arg(printableText(listName), file.errorString()));
        return 2;
    }
    if (!list.error.isEmpty()) {
        print(stderr, u"quorvid: %1: %2\n"_s.arg(printableText(listName), list.error));
        return 2;
    }
    return runJobs(list.jobs, parallel, parser.isSet(o.keepGoing), parser.isSet(o.overwrite));
}

// The presets, the short form first, then the whole name, parted by a tab.
int listPresets(const QList<Preset> &presets)
{
    for (const Preset &preset : presets) {
        print(stdout, presetShortName(presets, preset));
        print(stdout, preset.name + u'\n', "\t");
    }
    return 0;
}

// The folder of --output-dir, made when needed (empty without the option);
// nothing, after naming the problem, when it cannot be made.
std::optional<QString> madeOutputFolder(const QCommandLineParser &parser)
{
    const QCommandLineOption &option = commandLineOptions().outputDir;
    const QString folder = parser.value(option);
    if (!parser.isSet(option))
        return folder;
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        print(stderr, u"quorvid: Der Ausgabeordner %1 kann nicht angelegt werden. Bitte prüfen Sie den "
                      u"Namen und die Rechte.\n"_s.arg(printableText(folder)));
        return std::nullopt;
    }
    return QFileInfo(folder).absoluteFilePath();
}

// What each file holds (tracks, interlacing, colours, with `bars` the black
// bars), looked at a few at a time before its job is made, as the window does
// for the files it adds.
QHash<QString, MediaFacts> lookAtFiles(const QStringList &files, bool bars)
{
    QHash<QString, MediaFacts> facts;
    MediaSurvey survey;
    survey.setBarsLook(bars);
    QEventLoop loop;
    const auto keep = [&facts](const QString &path, const MediaFacts &found) { facts.insert(path, found); };
    QObject::connect(&survey, &MediaSurvey::surveyed, keep);
    QObject::connect(&survey, &MediaSurvey::barsLooked, keep);
    QObject::connect(&survey, &MediaSurvey::finished, &loop, &QEventLoop::quit);
    survey.add(files);
    if (survey.busy())
        loop.exec();
    return facts;
}

int convertFiles(const QCommandLineParser &parser)
{
    const CommandLineOptions &o = commandLineOptions();
    const QList<Preset> presets = commandLinePresets();
    if (parser.isSet(o.listPresets))
        return listPresets(presets);

    const QStringList given = parser.positionalArguments();
    if (given.isEmpty())
        return usageError(
            u"Bitte nennen Sie nach --convert die Dateien oder Ordner, die umgewandelt werden sollen."_s);
    const int parallel = parallelJobs(parser.value(o.jobs));
    if (parallel == 0)
        return usageError(u"--jobs erwartet eine Zahl von 1 bis %1."_s.arg(maxParallel));
    const std::optional<Preset> preset =
        commandLinePreset(presets, parser.isSet(o.preset) ? parser.value(o.preset) : presets.first().name);
    if (!preset)
        return 2;

    Preset chosen = *preset;
    if (const QString wrong = applyPictureSoundOptions(parser, chosen.settings); !wrong.isEmpty())
        return usageError(wrong);
    const PanelSettings &settings = chosen.settings;

    const std::optional<QString> outputFolder = madeOutputFolder(parser);
    if (!outputFolder)
        return 2;
    const QString &folder = *outputFolder;

    // Names and folders as a drop takes them; a name that is not there is a
    // mistake of the call, before anything starts.
    const FileSelection selection = selectFromPaths(given, folder);
    if (!selection.unusable.isEmpty()) {
        for (const QString &name : selection.unusable)
            print(stderr, u"quorvid: %1 gibt es nicht oder ist nicht lesbar.\n"_s.arg(printableText(name)));
        print(stderr, u"quorvid: Es wurde nichts umgewandelt. Bitte prüfen Sie die Namen.\n"_s);
        return 2;
    }
    // Files that cannot be converted are named, and the exit status tells of them.
    for (const QString &name : selection.unnamed)
        print(stderr,
              u"quorvid: %1: Der Name ist kein gültiges UTF-8 und kann nicht an ffmpeg übergeben werden; "
              u"die Datei wurde nicht umgewandelt. Bitte benennen Sie sie um.\n"_s.arg(name));
    for (const QString &name : selection.irregular)
        print(stderr,
              u"quorvid: %1: keine gewöhnliche Datei (eine benannte Pipe, ein Gerät oder ein Socket); "
              u"sie wurde nicht umgewandelt.\n"_s.arg(printableText(name)));
    const int leftOut = int(selection.unnamed.size() + selection.irregular.size());
    if (selection.files.isEmpty()) {
        if (leftOut > 0)
            return 1;
        print(stderr, u"quorvid: In den genannten Ordnern gibt es keine Video- oder Audiodateien.\n"_s);
        return 2;
    }

    const ConvertInputs taken = convertInputs(selection.files, folder, outputSuffix(preset->settings));
    for (const QString &name : taken.outputsOfOthers)
        print(stderr, u"quorvid: %1 ist die Ausgabe einer anderen genannten Datei und wird nicht selbst "
                      u"umgewandelt.\n"_s.arg(printableText(QDir::toNativeSeparators(name))));
    const QStringList &files = taken.inputs;
    const QStringList outputs = outputNames(files, folder, outputSuffix(preset->settings));
    const bool join = parser.isSet(o.join);
    const QString subtitleFile = parser.value(o.subtitles);
    if (const QString refusal = convertOptionsRefusal(files.size(), join, subtitleFile); !refusal.isEmpty())
        return usageError(refusal);
    const bool look = looksBeforeJobs(settings) || convertNeedsFacts(settings, join, !subtitleFile.isEmpty());
    const QHash<QString, MediaFacts> facts =
        look ? lookAtFiles(files, looksForBars(settings)) : QHash<QString, MediaFacts>();
    // A file whose job cannot be made (a size too small for it) is named and
    // left out; the others are converted, and the exit status tells of it.
    const QStringList joined = join ? inGivenOrder(files, given) : QStringList();
    const ConvertJobs made =
        join ? convertJobs(settings, joined, outputs, facts, QString(),
                           joinOutputName(joined.first(), folder, outputSuffix(preset->settings)))
             : convertJobs(settings, files, outputs, facts, subtitleFile, QString());
    for (const QString &message : made.messages)
        print(stderr, u"quorvid: %1\n"_s.arg(printableText(message)));
    if (made.jobs.isEmpty())
        return 1;
    const int status = runJobs(made.jobs, parallel, parser.isSet(o.keepGoing), parser.isSet(o.overwrite));
    return made.refused + leftOut > 0 ? std::max(status, 1) : status;
}

} // namespace

int runHeadless(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quorvid"_s);
    installQtGermanTranslations(app);
    removeLeftovers();
    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    addQuorvidOptions(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(u"Ungültiger Aufruf (%1)."_s.arg(parser.errorText()));
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    // A batch list and files at once is a mistake the list's part names.
    if (parser.isSet(commandLineOptions().run))
        return runList(parser);
    if (parser.isSet(commandLineOptions().watch))
        return watchFolders(parser);
    for (const QString &option : commandLineOptions().watchOnly())
        if (parser.isSet(option))
            return usageError(u"Die Option --%1 gilt nur zusammen mit --watch."_s.arg(option));
    return convertFiles(parser);
}
