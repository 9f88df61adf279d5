#include "subtitlejob.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "codecs.h"
#include "interlace.h"
#include "subtitlefiles.h"
#include "tracks.h"

using namespace Qt::StringLiterals;
using Kind = StreamFacts::Kind;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("Subtitles", text);
}

// The source's subtitle stream as "si=" and "0:s:N" count it: its place among
// the source's subtitle streams.
int subtitleNumber(const MediaFacts &facts, int streamIndex)
{
    int number = 0;
    for (const StreamFacts &s : facts.streams) {
        if (s.index == streamIndex)
            return number;
        number += s.kind == Kind::Subtitle;
    }
    return -1;
}

bool burnsAdded(const PanelSettings &settings, int index)
{
    return burnsSubtitles(settings) && settings.burnIn.from == BurnIn::From::Added &&
           settings.burnIn.index == index;
}

// Just before the output name.
QStringList beforeOutput(QStringList arguments, const QStringList &options)
{
    const QString output = arguments.takeLast();
    return arguments + options + QStringList{output};
}
} // namespace

bool burnsSubtitles(const PanelSettings &settings)
{
    return settings.burnIn.isSet() && settings.videoOn &&
           (settings.dvdPreset || videoCodec(settings.videoCodec).encoder != u"copy"_s);
}

const StreamFacts *burnedSourceStream(const PanelSettings &settings, const MediaFacts &facts)
{
    if (!burnsSubtitles(settings) || settings.burnIn.from != BurnIn::From::Source)
        return nullptr;
    for (const StreamFacts &s : facts.streams)
        if (s.index == settings.burnIn.index && s.kind == Kind::Subtitle)
            return &s;
    return nullptr;
}

QString subtitleWorkName(const PanelSettings &settings, int index)
{
    const QString suffix = QFileInfo(settings.subtitleFiles.value(index).path).suffix().toLower();
    return u"untertitel%1.%2"_s.arg(index + 1).arg(suffix);
}

QList<WorkFile> subtitleWorkFiles(const PanelSettings &settings)
{
    QList<WorkFile> files;
    for (int i = 0; i < int(settings.subtitleFiles.size()); ++i)
        files << WorkFile{subtitleWorkName(settings, i), settings.subtitleFiles[i].path, {}};
    return files;
}

QString filterValue(const QString &text)
{
    QString option;
    for (const QChar c : text) {
        if (c == u'\\' || c == u'\'' || c == u':')
            option += u'\\';
        option += c;
    }
    QString graph;
    for (const QChar c : option) {
        if (c == u'\\' || c == u'\'' || c == u'[' || c == u']' || c == u',' || c == u';')
            graph += u'\\';
        graph += c;
    }
    return graph;
}

QString textBurnFilter(const PanelSettings &settings, const MediaFacts &facts, const QString &source,
                       const TimeRange &range)
{
    if (!burnsSubtitles(settings))
        return {};
    QString filter;
    if (settings.burnIn.from == BurnIn::From::Added) {
        if (settings.burnIn.index >= settings.subtitleFiles.size())
            return {};
        // The UTF-8 copy in the job's private folder, the runs' working folder.
        filter = u"subtitles=filename="_s + filterValue(subtitleWorkName(settings, settings.burnIn.index));
    } else {
        const StreamFacts *stream = burnedSourceStream(settings, facts);
        if (!stream || stream->bitmapSubtitle)
            return {};
        // The filter opens the source itself: its attached fonts serve the styles.
        filter = u"subtitles=filename="_s + filterValue(QFileInfo(source).absoluteFilePath()) + u":si="_s +
                 QString::number(subtitleNumber(facts, stream->index));
    }
    if (!range.from || *range.from <= 0)
        return filter;
    const QString offset = converterSeconds(*range.from);
    return joinFilters({u"setpts=PTS+"_s + offset + u"/TB"_s, filter, u"setpts=PTS-"_s + offset + u"/TB"_s});
}

QStringList withAddedSubtitles(const QStringList &arguments, const PanelSettings &settings,
                               const QString &container, const TrackPlan &plan, const TimeRange &range)
{
    const QString codec = textSubtitleCodec(container);
    const qsizetype inputAt = arguments.indexOf(u"-i"_s);
    if (settings.subtitleFiles.isEmpty() || codec.isEmpty() || plan.arguments.isEmpty() || inputAt < 0 ||
        !plan.arguments.contains(u"-map"_s))
        return arguments;
    int subtitles = 0;
    for (const TrackDecision &d : plan.tracks)
        subtitles += d.kept && d.kind == Kind::Subtitle;
    const int streams = int(plan.arguments.count(u"-map"_s));
    QStringList inputs;
    QStringList options;
    int added = 0;
    for (int i = 0; i < int(settings.subtitleFiles.size()); ++i) {
        if (burnsAdded(settings, i))
            continue;
        const AddedSubtitle &file = settings.subtitleFiles[i];
        // The same part of the file as the source: "-ss" moves both to 0.
        if (range.from)
            inputs << u"-ss"_s << converterSeconds(*range.from);
        if (const auto length = range.length())
            inputs << u"-t"_s << converterSeconds(*length);
        inputs << u"-i"_s << subtitleWorkName(settings, i);
        const QString track = QString::number(subtitles + added);
        options << u"-map"_s << QString::number(added + 1) + u":0"_s << u"-c:s:"_s + track << codec;
        if (!file.language.isEmpty())
            options << u"-metadata:s:s:"_s + track << u"language="_s + file.language;
        if (!file.title.isEmpty()) {
            options << u"-metadata:s:s:"_s + track << u"title="_s + file.title;
            // MP4 keeps a track's name as its handler name.
            if (codec == u"mov_text"_s)
                options << u"-metadata:s:"_s + QString::number(streams + added)
                        << u"handler_name="_s + file.title;
        }
        if (file.forced)
            options << u"-disposition:s:"_s + track << u"forced"_s;
        ++added;
    }
    QStringList result = arguments;
    for (qsizetype i = 0; i < inputs.size(); ++i)
        result.insert(inputAt + 2 + i, inputs[i]);
    return beforeOutput(result, options);
}

QStringList withPictureBurn(const QStringList &arguments, const PanelSettings &settings,
                            const MediaFacts &facts, const TrackPlan &plan)
{
    const StreamFacts *stream = burnedSourceStream(settings, facts);
    if (!stream || !stream->bitmapSubtitle || !encodesVideo(arguments))
        return arguments;
    int video = -1;
    for (const TrackDecision &d : plan.tracks)
        if (d.kept && d.kind == Kind::Video) {
            video = d.index;
            break;
        }
    const QString videoMap = u"0:"_s + QString::number(video);
    const qsizetype mapAt = arguments.indexOf(videoMap);
    if (video < 0 || mapAt < 1 || arguments[mapAt - 1] != u"-map"_s)
        return arguments;
    QStringList result = arguments;
    // The chain of the picture (deinterlacing, sizes) follows the overlay.
    QString chain;
    const qsizetype vf = result.lastIndexOf(u"-vf"_s);
    if (vf >= 0 && vf + 1 < result.size() - 1) {
        chain = result[vf + 1];
        result.remove(vf, 2);
    }
    QString graph = u"[%1][0:%2]overlay"_s.arg(videoMap).arg(stream->index);
    graph += chain.isEmpty() ? u"[qv]"_s : u"[qo];[qo]"_s + chain + u"[qv]"_s;
    result[result.indexOf(videoMap)] = u"[qv]"_s;
    result.insert(result.indexOf(u"-i"_s) + 2, u"-filter_complex"_s);
    result.insert(result.indexOf(u"-i"_s) + 3, graph);
    return result;
}

QList<Problem> subtitleProblems(const PanelSettings &settings, const MediaFacts &facts,
                                const QString &container)
{
    QList<Problem> problems;
    const bool holds = !textSubtitleCodec(container).isEmpty();
    for (int i = 0; i < int(settings.subtitleFiles.size()); ++i)
        if (!holds && !burnsAdded(settings, i))
            problems.append(
                {tr("Untertiteldatei %1: %2-Dateien nehmen keine Untertitel auf.")
                     .arg(QFileInfo(settings.subtitleFiles[i].path).fileName(), containerLabel(container)),
                 tr("Wählen Sie als Ziel MP4, WebM oder MKV oder brennen Sie die Untertitel in "
                    "das Bild ein, sonst wird die Datei weggelassen.")});
    if (burnsSubtitles(settings) && settings.burnIn.from == BurnIn::From::Source && facts.valid &&
        !burnedSourceStream(settings, facts))
        problems.append(
            {tr("Die Spur %1 zum Einbrennen ist keine Untertitelspur der Datei.").arg(settings.burnIn.index),
             tr("Wählen Sie eine Untertitelspur zum Einbrennen, sonst wird nichts eingebrannt.")});
    return problems;
}
