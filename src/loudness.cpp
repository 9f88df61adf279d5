#include "loudness.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include "codecs.h"

using namespace Qt::StringLiterals;

namespace {
QString said(const char *text)
{
    return QCoreApplication::translate("Loudness", text);
}

QString targetOptions(int target)
{
    return u"I=%1:TP=%2:LRA=%3"_s.arg(target).arg(loudnessTruePeak).arg(loudnessRange);
}

// A filter of a track K of the output: "-filter:a:K" (or "-filter:a" for the
// single track the converter picks).
bool isTrackFilterOption(const QString &argument)
{
    return argument == u"-filter:a"_s || argument.startsWith(u"-filter:a:"_s);
}

int trackOf(const QString &option)
{
    return option == u"-filter:a"_s ? 0 : option.mid(10).toInt();
}

// loudnorm takes measured values only in these bounds.
QString bounded(const QString &value, double low, double high)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return {};
    return QString::number(std::clamp(number, low, high), 'f', 2);
}
} // namespace

const QList<int> &loudnessTargets()
{
    static const QList<int> targets{0, -23, -16, -14};
    return targets;
}

int loudnessTargetIndex(int lufs)
{
    return std::max(0, int(loudnessTargets().indexOf(lufs)));
}

bool normalisesLoudness(const PanelSettings &settings)
{
    return settings.loudnessTarget != 0 && settings.audioOn &&
           audioCodec(settings.audioCodec).encoder != u"copy"_s;
}

QString loudnessCopyProblem(const PanelSettings &settings)
{
    if (settings.loudnessTarget == 0 || !settings.audioOn ||
        audioCodec(settings.audioCodec).encoder != u"copy"_s)
        return {};
    return said(
        "Mit Audio „copy“ wird der Ton unverändert übernommen; die Lautstärke kann so nicht angeglichen "
        "werden. Wählen Sie einen Audio-Codec, wenn der Ton angeglichen werden soll.");
}

QStringList loudnessMeasureRun(const QString &source, const QStringList &audioMaps, int target)
{
    QStringList run{u"-hide_banner"_s, u"-nostdin"_s, u"-i"_s, source};
    for (const QString &map : audioMaps)
        run << u"-map"_s << map;
    run << u"-vn"_s << u"-sn"_s << u"-dn"_s;
    // Each track's filter is named after its place in the output, so that its
    // report says which track it measured.
    const qsizetype tracks = std::max<qsizetype>(1, audioMaps.size());
    for (qsizetype k = 0; k < tracks; ++k)
        run << (audioMaps.isEmpty() ? u"-filter:a"_s : u"-filter:a:%1"_s.arg(k))
            << u"loudnorm@t%1=%2:print_format=json"_s.arg(k).arg(targetOptions(target));
    run << u"-f"_s << u"null"_s << u"-"_s;
    return run;
}

QStringList withLoudness(const QStringList &run, int target, const QList<int> &sampleRates, int fallbackRate)
{
    if (run.isEmpty())
        return run;
    QStringList result = run;
    const QString output = result.takeLast();
    // loudnorm works at 192 kHz; the rate the track is written at is set again.
    const QString filter = u"loudnorm=%1:linear=true,aresample=%2"_s;
    if (sampleRates.isEmpty())
        result << u"-filter:a"_s << filter.arg(targetOptions(target)).arg(fallbackRate);
    for (qsizetype k = 0; k < sampleRates.size(); ++k)
        result << u"-filter:a:%1"_s.arg(k) << filter.arg(targetOptions(target)).arg(sampleRates[k]);
    return result << output;
}

int measuredTrackCount(const QStringList &run)
{
    int count = 0;
    for (qsizetype i = 0; i + 1 < run.size(); ++i)
        if (isTrackFilterOption(run[i]) && run[i + 1].startsWith(u"loudnorm@t"_s) &&
            run[i + 1].contains(u"print_format=json"_s))
            ++count;
    return count;
}

QList<LoudnessMeasurement> parseLoudnessReport(QStringView report)
{
    // "[loudnorm@t0 @ 0x55...] " and on the next lines a JSON object.
    static const QRegularExpression block(u"\\[loudnorm@t(\\d+) @ [^\\]]*\\]\\s*(\\{[^}]*\\})"_s);
    QMap<int, LoudnessMeasurement> found;
    QRegularExpressionMatchIterator it = block.globalMatch(report);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QJsonObject o = QJsonDocument::fromJson(match.captured(2).toUtf8()).object();
        if (o.isEmpty())
            continue;
        LoudnessMeasurement m;
        m.integrated = bounded(o[u"input_i"_s].toString(), -99, 0);
        m.truePeak = bounded(o[u"input_tp"_s].toString(), -99, 99);
        m.range = bounded(o[u"input_lra"_s].toString(), 0, 99);
        m.threshold = bounded(o[u"input_thresh"_s].toString(), -99, 0);
        m.offset = bounded(o[u"target_offset"_s].toString(), -99, 99);
        // Silence measures "-inf": no level to start from.
        m.silent = m.integrated.isEmpty() || m.truePeak.isEmpty() || m.range.isEmpty() ||
                   m.threshold.isEmpty() || m.offset.isEmpty() ||
                   o[u"input_i"_s].toString().toDouble() <= -99;
        found.insert(match.capturedView(1).toInt(), m);
    }
    // In output order, without gaps.
    QList<LoudnessMeasurement> measured;
    for (int k = 0; found.contains(k); ++k)
        measured << found.value(k);
    return measured;
}

QStringList withMeasuredLoudness(const QStringList &run, const QList<LoudnessMeasurement> &measured)
{
    static const QRegularExpression loudnorm(u"^loudnorm=(I=[^:,]*:TP=[^:,]*:LRA=[^:,]*)[^,]*"_s);
    QStringList result = run;
    for (qsizetype i = 0; i + 1 < result.size(); ++i) {
        if (!isTrackFilterOption(result[i]))
            continue;
        const int track = trackOf(result[i]);
        const QRegularExpressionMatch match = loudnorm.match(result[i + 1]);
        if (!match.hasMatch() || track < 0 || track >= measured.size())
            continue;
        const LoudnessMeasurement &m = measured[track];
        QString filter = u"loudnorm="_s + match.captured(1);
        if (!m.silent)
            filter += u":measured_I=%1:measured_TP=%2:measured_LRA=%3:measured_thresh=%4:offset=%5"_s.arg(
                m.integrated, m.truePeak, m.range, m.threshold, m.offset);
        filter += u":linear=true"_s;
        result[i + 1].replace(0, match.capturedLength(0), filter);
    }
    return result;
}

QStringList LoudnessHandover::prepare(const QStringList &run)
{
    m_expected = measuredTrackCount(run);
    m_report.clear();
    return m_measured.isEmpty() ? run : withMeasuredLoudness(run, m_measured);
}

void LoudnessHandover::feed(const QByteArray &bytes)
{
    if (m_expected == 0)
        return;
    m_report += bytes;
    // The measurements come at the end; the progress lines before them are not
    // kept beyond a bound.
    constexpr qsizetype keep = 1 << 20;
    if (m_report.size() > 2 * keep)
        m_report.remove(0, m_report.size() - keep);
}

QString LoudnessHandover::runEnded()
{
    if (m_expected == 0)
        return {};
    const QList<LoudnessMeasurement> measured = parseLoudnessReport(QString::fromUtf8(m_report));
    const int expected = m_expected;
    m_expected = 0;
    m_report.clear();
    if (measured.size() < expected)
        return said(
            "Die Lautheit des Tons ließ sich nicht messen: ffmpeg hat keinen Messwert geliefert. Prüfen Sie, "
            "ob die Tonspuren lesbar sind, oder schalten Sie „Lautstärke angleichen“ aus.");
    m_measured = measured;
    return {};
}
