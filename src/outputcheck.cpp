#include "outputcheck.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

#include "compatibility.h"
#include "progress.h"

using namespace Qt::StringLiterals;

namespace {
constexpr qsizetype maxLineLength = 4096;
const QString incomplete = u"Die Ausgabedatei ist unvollständig: "_s;

bool startsWith(QByteArrayView line, const char *prefix)
{
    const qsizetype length = qsizetype(std::strlen(prefix));
    return line.size() >= length && std::memcmp(line.data(), prefix, size_t(length)) == 0;
}

bool isStatusLine(QByteArrayView line)
{
    return (startsWith(line, "frame=") || startsWith(line, "size=")) && line.indexOf("time=") >= 0;
}

// "1,5 s": seconds as a German reader writes them.
QString germanSeconds(double seconds)
{
    return QString::number(seconds, 'f', 1).replace(u'.', u',') + u" s"_s;
}

// Formats whose duration ffprobe guesses from the first packets' bitrate, or does
// not know at all: raw streams without an index. A variable bitrate makes the
// guess wrong by half and more (measured: a correct 20 s AAC stream read as
// 10.2 s), so their length is not checked.
bool durationIsGuessed(const QString &formatName)
{
    static const QStringList guessed =
        u"aac ac3 eac3 dts truehd mlp mp3 mpegvideo h264 hevc m4v cavsvideo vc1 "
        u"dirac dnxhd h261 h263 mjpeg avs2 avs3 rawvideo"_s.split(u' ');
    const auto names = QStringView(formatName).split(u',');
    return std::any_of(names.begin(), names.end(), [](QStringView name) { return guessed.contains(name); });
}

// The plural as it follows "von": "1 von 2 Audioströmen".
QString streamNoun(const QString &type, bool plural)
{
    if (type == u"video"_s)
        return plural ? u"Videoströmen"_s : u"Videostrom"_s;
    if (type == u"audio"_s)
        return plural ? u"Audioströmen"_s : u"Audiostrom"_s;
    return plural ? u"Untertitelströmen"_s : u"Untertitelstrom"_s;
}
} // namespace

void OutputReportReader::feed(QByteArrayView bytes)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\n' && c != '\r')
            continue;
        if (m_partial.isEmpty()) {
            takeLine(bytes.sliced(start, i - start));
        } else {
            m_partial.append(bytes.sliced(start, std::min(i - start, maxLineLength)));
            takeLine(m_partial);
            m_partial.clear();
        }
        start = i + 1;
    }
    // The unfinished line waits for its end; an endless one is cut, not hoarded.
    const qsizetype room = maxLineLength - m_partial.size();
    if (room > 0)
        m_partial.append(bytes.sliced(start, std::min(bytes.size() - start, room)));
}

void OutputReportReader::takeLine(QByteArrayView line)
{
    if (line.isEmpty())
        return;
    // Written wherever the converter failed to write: after the streams, at the
    // trailer, or on a line of its own.
    if (line.indexOf("No space left on device") >= 0 || line.indexOf("Disk quota exceeded") >= 0)
        m_result.diskFull = true;
    if (isStatusLine(line)) {
        m_lastStatus = line.toByteArray();
        if (m_section != Section::Before)
            m_section = Section::After;
        return;
    }
    switch (m_section) {
    case Section::Before:
        if (startsWith(line, "Output #0, ")) {
            // "Output #0, mp4, to '/path/name.mp4':"; a name with line breaks
            // continues on the following lines up to the closing "':".
            const QString text = QString::fromUtf8(line);
            m_result.reported = true;
            m_result.format = text.section(u", "_s, 1, 1);
            m_result.nullOutput = m_result.format == u"null"_s;
            m_section = text.endsWith(u"':"_s) ? Section::Streams : Section::Name;
        }
        break;
    case Section::Name:
        if (line.endsWith("':"))
            m_section = Section::Streams;
        break;
    case Section::Streams:
        // The output's description is indented; its streams have two blanks, their
        // metadata more. The first line at the margin ends it.
        if (line[0] != ' ') {
            m_section = Section::After;
        } else if (startsWith(line, "  Stream #0:")) {
            static const QRegularExpression stream(
                u"^  Stream #0:\\d+\\S*: (Video|Audio|Subtitle|Data|Attachment): ([^\\s,]+)(.*)$"_s);
            const QRegularExpressionMatch m = stream.match(QString::fromUtf8(line));
            if (m.hasMatch()) {
                OutputStream s{m.captured(1).toLower(), m.captured(2), QString()};
                if (s.type == u"video"_s)
                    s.pixelFormat = readPictureFormat(m.capturedView(3)).pixelFormat;
                m_result.streams.append(s);
            }
        }
        break;
    case Section::After:
        break;
    }
}

OutputExpectation OutputReportReader::expectation() const
{
    OutputExpectation result = m_result;
    const QByteArray &status = isStatusLine(m_partial) ? m_partial : m_lastStatus;
    // "time=00:00:01.96" and "Lsize=      40kB" (or "size=" before the end).
    const auto value = [&status](const char *key) {
        const qsizetype at = status.indexOf(key);
        if (at < 0)
            return QByteArray();
        const QByteArray rest = status.mid(at + qsizetype(std::strlen(key))).trimmed();
        return rest.left(rest.indexOf(' ') < 0 ? rest.size() : rest.indexOf(' '));
    };
    result.seconds = parseTimestamp(QString::fromLatin1(value("time="))).value_or(0);
    QByteArray size = value("size=");
    if (size.endsWith("KiB") || size.endsWith("kB")) {
        size.chop(size.endsWith("KiB") ? 3 : 2);
        bool ok = false;
        const qint64 kilobytes = size.toLongLong(&ok);
        result.kilobytes = ok ? kilobytes : -1;
    }
    return result;
}

OutputExpectation readOutputExpectation(QByteArrayView report)
{
    OutputReportReader reader;
    reader.feed(report);
    return reader.expectation();
}

QString diskFullReason(const QString &outputFolder)
{
    return u"Der Datenträger mit dem Ordner %1 ist voll: ffmpeg konnte die Ausgabedatei nicht zu Ende "
           "schreiben, die unvollständige Datei wurde entfernt. Schaffen Sie dort Platz oder wählen Sie "
           "einen anderen Zielordner und wandeln Sie die Datei erneut um."_s.arg(
               QDir::toNativeSeparators(outputFolder));
}

QStringList outputProbeArguments(const QString &file)
{
    // Process start-up is nearly all of the cost; reading these few entries from
    // the header adds little, and nothing is decoded beyond what ffprobe needs to
    // tell the formats.
    return {u"-v"_s,
            u"error"_s,
            u"-of"_s,
            u"json"_s,
            u"-show_entries"_s,
            u"format=format_name,duration:stream=codec_type,codec_name,pix_fmt,duration"_s,
            u"-i"_s,
            file};
}

QString checkOutputFile(const QString &file, const OutputExpectation &expectation)
{
    const QFileInfo info(file);
    if (!info.exists())
        return incomplete + u"ffmpeg hat die Datei nicht angelegt. Prüfen Sie den Zielordner und "
                            "wandeln Sie die Datei erneut um."_s;
    if (info.isFile() && info.size() == 0)
        return incomplete + u"die Datei ist leer. Prüfen Sie den freien Speicherplatz und wandeln Sie "
                            "die Datei erneut um."_s;
    // The converter prints the size rounded to whole KiB.
    if (info.isFile() && expectation.kilobytes > 0 && info.size() < (expectation.kilobytes - 1) * 1024)
        return incomplete +
               u"sie ist mit %1 KiB kleiner als die %2 KiB, die ffmpeg geschrieben hat. Prüfen Sie "
               "den freien Speicherplatz und wandeln Sie die Datei erneut um."_s.arg(info.size() / 1024)
                   .arg(expectation.kilobytes);
    return {};
}

QString checkOutput(const QByteArray &probeJson, const OutputExpectation &expectation)
{
    if (expectation.nullOutput)
        return {};
    const QJsonObject probed = QJsonDocument::fromJson(probeJson).object();
    const QJsonArray streams = probed[u"streams"_s].toArray();
    static const QStringList kinds{u"video"_s, u"audio"_s, u"subtitle"_s};

    int readable = 0;
    for (const QJsonValue &stream : streams) {
        const QString type = stream[u"codec_type"_s].toString();
        if (!kinds.contains(type))
            continue;
        const QString codec = stream[u"codec_name"_s].toString();
        // A picture ffprobe cannot decode has no pixel format: a VP9 stream flagged
        // as RGB in profile 0 looks like that, and no player shows it.
        const bool known = !codec.isEmpty() && codec != u"none"_s &&
                           (type != u"video"_s || !stream[u"pix_fmt"_s].toString().isEmpty());
        // Only where the converter itself knew the format: a copied stream of a kind
        // this ffmpeg cannot decode is as readable as in the source.
        const bool reportedKnown =
            std::any_of(expectation.streams.begin(), expectation.streams.end(), [&](const OutputStream &s) {
                return s.type == type && s.codec != u"none"_s &&
                       (type != u"video"_s || !s.pixelFormat.isEmpty());
            });
        if (!known && (reportedKnown || !expectation.reported))
            return incomplete + u"ein %1 (%2) lässt sich nicht lesen. Wählen Sie einen anderen Codec."_s.arg(
                                    streamNoun(type, false), codec.isEmpty() ? u"unbekannt"_s : codec);
        ++readable;
    }
    if (readable == 0)
        return incomplete + u"ffprobe findet darin keinen lesbaren Video- oder Audiostrom. Prüfen Sie den "
                            "freien Speicherplatz und wandeln Sie die Datei erneut um."_s;

    for (const QString &kind : kinds) {
        const auto isKind = [&kind](const auto &type) { return type == kind; };
        const qsizetype wanted = std::count_if(expectation.streams.begin(), expectation.streams.end(),
                                               [&](const OutputStream &s) { return isKind(s.type); });
        const qsizetype found = std::count_if(streams.begin(), streams.end(), [&](const QJsonValue &s) {
            return isKind(s[u"codec_type"_s].toString());
        });
        if (found >= wanted)
            continue;
        if (wanted == 1)
            return incomplete +
                   u"der %1 fehlt, den ffmpeg geschrieben hat. Wandeln Sie die Datei erneut um."_s.arg(
                       streamNoun(kind, false));
        return incomplete +
               u"sie enthält %1 von %2 %3, die ffmpeg geschrieben hat. Wandeln Sie die Datei erneut "
               "um."_s.arg(found)
                   .arg(wanted)
                   .arg(streamNoun(kind, true));
    }

    // The longest of what the header and the streams claim: a header may claim
    // more than a stream holds (a subtitle that lasts longer), never less.
    const QJsonObject format = probed[u"format"_s].toObject();
    if (expectation.seconds <= 0 || durationIsGuessed(format[u"format_name"_s].toString()))
        return {};
    double longest = format[u"duration"_s].toString().toDouble();
    for (const QJsonValue &stream : streams)
        longest = std::max(longest, stream[u"duration"_s].toString().toDouble());
    // Measured on correct outputs of every codec and container of today: MPEG
    // program streams end up to 0.09 s before the last position, all others at or
    // after it. Half a second and 2 % leave room without hiding a cut-off.
    const double tolerance = 0.5 + 0.02 * expectation.seconds;
    if (longest > 0 && longest < expectation.seconds - tolerance)
        return incomplete + u"sie ist nur %1 lang, ffmpeg hat aber %2 umgewandelt. Prüfen Sie den freien "
                            "Speicherplatz und wandeln Sie die Datei erneut um."_s.arg(
                                germanSeconds(longest), germanSeconds(expectation.seconds));
    return {};
}

OutputProbe::OutputProbe(QObject *parent) : QObject(parent)
{
    m_timeLimit.setSingleShot(true);
    connect(&m_timeLimit, &QTimer::timeout, this, [this] {
        // The reason first: killing ends the process, whose end must not be read
        // as a finished check.
        finish(u"Die Ausgabedatei konnte nicht geprüft werden: ffprobe hat nach %1 Sekunden nicht "
               "geantwortet. Prüfen Sie die Datei mit einem Player."_s.arg(timeLimitMs / 1000));
        stopProcess();
    });
    connect(&m_process, &QProcess::finished, this, [this](int, QProcess::ExitStatus status) {
        if (status == QProcess::CrashExit)
            finish(u"Die Ausgabedatei konnte nicht geprüft werden: ffprobe ist abgestürzt. Prüfen Sie die "
                   "Datei mit einem Player."_s);
        else
            finish(checkOutput(m_process.readAllStandardOutput(), m_expectation));
    });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(u"Die Ausgabedatei konnte nicht geprüft werden: ffprobe ließ sich nicht starten. "
                   "Installieren Sie das Paket „ffmpeg“ vollständig."_s);
    });
}

OutputProbe::~OutputProbe()
{
    cancel();
}

void OutputProbe::start(const QString &file, const OutputExpectation &expectation,
                        const QString &workingDirectory)
{
    cancel();
    m_done = false;
    ++m_run;
    m_expectation = expectation;
    const QString path = workingDirectory.isEmpty() ? file : QDir(workingDirectory).filePath(file);
    QString early;
    if (!expectation.nullOutput)
        early = checkOutputFile(path, expectation);
    if (expectation.nullOutput || !early.isEmpty()) {
        // Never from inside start(): the caller may not be ready for the signal yet.
        QMetaObject::invokeMethod(
            this,
            [this, early, run = m_run] {
                if (run == m_run)
                    finish(early);
            },
            Qt::QueuedConnection);
        return;
    }
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setWorkingDirectory(workingDirectory);
    m_process.start(u"ffprobe"_s, outputProbeArguments(file));
    m_timeLimit.start(timeLimitMs);
}

void OutputProbe::cancel()
{
    m_done = true;
    m_timeLimit.stop();
    stopProcess();
}

void OutputProbe::stopProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(1000);
}

void OutputProbe::finish(const QString &reason)
{
    if (m_done)
        return;
    m_done = true;
    m_timeLimit.stop();
    emit finished(reason);
}
