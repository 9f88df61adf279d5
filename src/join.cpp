#include "join.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "codecs.h"
#include "interlace.h"
#include "makejob.h"
#include "timerange.h"

using namespace Qt::StringLiterals;
using Kind = StreamFacts::Kind;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("Join", text);
}

const QString listName = u"verbinden.txt"_s;

QList<const StreamFacts *> streamsOf(const MediaFacts &facts, Kind kind)
{
    QList<const StreamFacts *> found;
    for (const StreamFacts &s : facts.streams)
        if (s.kind == kind)
            found << &s;
    return found;
}

double sumOfLengths(const QList<MediaFacts> &facts)
{
    double sum = 0;
    for (const MediaFacts &f : facts)
        sum += f.durationSeconds;
    return sum;
}

// What makes two streams of one kind differ for the concat demuxer.
QString streamKey(const StreamFacts &s)
{
    switch (s.kind) {
    case Kind::Video:
        return u"%1 %2x%3 %4 %5"_s.arg(s.codec)
            .arg(s.width)
            .arg(s.height)
            .arg(s.pixelFormat)
            .arg(std::round(s.frameRate * 100) / 100);
    case Kind::Audio:
        return u"%1 %2 Hz %3 Kanäle"_s.arg(s.codec).arg(s.sampleRate).arg(s.channels);
    default:
        return s.codec;
    }
}

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

// Puts the options just before each run's first "-i".
QList<QStringList> withInputOptions(QList<QStringList> runs, const QStringList &options)
{
    for (QStringList &run : runs) {
        const qsizetype at = run.indexOf(u"-i"_s);
        if (at >= 0)
            for (qsizetype i = 0; i < options.size(); ++i)
                run.insert(at + i, options[i]);
    }
    return runs;
}

Job filterJoin(const PanelSettings &settings, const QStringList &files, const QList<MediaFacts> &facts,
               const QString &target, JoinAudio audio);
} // namespace

JoinQuestion joinQuestion(const QStringList &files, const QList<MediaFacts> &facts)
{
    JoinQuestion question;
    QStringList counts;
    QList<qsizetype> numbers;
    for (qsizetype i = 0; i < files.size() && i < facts.size(); ++i) {
        numbers << streamsOf(facts[i], Kind::Audio).size();
        counts << tr("%1: %2").arg(fileName(files[i])).arg(numbers.last());
    }
    if (numbers.isEmpty() || std::all_of(numbers.cbegin(), numbers.cend(),
                                         [&numbers](qsizetype n) { return n == numbers.first(); }))
        return question;
    question.ask = true;
    question.text =
        tr("Die Dateien haben unterschiedlich viele Tonspuren (%1). Sollen fehlende Tonspuren mit "
           "Stille aufgefüllt werden, damit keine Spur verloren geht, oder sollen nur die Tonspuren "
           "übernommen werden, die alle Dateien haben?")
            .arg(counts.join(u", "_s));
    return question;
}

QString joinDifference(const QList<MediaFacts> &facts)
{
    for (qsizetype i = 1; i < facts.size(); ++i)
        for (const Kind kind : {Kind::Video, Kind::Audio, Kind::Subtitle}) {
            const QList<const StreamFacts *> a = streamsOf(facts.first(), kind);
            const QList<const StreamFacts *> b = streamsOf(facts[i], kind);
            if (a.size() != b.size())
                return tr("Datei %1 hat andere Spuren als die erste").arg(i + 1);
            for (qsizetype k = 0; k < a.size(); ++k)
                if (streamKey(*a[k]) != streamKey(*b[k]))
                    return tr("Datei %1: %2 statt %3").arg(i + 1).arg(streamKey(*b[k]), streamKey(*a[k]));
        }
    return {};
}

QString joinRefusal(const PanelSettings &settings, const QStringList &files, const QList<MediaFacts> &facts)
{
    if (files.size() < 2 || facts.size() != files.size())
        return tr("Bitte wählen Sie mindestens zwei Dateien zum Verbinden.");
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!facts[i].valid)
            return tr("Die Datei %1 lässt sich nicht lesen (%2); sie kann nicht verbunden werden.")
                .arg(QDir::toNativeSeparators(files[i]), facts[i].problem);
        if (files[i].contains(u'\n') || files[i].contains(u'\r'))
            return tr("Der Name der Datei %1 enthält einen Zeilenumbruch und kann nicht verbunden werden. "
                      "Bitte "
                      "benennen Sie die Datei um.")
                .arg(QDir::toNativeSeparators(files[i]).simplified());
    }
    if (!settings.subtitleFiles.isEmpty() || settings.burnIn.isSet())
        return tr(
            "Beim Verbinden lassen sich keine Untertitel hinzufügen oder einbrennen. Bitte verbinden Sie "
            "die Dateien zuerst und fügen Sie die Untertitel danach hinzu.");
    const RangeCheck range = checkRange(settings.rangeFrom, settings.rangeTo, sumOfLengths(facts));
    if (!range.refusal.isEmpty())
        return range.refusal;
    const QString difference = joinDifference(facts);
    if (difference.isEmpty())
        return {};
    const bool copied =
        (settings.videoOn && !settings.dvdPreset && videoCodec(settings.videoCodec).encoder == u"copy"_s) ||
        (settings.audioOn && audioCodec(settings.audioCodec).encoder == u"copy"_s);
    if (copied)
        return tr("Die Dateien passen nicht zusammen (%1) und lassen sich nur neu kodiert verbinden. Bitte "
                  "wählen Sie einen Video- und einen Audio-Codec statt „copy“.")
            .arg(difference);
    if (settings.targetSizeMB > 0)
        return tr("Die Dateien passen nicht zusammen (%1) und werden neu kodiert verbunden; eine Zielgröße "
                  "ist "
                  "dabei nicht möglich. Bitte wählen Sie eine Qualitätsstufe oder eine Bitrate.")
            .arg(difference);
    return {};
}

QByteArray concatList(const QStringList &files)
{
    QByteArray list;
    for (const QString &file : files) {
        QString quoted = file;
        quoted.replace(u"'"_s, u"'\\''"_s);
        list += "file '" + quoted.toUtf8() + "'\n";
    }
    return list;
}

Job joinJob(const PanelSettings &settings, const QStringList &files, const QList<MediaFacts> &facts,
            const QString &target, JoinAudio audio)
{
    if (files.isEmpty() || facts.size() != files.size())
        return {};
    Job job;
    if (joinDifference(facts).isEmpty()) {
        // The streams match: the demuxer reads the files one after another as
        // one input, and the panel's settings act on it as on any source.
        MediaFacts joined = facts.first();
        joined.durationSeconds = sumOfLengths(facts);
        for (StreamFacts &s : joined.streams)
            s.durationSeconds = 0;
        const Job made = makeJob(settings, listName, target, joined);
        const QStringList concat{u"-f"_s, u"concat"_s, u"-safe"_s, u"0"_s};
        job = Job::fromRuns(withInputOptions(made.runs, concat));
        job.sizeLimit = made.sizeLimit;
        job.limitRuns = withInputOptions(made.limitRuns, concat);
        job.workFiles = {WorkFile{listName, QString(), concatList(files)}};
    } else {
        job = filterJoin(settings, files, facts, target, audio);
    }
    job.input = files.first();
    job.joinedInputs = files;
    const TimeRange range = checkRange(settings.rangeFrom, settings.rangeTo, 0).range;
    job.inputSeconds = sumOfLengths(facts);
    // The filter join cuts at its output: the converter counts the part alone.
    if (!job.workFiles.isEmpty() || range.isEmpty())
        return job;
    job.inputSeconds = range.length().value_or(job.inputSeconds - range.from.value_or(0));
    return job;
}

namespace {
Job filterJoin(const PanelSettings &settings, const QStringList &files, const QList<MediaFacts> &facts,
               const QString &target, JoinAudio audio)
{
    // The first file with a picture gives size and frame rate; the first with
    // sound the sample rate.
    const StreamFacts *picture = nullptr;
    const StreamFacts *sound = nullptr;
    qsizetype most = 0;
    qsizetype fewest = 1000;
    bool allMono = true;
    for (const MediaFacts &f : facts) {
        const QList<const StreamFacts *> video = streamsOf(f, Kind::Video);
        const QList<const StreamFacts *> tracks = streamsOf(f, Kind::Audio);
        if (!picture && !video.isEmpty())
            picture = video.first();
        if (!sound && !tracks.isEmpty())
            sound = tracks.first();
        most = std::max(most, tracks.size());
        fewest = std::min(fewest, tracks.size());
        for (const StreamFacts *t : tracks)
            allMono = allMono && t->channels == 1;
    }
    QStringList arguments = buildArguments(settings, files.first(), target);
    const qsizetype inputAt = arguments.indexOf(u"-i"_s);
    for (qsizetype i = 1; i < files.size(); ++i)
        arguments.insert(inputAt + 2 * i, u"-i"_s), arguments.insert(inputAt + 2 * i + 1, files[i]);
    const bool video = picture && settings.videoOn && encodesVideo(arguments);
    const qsizetype tracks = settings.audioOn ? (audio == JoinAudio::AllTracks ? most : fewest) : 0;
    // The panel's own chain (size limit, even sides) after the join.
    arguments = withVideoFilters(arguments, QString(),
                                 sizeLimitFilter(settings.maxHeight, picture ? picture->shownHeight() : 0,
                                                 picture ? picture->shownWidth() : 0));
    QString chain;
    if (const qsizetype vf = arguments.lastIndexOf(u"-vf"_s); vf >= 0 && vf + 2 < arguments.size()) {
        chain = arguments[vf + 1];
        arguments.remove(vf, 2);
    }
    const int width = picture ? picture->shownWidth() & ~1 : 0;
    const int height = picture ? picture->shownHeight() & ~1 : 0;
    const QString rate = converterSeconds(picture && picture->frameRate > 0 ? picture->frameRate : 25);
    const QString size = u"%1:%2"_s.arg(width).arg(height);
    const int sampleRate = sound && sound->sampleRate > 0 ? sound->sampleRate : 48000;
    const QString layout = allMono ? u"mono"_s : u"stereo"_s;
    const QString audioFormat =
        u"aformat=sample_fmts=fltp:sample_rates=%1:channel_layouts=%2"_s.arg(sampleRate).arg(layout);
    QStringList parts;
    QString segments;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString n = QString::number(i);
        const QString length = converterSeconds(std::max(0.04, facts[i].durationSeconds));
        if (video) {
            QString filters;
            if (streamsOf(facts[i], Kind::Video).isEmpty()) {
                filters = u"color=c=black:s=%1x%2:r=%3:d=%4"_s.arg(width).arg(height).arg(rate, length);
            } else {
                filters = u"[%1:v:0]"_s.arg(n);
                if (deinterlaces(settings, facts[i]))
                    filters += deinterlaceFilter(facts[i].scan) + u',';
                filters +=
                    u"scale=%1:force_original_aspect_ratio=decrease,pad=%1:(ow-iw)/2:(oh-ih)/2"_s.arg(size);
            }
            parts << filters + u",setsar=1,fps=%1,format=yuv420p[v%2]"_s.arg(rate, n);
            segments += u"[v%1]"_s.arg(n);
        }
        const qsizetype own = streamsOf(facts[i], Kind::Audio).size();
        for (qsizetype k = 0; k < tracks; ++k) {
            const QString label = u"[a%1_%2]"_s.arg(n).arg(k);
            parts << (k < own
                          ? u"[%1:a:%2]aresample=%3,"_s.arg(n).arg(k).arg(sampleRate)
                          : u"anullsrc=r=%1:cl=%2,atrim=duration=%3,"_s.arg(sampleRate).arg(layout, length)) +
                         audioFormat + label;
            segments += label;
        }
    }
    QStringList maps;
    QString outputs;
    if (video) {
        outputs += u"[qv]"_s;
        maps << u"-map"_s << (chain.isEmpty() ? u"[qv]"_s : u"[qw]"_s);
    }
    for (qsizetype k = 0; k < tracks; ++k) {
        outputs += u"[qa%1]"_s.arg(k);
        maps << u"-map"_s << u"[qa%1]"_s.arg(k);
    }
    QString graph = parts.join(u';') + u';' + segments +
                    u"concat=n=%1:v=%2:a=%3"_s.arg(files.size()).arg(video ? 1 : 0).arg(tracks) + outputs;
    if (video && !chain.isEmpty())
        graph += u";[qv]"_s + chain + u"[qw]"_s;
    QStringList options{u"-filter_complex"_s, graph};
    options << maps;
    // A part of the joined whole: cut at the output.
    const TimeRange range = checkRange(settings.rangeFrom, settings.rangeTo, 0).range;
    if (range.from)
        options << u"-ss"_s << converterSeconds(*range.from);
    if (const auto length = range.length())
        options << u"-t"_s << converterSeconds(*length);
    const QString output = arguments.takeLast();
    return Job::fromRuns({arguments + options + QStringList{output}});
}
} // namespace

QString joinOutputName(const QString &first, const QString &outputDir, const QString &suffix)
{
    const QFileInfo info(first);
    const QString folder = outputDir.isEmpty() ? info.absolutePath() : outputDir;
    return folder + u'/' + info.completeBaseName() + u"-verbunden"_s +
           (suffix.isEmpty() ? u'.' + info.suffix() : suffix);
}
