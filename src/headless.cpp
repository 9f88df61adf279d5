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
    HeadlessRun(QStringList jobs, int parallel, bool keepGoing, bool overwrite);
    int exec();
    // Takes the signals the handler noted.
    void readSignals();

private:
    struct Converter
    {
        QProcess process;
        ProgressParser parser;
        int job = -1; // index into m_runnable
        double frameRate = 0;
        bool stopRequested = false;
        QElapsedTimer clock;
    };

    void advance();
    void jobEnded(Converter &converter, std::optional<RunOutcome> outcome);
    void interrupt(int signal);
    void report(int job, const QString &word, const QString &text);
    void showProgress();
    void finish();

    QStringList m_jobs;
    QList<int> m_runnable; // list index of each job the queue runs
    bool m_keepGoing;
    bool m_overwrite;
    BatchQueue m_queue;
    std::vector<std::unique_ptr<Converter>> m_converters;
    QString m_program;
    int m_converted = 0;
    int m_failed = 0;
    int m_skipped = 0;
    int m_cancelled = 0;
    int m_signal = 0;
    bool m_advancing = false;
    bool m_terminal = ::isatty(STDERR_FILENO) == 1;
    bool m_progressShown = false;
    QTimer m_progressTimer;
    QTimer m_killTimer;
};

HeadlessRun::HeadlessRun(QStringList jobs, int parallel, bool keepGoing, bool overwrite)
    : m_jobs(std::move(jobs)), m_keepGoing(keepGoing), m_overwrite(overwrite)
{
    for (int i = 0; i < parallel; ++i) {
        m_converters.push_back(std::make_unique<Converter>());
        Converter *c = m_converters.back().get();
        QObject::connect(&c->process, &QProcess::finished, [this, c](int code, QProcess::ExitStatus status) {
            c->parser.feed(c->process.readAllStandardError(), c->frameRate);
            // An interrupt that arrived together with the converter's end was
            // meant for it as well.
            readSignals();
            jobEnded(*c, classifyExit(code, status, c->stopRequested || m_signal != 0));
        });
        QObject::connect(&c->process, &QProcess::errorOccurred, [this, c](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                jobEnded(*c, std::nullopt);
        });
        QObject::connect(&c->process, &QProcess::readyReadStandardError,
                         [c] { c->parser.feed(c->process.readAllStandardError(), c->frameRate); });
    }
    m_progressTimer.setInterval(progressIntervalMs);
    QObject::connect(&m_progressTimer, &QTimer::timeout, [this] { showProgress(); });
    m_killTimer.setSingleShot(true);
    QObject::connect(&m_killTimer, &QTimer::timeout, [this] {
        for (const auto &c : m_converters)
            if (c->process.state() != QProcess::NotRunning)
                c->process.kill();
    });
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
    QList<JobState> states;
    for (int i = 0; i < m_jobs.size(); ++i) {
        const QString &text = m_jobs[i];
        const QString input = jobInputFile(text), output = jobOutput(text);
        if (text.isEmpty())
            continue; // an empty line of the file is no job
        if (!input.isEmpty() && sameFile(input, output)) {
            ++m_failed;
            report(i, u"VERWEIGERT"_s, input + u": Eingabe und Ausgabe sind dieselbe Datei"_s);
            continue;
        }
        if (!m_overwrite && QFileInfo::exists(output)) {
            ++m_skipped;
            report(i, u"ÜBERSPRUNGEN"_s, output + u": existiert bereits (--overwrite überschreibt)"_s);
            continue;
        }
        m_runnable << i;
        states << JobState::Pending;
    }
    m_queue.begin(states, int(m_converters.size()), m_keepGoing);
    // A refused job is a failure: without --keep-going nothing starts after it.
    if (m_failed > 0 && !m_keepGoing)
        m_queue.stop();
    m_program = converterProgram();
    if (m_terminal)
        m_progressTimer.start();
    QTimer::singleShot(0, [this] { advance(); });
    return QCoreApplication::exec();
}

void HeadlessRun::advance()
{
    if (m_advancing)
        return;
    m_advancing = true;
    for (int job = m_queue.takeNext(); job >= 0; job = m_queue.takeNext()) {
        auto free =
            std::find_if(m_converters.begin(), m_converters.end(), [](const auto &c) { return c->job < 0; });
        Converter &c = **free;
        const QString &text = m_jobs[m_runnable[job]];
        c.job = job;
        c.frameRate = jobFrameRate(text).value_or(25);
        c.stopRequested = false;
        c.parser.startRun();
        c.clock.start();
        startConverter(c.process, m_program, jobArguments(text));
    }
    m_advancing = false;
    if (m_queue.isOver())
        finish();
}

void HeadlessRun::jobEnded(Converter &c, std::optional<RunOutcome> outcome)
{
    const int job = c.job;
    if (job < 0)
        return;
    c.job = -1;
    const int index = m_runnable[job];
    const QString &text = m_jobs[index];
    if (!outcome) {
        m_queue.finishUnstarted(job);
        ++m_failed;
        report(index, u"FEHLER"_s, jobInputFile(text) + u": ffmpeg konnte nicht gestartet werden"_s);
    } else {
        m_queue.finish(job, *outcome);
        const double seconds = double(c.clock.elapsed()) / 1000;
        switch (*outcome) {
        case RunOutcome::Success:
            ++m_converted;
            report(index, u"OK"_s,
                   u"%1 -> %2 (%3 s)"_s.arg(jobInputFile(text), jobOutput(text),
                                            QString::number(seconds, 'f', 1)));
            break;
        case RunOutcome::Cancelled:
            ++m_cancelled;
            report(index, u"ABGEBROCHEN"_s, jobInputFile(text));
            break;
        case RunOutcome::Crashed:
            ++m_failed;
            report(index, u"FEHLER"_s, jobInputFile(text) + u": ffmpeg ist abgestürzt"_s);
            break;
        case RunOutcome::Error:
            ++m_failed;
            report(index, u"FEHLER"_s, jobInputFile(text) + u": "_s + lastLine(c.parser.tail()));
            break;
        }
    }
    advance();
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
        m_killTimer.start(0);
        return;
    }
    m_signal = signal;
    if (m_progressShown) {
        print(stderr, {}, clearLine);
        m_progressShown = false;
    }
    print(stderr, u"Abbruch: die laufenden Umwandlungen werden beendet ...\n"_s);
    m_queue.stop();
    // In list order, each asked to end as the window's Stop does; the run ends
    // when the last one has reported its end.
    for (const auto &c : m_converters) {
        if (c->process.state() == QProcess::NotRunning)
            continue;
        c->stopRequested = true;
        c->process.terminate();
    }
    m_killTimer.start(stopTimeoutMs);
    if (m_queue.isOver())
        finish();
}

void HeadlessRun::showProgress()
{
    int percent = 100 * (m_queue.done() + m_queue.failed());
    for (const auto &c : m_converters)
        if (c->job >= 0)
            percent += c->parser.percent();
    if (m_queue.total() == 0)
        return;
    print(stderr,
          u"%1 von %2 fertig, %3 laufen, %4 %"_s.arg(m_queue.done() + m_queue.failed())
              .arg(m_queue.total())
              .arg(m_queue.running())
              .arg(percent / m_queue.total()),
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
    const int notRun = m_queue.total() - m_queue.started() + m_cancelled;
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
    const QStringList texts = readJobTexts(file);
    if (file.error() != QFileDevice::NoError) {
        print(stderr,
              u"quorvid: Fehler beim Lesen von %1: %2\n"_s.arg(printableText(listName), file.errorString()));
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

    HeadlessRun headless(texts, parallel, parser.isSet(keepGoing), parser.isSet(overwrite));
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&headless] { headless.readSignals(); });
    return headless.exec();
}
