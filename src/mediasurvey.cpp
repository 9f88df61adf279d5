#include "mediasurvey.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

#include "blackbars.h"
#include "converter.h"

using namespace Qt::StringLiterals;

namespace {
// A description is a few kilobytes; more means something is wrong with the file.
constexpr qsizetype maxDescription = 16 * 1024 * 1024;

QString unknownFields()
{
    return QCoreApplication::translate(
        "MediaSurvey", "Ob das Bild Zeilensprung hat, ist unbekannt; wählen Sie „Zeilensprung "
                       "entfernen“ bei Bedarf selbst.");
}

MediaFacts unreadable(const QString &problem)
{
    MediaFacts facts;
    facts.problem = problem;
    return facts;
}
} // namespace

// The process and its timer are children of the survey object, so that they go
// with it whatever happens; once a file is done they are deleted later, as they
// may be inside one of their own signals.
struct MediaSurvey::Survey
{
    Survey(const QString &file, QObject *owner)
        : path(file), process(new QProcess(owner)), timer(new QTimer(owner))
    {
    }
    ~Survey()
    {
        process->deleteLater();
        timer->deleteLater();
    }
    QString path;
    QProcess *process;
    QTimer *timer;
    QByteArray output;
    bool overlong = false;
    MediaFacts facts;
    // The look for black bars: the moments in runs, the run going on, what the
    // runs so far found.
    QList<QList<double>> barsGroups;
    int barsGroup = 0;
    QList<BarsMoment> barsMoments;
    int width = 0;
    int height = 0;
};

MediaSurvey::MediaSurvey(QObject *parent) : QObject(parent) {}

MediaSurvey::~MediaSurvey()
{
    stop();
}

void MediaSurvey::add(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    if (!busy())
        m_done = m_total = 0; // a new round of files
    m_queue += paths;
    m_total += int(paths.size());
    emit progressChanged(m_done, m_total);
    startNext();
}

void MediaSurvey::stop()
{
    m_queue.clear();
    for (const std::unique_ptr<Survey> &survey : m_running) {
        survey->process->disconnect(this);
        survey->timer->stop();
        // A killed probe ends at once; waiting only collects it, so that none is
        // left behind as a zombie or reported later.
        survey->process->kill();
        survey->process->waitForFinished(1000);
    }
    m_running.clear();
    m_done = m_total = 0;
    ++m_round;
}

void MediaSurvey::startNext()
{
    while (!m_queue.isEmpty() && int(m_running.size()) < m_parallel) {
        auto survey = std::make_unique<Survey>(m_queue.takeFirst(), this);
        Survey *started = survey.get();
        m_running.push_back(std::move(survey));
        startProbe(started);
    }
}

// The per-file work: each file is probed, then finished. A further step for a
// file (another run over it) goes between probeEnded() and finishFile().
void MediaSurvey::startProbe(Survey *survey)
{
    QString program = m_program;
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(u"ffprobe"_s);
    if (program.isEmpty()) {
        // Reported after the caller's call returns, like every other result.
        QTimer::singleShot(0, this, [this, survey, round = m_round] {
            if (round != m_round) // stopped meanwhile: the survey is gone
                return;
            finishFile(survey, unreadable(tr("ffprobe wurde nicht gefunden, die Spuren der Datei sind "
                                             "unbekannt. Installieren Sie das Paket „ffmpeg“.")));
        });
        return;
    }
    QProcess *process = survey->process;
    connect(process, &QProcess::readyReadStandardOutput, this, [survey] {
        survey->output += survey->process->readAllStandardOutput();
        if (survey->output.size() > maxDescription) {
            survey->overlong = true;
            survey->process->kill();
        }
    });
    connect(process, &QProcess::finished, this, [this, survey] { probeEnded(survey); });
    connect(process, &QProcess::errorOccurred, this, [this, survey](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finishFile(survey, unreadable(tr("ffprobe ließ sich nicht starten (%1), die Spuren der Datei "
                                             "sind unbekannt. Prüfen Sie die Installation von ffmpeg.")
                                              .arg(survey->process->errorString())));
    });
    survey->timer->setSingleShot(true);
    connect(survey->timer, &QTimer::timeout, this, [this, survey] {
        survey->process->disconnect(this);
        survey->process->kill();
        survey->process->waitForFinished(1000);
        finishFile(survey, unreadable(tr("ffprobe hat die Datei nicht in %1 Sekunden gelesen und wurde "
                                         "beendet. Prüfen Sie, ob die Datei erreichbar ist.")
                                          .arg((m_timeoutMs + 999) / 1000)));
    });
    process->setStandardInputFile(QProcess::nullDevice());
    survey->timer->start(m_timeoutMs);
    // Last: a start that fails at once reports it from within, and the survey
    // is gone afterwards.
    process->start(program, probeArguments(survey->path));
}

void MediaSurvey::probeEnded(Survey *survey)
{
    survey->timer->stop();
    survey->output += survey->process->readAllStandardOutput();
    if (survey->overlong) {
        finishFile(survey, unreadable(tr("ffprobe hat eine unmäßig lange Beschreibung geliefert. Die "
                                         "Datei ist vermutlich beschädigt.")));
        return;
    }
    MediaFacts facts = readProbe(survey->output);
    if (survey->process->exitStatus() != QProcess::NormalExit || survey->process->exitCode() != 0) {
        const QStringList lines =
            QString::fromLocal8Bit(survey->process->readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        const QString why = lines.isEmpty() ? tr("ohne Meldung beendet") : lines.last().trimmed();
        facts = unreadable(tr("ffprobe konnte die Datei nicht lesen (%1). Prüfen Sie, ob es eine "
                              "vollständige Video- oder Audiodatei ist.")
                               .arg(why));
    }
    const auto video = std::find_if(facts.streams.cbegin(), facts.streams.cend(),
                                    [](const StreamFacts &s) { return s.kind == StreamFacts::Kind::Video; });
    if (!facts.valid || video == facts.streams.cend()) {
        finishFile(survey, facts);
        return;
    }
    // The field order says whether interlacing is possible; a look at some frames
    // says whether the pictures really are.
    facts.scan = decideScan(declaredScan(video->fieldOrder), FieldDetection());
    survey->facts = facts;
    startFieldCheck(survey, video->fieldOrder);
}

void MediaSurvey::startFieldCheck(Survey *survey, const QString &fieldOrder)
{
    QProcess *process = survey->process;
    process->disconnect(this);
    connect(process, &QProcess::finished, this, [this, survey, fieldOrder] {
        survey->timer->stop();
        const FieldDetection found =
            parseFieldDetection(QString::fromLocal8Bit(survey->process->readAllStandardError()));
        MediaFacts facts = survey->facts;
        facts.scan = decideScan(declaredScan(fieldOrder), found);
        finishFile(survey, facts);
    });
    // Without the look at the frames a stream not marked progressive counts as
    // unknown and is not deinterlaced; the user is told so.
    connect(process, &QProcess::errorOccurred, this, [this, survey](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        MediaFacts facts = survey->facts;
        facts.problem = tr("Die Prüfung auf Zeilensprung ließ sich nicht starten (%1). %2")
                            .arg(survey->process->errorString(), unknownFields());
        finishFile(survey, facts);
    });
    survey->timer->disconnect(this);
    connect(survey->timer, &QTimer::timeout, this, [this, survey] {
        survey->process->disconnect(this);
        survey->process->kill();
        survey->process->waitForFinished(1000);
        MediaFacts facts = survey->facts;
        facts.problem = tr("Die Prüfung auf Zeilensprung wurde nach %1 Sekunden abgebrochen. %2")
                            .arg((m_timeoutMs + 999) / 1000)
                            .arg(unknownFields());
        finishFile(survey, facts);
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    survey->timer->start(m_timeoutMs);
    process->start(converterProgram(), fieldDetectionArguments(survey->path, survey->facts.durationSeconds));
}

void MediaSurvey::finishFile(Survey *survey, const MediaFacts &facts)
{
    // A file that stop() has forgotten is not reported.
    const auto it = std::find_if(m_running.begin(), m_running.end(),
                                 [survey](const std::unique_ptr<Survey> &s) { return s.get() == survey; });
    if (it == m_running.end())
        return;
    const auto video = std::find_if(facts.streams.cbegin(), facts.streams.cend(),
                                    [](const StreamFacts &s) { return s.kind == StreamFacts::Kind::Video; });
    const bool looksForBars =
        m_barsLook && facts.valid && video != facts.streams.cend() && video->width > 0 && video->height > 0;
    const QList<double> moments = looksForBars ? barsMoments(facts.durationSeconds) : QList<double>();
    if (moments.isEmpty() && looksForBars) {
        // Too short to look at several moments: no bars, said at once, so that
        // nothing waits for a look that never comes.
        const int round = m_round;
        emit surveyed(survey->path, facts);
        if (round != m_round)
            return;
        MediaFacts looked = facts;
        looked.barsLooked = true;
        completeFile(survey, looked, true);
        return;
    }
    if (moments.isEmpty()) {
        completeFile(survey, facts, false);
        return;
    }
    // The first answer goes out now; the look for bars follows in the background.
    const int round = m_round;
    survey->facts = facts;
    survey->width = video->shownWidth();
    survey->height = video->shownHeight();
    survey->barsGroups = barsLookGroups(moments, survey->width, survey->height);
    survey->barsGroup = 0;
    survey->barsMoments.clear();
    survey->process->disconnect(this);
    survey->timer->disconnect(this);
    emit surveyed(survey->path, facts);
    if (round != m_round) // stopped by a receiver: the survey is gone
        return;
    startBarsLook(survey);
}

void MediaSurvey::startBarsLook(Survey *survey)
{
    QProcess *process = survey->process;
    process->disconnect(this);
    survey->timer->disconnect(this);
    survey->output.clear();
    connect(process, &QProcess::readyReadStandardError, this, [survey] {
        survey->output += survey->process->readAllStandardError();
        // Each frame gives one line; a few hundred kilobytes at most.
        if (survey->output.size() > maxDescription)
            survey->process->kill();
    });
    connect(process, &QProcess::finished, this, [this, survey](int code, QProcess::ExitStatus status) {
        survey->timer->stop();
        survey->output += survey->process->readAllStandardError();
        barsRunEnded(survey, status == QProcess::NormalExit && code == 0);
    });
    connect(process, &QProcess::errorOccurred, this, [this, survey](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            barsRunEnded(survey, false);
    });
    connect(survey->timer, &QTimer::timeout, this, [this, survey] {
        survey->process->disconnect(this);
        survey->process->kill();
        survey->process->waitForFinished(1000);
        barsRunEnded(survey, false);
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    survey->timer->start(m_timeoutMs);
    process->start(converterProgram(),
                   barsLookArguments(survey->path, survey->barsGroups[survey->barsGroup]));
}

void MediaSurvey::barsRunEnded(Survey *survey, bool ok)
{
    MediaFacts facts = survey->facts;
    if (!ok) {
        const QString note =
            tr("Die Suche nach schwarzen Rändern ist misslungen; sie werden nicht entfernt.");
        facts.problem = facts.problem.isEmpty() ? note : facts.problem + u' ' + note;
        completeFile(survey, facts, true);
        return;
    }
    const int moments = int(survey->barsGroups[survey->barsGroup].size());
    survey->barsMoments +=
        parseBarsLook(QString::fromLocal8Bit(survey->output), moments, survey->width, survey->height);
    if (++survey->barsGroup < survey->barsGroups.size()) {
        startBarsLook(survey);
        return;
    }
    facts.bars = decideBars(survey->barsMoments, survey->width, survey->height);
    facts.barsLooked = true;
    completeFile(survey, facts, true);
}

void MediaSurvey::completeFile(Survey *survey, const MediaFacts &facts, bool barsReported)
{
    const auto it = std::find_if(m_running.begin(), m_running.end(),
                                 [survey](const std::unique_ptr<Survey> &s) { return s.get() == survey; });
    if (it == m_running.end())
        return;
    const QString path = survey->path;
    survey->process->disconnect(this);
    survey->timer->disconnect(this);
    m_running.erase(it);

    const int round = m_round;
    ++m_done;
    if (barsReported)
        emit barsLooked(path, facts);
    else
        emit surveyed(path, facts);
    if (round != m_round) // stopped by a receiver
        return;
    emit progressChanged(m_done, m_total);
    startNext();
    if (!busy())
        emit finished();
}
