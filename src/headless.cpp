#include "headless.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

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
#include "converter.h"
#include "jobrunner.h"
#include "progress.h"
#include "startup.h"
#include "terminaltext.h"

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
    const QByteArray bytes = printableText(text.toUtf8(), LineBreaks::Keep);
    std::fputs(control, stream);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
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
        if (writesOntoInput(job)) {
            ++m_failed;
            report(i, u"VERWEIGERT"_s, job.input + u": Eingabe und Ausgabe sind dieselbe Datei"_s);
            continue;
        }
        if (!m_overwrite && QFileInfo::exists(job.output)) {
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
        m_runner.start(runnable, QList<JobState>(runnable.size(), JobState::Pending), m_parallel, m_keepGoing);
    });
    return QCoreApplication::exec();
}

void HeadlessRun::jobEnded(int job, const JobEnd &end)
{
    const int index = m_runnable[job];
    const Job &theJob = m_jobs[index];
    ++m_ended;
    if (end.unstarted) {
        ++m_failed;
        report(index, u"FEHLER"_s, theJob.input + u": ffmpeg konnte nicht gestartet werden"_s);
        return;
    }
    switch (end.outcome) {
    case RunOutcome::Success:
        ++m_converted;
        report(index, u"OK"_s,
               u"%1 -> %2 (%3 s)"_s.arg(theJob.input, theJob.output, QString::number(end.seconds, 'f', 1)));
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
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--run") == 0 || std::strncmp(argv[i], "--run=", 6) == 0)
            return true;
    return false;
}

int runHeadless(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quorvid"_s);
    installQtGermanTranslations(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Wandelt die Jobs einer Batchdatei ohne Fenster um."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Zeigt diese Hilfe."_s);
    const QCommandLineOption run(u"run"_s, u"Die Batchdatei (.btc), deren Jobs umgewandelt werden."_s,
                                 u"datei"_s);
    const QCommandLineOption jobs(u"jobs"_s, u"So viele Jobs laufen gleichzeitig (Vorgabe 1)."_s, u"n"_s,
                                  u"1"_s);
    const QCommandLineOption keepGoing(u"keep-going"_s, u"Nach einem fehlgeschlagenen Job weitermachen."_s);
    const QCommandLineOption overwrite(u"overwrite"_s, u"Vorhandene Ausgabedateien überschreiben."_s);
    parser.addOptions({help, run, jobs, keepGoing, overwrite});
    const auto usageError = [](const QString &text) {
        print(stderr, u"quorvid: "_s + text +
                          u"\nAufruf: quorvid --run LISTE.btc [--jobs N] [--keep-going] "
                          u"[--overwrite]\n"_s);
        return 2;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(u"Ungültiger Aufruf (%1)."_s.arg(parser.errorText()));
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(u"Unerwartete Angabe: "_s + printableText(parser.positionalArguments().join(u' ')));
    bool ok = false;
    const int parallel = parser.value(jobs).toInt(&ok);
    if (!ok || parallel < 1 || parallel > maxParallel)
        return usageError(u"--jobs erwartet eine Zahl von 1 bis %1."_s.arg(maxParallel));

    const QString listName = parser.value(run);
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

    HeadlessRun headless(list.jobs, parallel, parser.isSet(keepGoing), parser.isSet(overwrite));
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&headless] { headless.readSignals(); });
    return headless.exec();
}
