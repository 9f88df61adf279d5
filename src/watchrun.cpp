#include "watchrun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QTimer>

#include <cmath>

#include "arrivaljobs.h"
#include "commandline.h"
#include "converter.h"
#include "headless.h"
#include "jobrunner.h"
#include "makejob.h"
#include "mediasurvey.h"
#include "terminaltext.h"
#include "termination.h"
#include "watching.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int stopTimeoutMs = 10000;
constexpr int maxParallel = 64;

QString shown(const QString &path)
{
    return printableText(QDir::toNativeSeparators(path));
}

int usageError(const QString &text)
{
    printOnTerminal(stderr, u"quorvid: "_s + text +
                                u"\nAufruf: quorvid --watch ORDNER... --output-dir ORDNER [--preset NAME] "
                                u"[--jobs N] [--recursive] [--settle SEKUNDEN]\n"_s);
    return 2;
}

// The loop of a watch without a window: arrivals become jobs of the runner, and
// each job's end goes to the journal and onto the terminal.
class WatchRun
{
public:
    WatchRun(Watching &watching, int parallel) : m_watching(watching), m_parallel(parallel)
    {
        m_runner.setStopGraceMs(stopTimeoutMs);
        m_runner.setFrameRate(25);
        m_runner.setProgram(converterProgram());
        QObject::connect(&m_watching, &Watching::arrived, [this](const WatchArrival &a) {
            if (m_signal == 0)
                m_arrivals.take(a);
        });
        QObject::connect(&m_watching, &Watching::givenUp, [this](const WatchArrival &a, const QString &why) {
            line(u"AUFGEGEBEN"_s, u"%1: nach %2 Versuchen nicht umgewandelt (%3); die Datei wird erst wieder "
                                  u"versucht, wenn sie sich ändert."_s.arg(
                                      shown(a.path), QString::number(a.attempt), printableText(why)));
        });
        QObject::connect(&m_watching, &Watching::refused, [this](const QString &path, const QString &why) {
            line(u"VERWEIGERT"_s, shown(path) + u": "_s + why);
        });
        QObject::connect(
            &m_watching, &Watching::folderProblem, [](const QString &folder, const QString &why) {
                printOnTerminal(
                    stderr, why.isEmpty()
                                ? u"quorvid: %1 ist wieder lesbar.\n"_s.arg(shown(folder))
                                : u"quorvid: %1 kann nicht überwacht werden: %2\n"_s.arg(shown(folder), why));
            });
        QObject::connect(&m_watching, &Watching::journalProblem,
                         [](const QString &why) { printOnTerminal(stderr, u"quorvid: "_s + why + u'\n'); });
        QObject::connect(&m_arrivals, &ArrivalJobs::ready,
                         [this](const WatchArrival &a, const Job &job) { startJob(a, job); });
        QObject::connect(&m_arrivals, &ArrivalJobs::refused,
                         [this](const WatchArrival &a, const QString &why) {
                             line(u"VERWEIGERT"_s, shown(a.path) + u": "_s + why);
                         });
        QObject::connect(&m_runner, &JobRunner::jobEnded,
                         [this](int job, const JobEnd &end) { ended(job, end); });
        QObject::connect(&m_runner, &JobRunner::runEnded, [this] {
            if (m_signal != 0)
                QCoreApplication::exit(128 + m_signal);
        });
    }

    void interrupt(int signal)
    {
        m_signal = signal;
        printOnTerminal(stderr,
                        m_runner.isRunning()
                            ? u"Überwachung beendet: die laufenden Umwandlungen werden beendet ...\n"_s
                            : u"Überwachung beendet.\n"_s);
        m_watching.stop();
        m_arrivals.stop();
        if (m_runner.isRunning())
            m_runner.stop();
        else
            QCoreApplication::exit(128 + signal);
    }

private:
    void line(const QString &word, const QString &text)
    {
        printOnTerminal(stdout, u"[%1] %2 %3\n"_s.arg(++m_lines).arg(word, -12).arg(text));
    }

    void startJob(const WatchArrival &arrival, const Job &job)
    {
        if (m_runner.isRunning()) {
            m_jobs << arrival;
            m_runner.append({job});
        } else {
            m_jobs = {arrival};
            m_runner.start({job}, {JobState::Pending}, m_parallel, true);
        }
    }

    void ended(int index, const JobEnd &end)
    {
        const WatchArrival &arrival = m_jobs[index];
        const QString tries = u" (Versuch %1 von %2)"_s.arg(arrival.attempt).arg(m_watching.maxTries());
        QString reason;
        const Watching::JobResult result = watchResult(end, &reason);
        m_watching.jobEnded(arrival, result, reason);
        if (result == Watching::JobResult::Done)
            line(u"OK"_s, u"%1 -> %2 (%3 s)"_s.arg(shown(arrival.path), shown(arrival.output),
                                                   QString::number(end.seconds, 'f', 1)));
        else if (result == Watching::JobResult::Cancelled)
            line(u"ABGEBROCHEN"_s, shown(arrival.path) + u": wird beim nächsten Start neu umgewandelt"_s);
        else
            line(end.refused ? u"VERWEIGERT"_s : u"FEHLER"_s,
                 shown(arrival.path) + u": "_s + printableText(reason) + tries);
    }

    Watching &m_watching;
    int m_parallel;
    JobRunner m_runner;
    ArrivalJobs m_arrivals{m_watching};
    QList<WatchArrival> m_jobs; // the runner's jobs, by index
    int m_lines = 0;
    int m_signal = 0;
};
} // namespace

int watchFolders(const QCommandLineParser &parser)
{
    const CommandLineOptions &o = commandLineOptions();
    for (const QCommandLineOption &other : {o.convert, o.listPresets, o.keepGoing, o.overwrite})
        if (parser.isSet(other))
            return usageError(
                u"Die Option --%1 gilt nicht zusammen mit --watch."_s.arg(other.names().first()));
    const QStringList folders = parser.positionalArguments();
    if (folders.isEmpty())
        return usageError(u"Bitte nennen Sie nach --watch die Ordner, die überwacht werden sollen."_s);
    bool ok = false;
    const int parallel = parser.value(o.jobs).toInt(&ok);
    if (!ok || parallel < 1 || parallel > maxParallel)
        return usageError(u"--jobs erwartet eine Zahl von 1 bis %1."_s.arg(maxParallel));
    const double settle = QLocale::c().toDouble(parser.value(o.settle), &ok);
    if (!ok || !std::isfinite(settle) || settle < 0 || settle > 3600)
        return usageError(u"--settle erwartet eine Zahl von Sekunden von 0 bis 3600."_s);
    if (!parser.isSet(o.outputDir) || parser.value(o.outputDir).isEmpty())
        return usageError(u"Bitte nennen Sie mit --output-dir den Ordner für die umgewandelten Dateien."_s);
    QString output = parser.value(o.outputDir);
    if (!QDir().mkpath(output) || !QFileInfo(output).isDir()) {
        printOnTerminal(stderr, u"quorvid: Der Ausgabeordner %1 kann nicht angelegt werden. Bitte prüfen Sie "
                                u"den Namen und die Rechte.\n"_s.arg(shown(output)));
        return 2;
    }
    output = QDir::cleanPath(QFileInfo(output).absoluteFilePath());
    if (!converterInstalled()) {
        printOnTerminal(stderr, u"quorvid: ffmpeg wurde nicht gefunden. Bitte installieren Sie es mit "
                                u"\"apt-get install ffmpeg\".\n"_s);
        return 2;
    }
    const QList<Preset> presets = commandLinePresets();
    const std::optional<Preset> preset =
        commandLinePreset(presets, parser.isSet(o.preset) ? parser.value(o.preset) : presets.first().name);
    if (!preset)
        return 2;

    QList<WatchEntry> entries;
    for (const QString &folder : folders) {
        WatchEntry entry{QDir::cleanPath(QFileInfo(folder).absoluteFilePath()), parser.isSet(o.recursive),
                         preset->name, output, false};
        if (const QString problem = watchEntryProblem(entry, entries); !problem.isEmpty()) {
            printOnTerminal(stderr, u"quorvid: "_s + problem + u'\n');
            return 2;
        }
        entries << entry;
    }
    Watching watching;
    watching.setPresets(presets);
    watching.setSettleMs(int(std::lround(settle * 1000)));
    if (const QString problem = watching.open(); !problem.isEmpty()) {
        printOnTerminal(stderr, u"quorvid: "_s + problem + u'\n');
        return 2;
    }
    WatchRun run(watching, parallel);
    onTerminationRequest([&run](int signal) { run.interrupt(signal); });
    QTimer::singleShot(0, [&] {
        watching.setEntries(entries);
        QStringList names;
        for (const WatchEntry &entry : std::as_const(entries))
            names << shown(entry.folder);
        printOnTerminal(stderr,
                        u"quorvid: überwacht %1%2 mit der Vorlage „%3“, Ausgabe in %4; beenden mit "
                        u"Strg+C.\n"_s.arg(names.join(u", "_s),
                                           parser.isSet(o.recursive) ? u" (mit Unterordnern)"_s : QString(),
                                           preset->name, shown(output)));
    });
    return QCoreApplication::exec();
}
