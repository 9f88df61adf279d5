#include "tracks.h"

#include <QCoreApplication>
#include <algorithm>

#include "codecs.h"
#include "subtitlejob.h"

using namespace Qt::StringLiterals;
using Kind = StreamFacts::Kind;

namespace {

enum class Subtitles { None, MovText, WebVtt, AsTheyAre };
constexpr int many = 1000;

// What each kind of output file holds, measured with Debian 12's ffmpeg 5.1. Text
// subtitles are converted to what the file takes; only Matroska keeps picture
// subtitles, fonts and other attachments. Covers are kept in audio files only: in
// a video file the video options of the list would be applied to them.
struct Container
{
    const char16_t *suffixes;
    const char16_t *name; // as the texts name it
    int videoTracks;
    int audioTracks;
    Subtitles subtitles;
    bool covers;
    bool attachments;
    bool handlerTitles;      // a track's title is stored as its handler name (MP4)
    bool convertersVideo;    // the converter picks a video stream of its own
    bool convertersSubtitle; // ... and the first text subtitle
};

// clang-format off
const Container containers[] = {
    {u"mp4 m4v mov",  u"MP4",  many, many, Subtitles::MovText,   false, false, true,  true,  false},
    {u"m4a",          u"M4A",  0,    many, Subtitles::None,      true,  false, true,  false, false},
    {u"mkv",          u"MKV",  many, many, Subtitles::AsTheyAre, false, true,  false, true,  true},
    {u"webm",         u"WebM", many, many, Subtitles::WebVtt,    false, false, false, true,  true},
    {u"avi",          u"AVI",  many, many, Subtitles::None,      false, false, false, true,  false},
    {u"mpg mpeg vob", u"MPEG", many, many, Subtitles::None,      false, false, false, true,  false},
    {u"flv",          u"FLV",  1,    1,    Subtitles::None,      false, false, false, true,  false},
    {u"mp3",          u"MP3",  0,    1,    Subtitles::None,      true,  false, false, true,  false},
    {u"flac",         u"FLAC", 0,    1,    Subtitles::None,      true,  false, false, true,  false},
    {u"ogg oga opus", u"Ogg",  0,    many, Subtitles::None,      false, false, false, false, false},
    {u"wav",          u"WAV",  0,    1,    Subtitles::None,      false, false, false, false, false},
    {u"mp2 ac3",      u"Audio", 0,   1,    Subtitles::None,      false, false, false, false, false},
};
// Any other suffix: the user typed it; streams of the usual kinds, no extras.
const Container otherContainer =
    {u"", u"Ziel", many, many, Subtitles::None, false, false, false, true, false};
// clang-format on

enum class Refusal {
    None,
    VideoOff,
    AudioOff,
    NoVideo,
    OneVideo,
    OneAudio,
    AudioCodec, // the file does not take the source's audio codec unconverted
    NoSubtitles,
    BitmapSubtitle,
    NoCover,
    NoAttachment,
    DataTrack,
    ConvertersChoice, // left out by the converter's own choice of streams
    FurtherVideo,     // a second video: not kept unless the user checks it
    NotChosen,        // another stream not kept unless the user checks it
};

// %1 is the output file kind, e.g. "MP4".
struct RefusalText
{
    Refusal refusal;
    const char *reason;
    const char *instead;
};

// clang-format off
const RefusalText refusalTexts[] = {
    {Refusal::VideoOff, QT_TRANSLATE_NOOP("Tracks", "Video ist ausgeschaltet."),
     QT_TRANSLATE_NOOP("Tracks", "Schalten Sie Video ein.")},
    {Refusal::AudioOff, QT_TRANSLATE_NOOP("Tracks", "Audio ist ausgeschaltet."),
     QT_TRANSLATE_NOOP("Tracks", "Schalten Sie Audio ein.")},
    {Refusal::NoVideo, QT_TRANSLATE_NOOP("Tracks", "%1-Dateien nehmen kein Video auf."),
     QT_TRANSLATE_NOOP("Tracks", "Wählen Sie einen Video-Codec, sonst wird die Spur weggelassen.")},
    {Refusal::OneVideo, QT_TRANSLATE_NOOP("Tracks", "%1-Dateien nehmen nur eine Videospur auf."),
     QT_TRANSLATE_NOOP("Tracks", "Lassen Sie nur eine Videospur angekreuzt, sonst wird diese weggelassen.")},
    {Refusal::OneAudio, QT_TRANSLATE_NOOP("Tracks", "%1-Dateien nehmen nur eine Tonspur auf."),
     QT_TRANSLATE_NOOP("Tracks", "Lassen Sie nur eine Tonspur angekreuzt, sonst wird diese weggelassen.")},
    {Refusal::NoSubtitles, QT_TRANSLATE_NOOP("Tracks", "%1-Dateien nehmen keine Untertitel auf."),
     QT_TRANSLATE_NOOP("Tracks", "Wählen Sie einen Video-Codec für MP4, WebM oder MKV, sonst wird die "
                                 "Spur weggelassen.")},
    {Refusal::BitmapSubtitle, QT_TRANSLATE_NOOP("Tracks", "Bild-Untertitel nehmen nur MKV-Dateien auf."),
     QT_TRANSLATE_NOOP("Tracks", "Wählen Sie den Video-Codec „av1“ (MKV), sonst wird die Spur weggelassen.")},
    {Refusal::NoCover, QT_TRANSLATE_NOOP("Tracks", "Titelbilder nehmen hier nur MP3-, M4A- und FLAC-Dateien auf."),
     QT_TRANSLATE_NOOP("Tracks", "Wählen Sie als Ziel MP3, M4A (aac) oder FLAC, sonst wird das Bild "
                                 "weggelassen.")},
    {Refusal::NoAttachment, QT_TRANSLATE_NOOP("Tracks", "Anhänge (z. B. Schriften) nehmen nur MKV-Dateien auf."),
     QT_TRANSLATE_NOOP("Tracks", "Wählen Sie den Video-Codec „av1“ (MKV), sonst wird der Anhang weggelassen.")},
    {Refusal::DataTrack, QT_TRANSLATE_NOOP("Tracks", "Datenspuren (z. B. Zeitcode, GPS) kann ffmpeg nicht in die "
                                                     "neue Datei übernehmen."),
     QT_TRANSLATE_NOOP("Tracks", "Entfernen Sie das Häkchen, sonst wird die Spur weggelassen.")},
    {Refusal::ConvertersChoice, QT_TRANSLATE_NOOP("Tracks", "Ohne Ihre Auswahl nimmt ffmpeg je Art nur eine Spur."),
     QT_TRANSLATE_NOOP("Tracks", "Setzen Sie ein Häkchen, um die Spur zu behalten.")},
    {Refusal::FurtherVideo, QT_TRANSLATE_NOOP("Tracks", "Weitere Videospur: nur mit Häkchen übernommen."),
     QT_TRANSLATE_NOOP("Tracks", "Setzen Sie ein Häkchen, um die Spur zu behalten.")},
    {Refusal::NotChosen, QT_TRANSLATE_NOOP("Tracks", "Nicht vorausgewählt: nur mit Häkchen übernommen."),
     QT_TRANSLATE_NOOP("Tracks", "Setzen Sie ein Häkchen, um die Spur zu behalten.")},
};
// clang-format on

QString tr(const char *text)
{
    return QCoreApplication::translate("Tracks", text);
}

struct Judgement
{
    Refusal refusal = Refusal::None;
    QString reason;
    QString instead;
};

Judgement judgement(Refusal refusal, const Container &c)
{
    for (const RefusalText &text : refusalTexts)
        if (text.refusal == refusal)
            return {refusal, tr(text.reason).replace(u"%1"_s, QString::fromUtf16(c.name)), tr(text.instead)};
    return {};
}

const Container &containerFor(const QString &suffix)
{
    const QString lower = suffix.toLower();
    for (const Container &c : containers)
        if (!lower.isEmpty() && QStringView(c.suffixes).split(u' ').contains(QStringView(lower)))
            return c;
    return otherContainer;
}

// The new codecs get the new policy; the first ones keep the converter's own
// choice until the user changes a check box.
bool modernTarget(const PanelSettings &s)
{
    if (s.videoOn)
        return !s.dvdPreset && videoCodec(s.videoCodec).modern;
    return s.audioOn && audioCodec(s.audioCodec).modern;
}

bool switchedOn(const StreamFacts &s, const PanelSettings &settings)
{
    if (s.kind == Kind::Video)
        return settings.videoOn;
    if (s.kind == Kind::Audio)
        return settings.audioOn;
    return true;
}

struct Counts
{
    int video = 0;
    int audio = 0;
};

// Whether the output can take the stream besides what is kept already.
Judgement judge(const StreamFacts &s, const Counts &kept, const PanelSettings &settings, const Container &c,
                const QString &suffix)
{
    switch (s.kind) {
    case Kind::Video:
        if (c.videoTracks == 0)
            return judgement(Refusal::NoVideo, c);
        return kept.video >= c.videoTracks ? judgement(Refusal::OneVideo, c) : Judgement();
    case Kind::Audio:
        if (settings.audioCodec == 0) {
            // Copied as it is: the table of what containers refuse decides.
            OutputFacts facts;
            facts.container = suffix.toLower();
            facts.audio = true;
            facts.audioCodec = s.codec;
            facts.sampleRate = s.sampleRate;
            const QList<Problem> problems = findProblems(facts);
            if (!problems.isEmpty())
                return {Refusal::AudioCodec, problems.first().reason, problems.first().instead};
        }
        return kept.audio >= c.audioTracks ? judgement(Refusal::OneAudio, c) : Judgement();
    case Kind::Subtitle:
        if (c.subtitles == Subtitles::None)
            return judgement(Refusal::NoSubtitles, c);
        if (s.bitmapSubtitle && c.subtitles != Subtitles::AsTheyAre)
            return judgement(Refusal::BitmapSubtitle, c);
        return {};
    case Kind::Picture:
        return c.covers ? Judgement() : judgement(Refusal::NoCover, c);
    case Kind::Attachment:
        return c.attachments ? Judgement() : judgement(Refusal::NoAttachment, c);
    case Kind::Data:
        return judgement(Refusal::DataTrack, c);
    }
    return {};
}

// The streams the converter takes when it is given no "-map": the biggest video
// (a cover only when nothing else is there), the audio with the most channels, a
// default-flagged stream preferred, and in Matroska and WebM the first text
// subtitle. The same scores as ffmpeg 5.1 uses.
QList<int> convertersChoice(const MediaFacts &facts, const PanelSettings &settings, const Container &c)
{
    QList<int> chosen;
    auto best = [&facts](auto score) {
        qint64 bestScore = 0;
        int index = -1;
        for (const StreamFacts &s : facts.streams) {
            const qint64 value = score(s);
            if (value > bestScore) {
                bestScore = value;
                index = s.index;
            }
        }
        return index;
    };
    constexpr qint64 defaultBonus = 5000000;
    if (settings.videoOn && c.convertersVideo)
        chosen << best([&c](const StreamFacts &s) -> qint64 {
            if (s.kind != Kind::Video && s.kind != Kind::Picture)
                return 0;
            const qint64 size = s.kind == Kind::Picture && !c.covers ? 1 : qint64(s.width) * s.height;
            return size + (s.isDefault ? defaultBonus : 0);
        });
    if (settings.audioOn)
        chosen << best([](const StreamFacts &s) -> qint64 {
            return s.kind == Kind::Audio ? s.channels + (s.isDefault ? defaultBonus : 0) : 0;
        });
    if (c.convertersSubtitle)
        for (const StreamFacts &s : facts.streams)
            if (s.kind == Kind::Subtitle && !s.bitmapSubtitle) {
                chosen << s.index;
                break;
            }
    return chosen;
}

// What the new codecs keep when the user changed nothing: the first video, every
// audio track, subtitles, covers and attachments; never data tracks. Whether the
// output takes them (and how many) is judged afterwards.
QList<int> policyChoice(const MediaFacts &facts)
{
    QList<int> chosen;
    bool videoTaken = false;
    for (const StreamFacts &s : facts.streams) {
        if (s.kind == Kind::Video) {
            if (!videoTaken)
                chosen << s.index;
            videoTaken = true;
        } else if (s.kind != Kind::Data) {
            chosen << s.index;
        }
    }
    return chosen;
}

// Titles and line ends cannot travel in an argument list: a job is stored as its
// arguments joined with commas, one job per line.
bool storable(const QString &text)
{
    return !text.contains(u',') && !text.contains(u'\n') && !text.contains(u'\r');
}

QStringList trackArguments(const MediaFacts &facts, const TrackPlan &plan, const Container &c)
{
    QStringList args;
    QStringList options;
    bool subtitles = false;
    QStringList coverCodecs;
    bool timeCodeDropped = false;
    int output = 0;
    int videoOutput = 0; // the output's video streams, covers among them
    for (qsizetype i = 0; i < plan.tracks.size(); ++i) {
        const TrackDecision &d = plan.tracks[i];
        const StreamFacts &s = facts.streams[i];
        if (!d.kept) {
            timeCodeDropped = timeCodeDropped || (s.kind == Kind::Data && s.codec == u"tmcd"_s);
            continue;
        }
        args << u"-map"_s << u"0:"_s + QString::number(s.index);
        subtitles = subtitles || s.kind == Kind::Subtitle;
        // A cover goes as it is, and only the cover: the film beside it is encoded.
        if (s.kind == Kind::Picture)
            coverCodecs << u"-c:v:"_s + QString::number(videoOutput) << u"copy"_s;
        if (s.kind == Kind::Video || s.kind == Kind::Picture)
            ++videoOutput;
        // MP4 keeps a track's name only as its handler name.
        if (c.handlerTitles && s.kind != Kind::Picture && !s.title.isEmpty() && storable(s.title))
            options << u"-metadata:s:"_s + QString::number(output) << u"handler_name="_s + s.title;
        ++output;
    }
    // Every box unchecked: no "-map" would let the converter pick streams itself.
    // Switching every kind off makes it refuse with "does not contain any stream".
    if (output == 0)
        return {u"-vn"_s, u"-an"_s, u"-sn"_s, u"-dn"_s};
    if (subtitles) {
        static const QStringList codecs{{}, u"mov_text"_s, u"webvtt"_s, u"copy"_s};
        args << u"-c:s"_s << codecs.value(int(c.subtitles));
    }
    args << coverCodecs;
    // MP4 writes a time code track of its own from the video's time code tag.
    if (timeCodeDropped && c.handlerTitles)
        args << u"-write_tmcd"_s << u"0"_s;
    return args + options;
}

} // namespace

QString textSubtitleCodec(const QString &container)
{
    static const QStringList codecs{{}, u"mov_text"_s, u"webvtt"_s, u"copy"_s};
    return codecs.value(int(containerFor(container).subtitles));
}

QString containerLabel(const QString &container)
{
    return QString::fromUtf16(containerFor(container).name);
}

QString kindLabel(StreamFacts::Kind kind)
{
    switch (kind) {
    case Kind::Video:
        return tr("Video");
    case Kind::Audio:
        return tr("Ton");
    case Kind::Subtitle:
        return tr("Untertitel");
    case Kind::Picture:
        return tr("Bild");
    case Kind::Data:
        return tr("Daten");
    case Kind::Attachment:
        return tr("Anhang");
    }
    return {};
}

TrackPlan planTracks(const MediaFacts &facts, const PanelSettings &settings, const QString &container,
                     const TrackChecks &checks)
{
    TrackPlan plan;
    if (!facts.valid || facts.streams.isEmpty())
        return plan;
    const Container &c = containerFor(container);
    // With the first codecs, the boxes the user left alone stay as the converter
    // would have chosen, even once the user has changed others.
    const bool modern = modernTarget(settings);
    // Added subtitle files and burned subtitles need the streams named: the
    // converter's own choice is then spelled out.
    const bool converterDecides =
        !modern && checks.isEmpty() && settings.subtitleFiles.isEmpty() && !settings.burnIn.isSet();
    const QList<int> defaults = modern ? policyChoice(facts) : convertersChoice(facts, settings, c);

    for (const StreamFacts &s : facts.streams) {
        TrackDecision d;
        d.index = s.index;
        d.kind = s.kind;
        d.switchable = switchedOn(s, settings);
        d.checked = d.switchable && checks.value(s.index, defaults.contains(s.index));
        plan.tracks << d;
    }

    // The user's own checks first, then the default-flagged streams, then the
    // rest, each in file order: where only one audio track fits, the one the user
    // checked wins, else the default one.
    Counts kept;
    auto keep = [&](auto admitted) {
        for (qsizetype i = 0; i < plan.tracks.size(); ++i) {
            TrackDecision &d = plan.tracks[i];
            if (!d.checked || d.kept || !d.reason.isEmpty() || !admitted(d, facts.streams[i]))
                continue;
            const bool userChecked = checks.contains(d.index);
            const Judgement j = judge(facts.streams[i], kept, settings, c, container);
            d.holdable = j.refusal == Refusal::None;
            // The converter's own choice is what it is; the plan only describes it.
            d.kept = d.holdable || converterDecides;
            if (!d.kept && !userChecked)
                d.checked = false;
            d.reason = d.kept ? QString() : j.reason;
            d.instead = d.kept ? QString() : j.instead;
            kept.video += d.kept && d.kind == Kind::Video;
            kept.audio += d.kept && d.kind == Kind::Audio;
        }
    };
    // The track burned into the picture is not kept as a track as well.
    if (burnsSubtitles(settings) && settings.burnIn.from == BurnIn::From::Source)
        for (TrackDecision &d : plan.tracks)
            if (d.index == settings.burnIn.index && d.kind == Kind::Subtitle) {
                d.checked = false;
                d.reason = tr("Wird in das Bild eingebrannt.");
            }
    keep([&checks](const TrackDecision &d, const StreamFacts &) { return checks.contains(d.index); });
    keep([](const TrackDecision &, const StreamFacts &s) { return s.isDefault; });
    keep([](const TrackDecision &, const StreamFacts &) { return true; });

    for (qsizetype i = 0; i < plan.tracks.size(); ++i) {
        TrackDecision &d = plan.tracks[i];
        if (d.kept || !d.reason.isEmpty())
            continue;
        const Judgement j = judge(facts.streams[i], kept, settings, c, container);
        d.holdable = j.refusal == Refusal::None;
        Judgement why = j;
        if (!d.switchable)
            why = judgement(d.kind == Kind::Video ? Refusal::VideoOff : Refusal::AudioOff, c);
        else if (checks.contains(d.index) && d.holdable)
            why = {}; // the user's own choice needs no explanation
        else if (d.holdable)
            why = judgement(converterDecides        ? Refusal::ConvertersChoice
                            : d.kind == Kind::Video ? Refusal::FurtherVideo
                                                    : Refusal::NotChosen,
                            c);
        d.reason = why.reason;
        d.instead = why.instead;
    }

    if (!converterDecides) {
        plan.arguments = trackArguments(facts, plan, c);
        plan.liftsVideoOff =
            !settings.videoOn && std::any_of(plan.arguments.cbegin(), plan.arguments.cend(),
                                             [](const QString &a) { return a.startsWith(u"-c:v:"_s); });
    }
    return plan;
}

QStringList withTracks(const QStringList &arguments, const TrackPlan &plan)
{
    if (plan.arguments.isEmpty() || arguments.size() < 4)
        return arguments;
    QStringList result = arguments;
    if (plan.liftsVideoOff) {
        // Only options between "-i INPUT" and the output name; never a file name.
        for (qsizetype i = result.size() - 2; i >= 3; --i)
            if (result[i] == u"-vn"_s)
                result.removeAt(i);
    }
    const QString output = result.takeLast();
    return result + plan.arguments + QStringList{output};
}

QList<Problem> trackProblems(const MediaFacts &facts, const TrackPlan &plan)
{
    QList<Problem> problems;
    bool anyKept = false;
    for (qsizetype i = 0; i < plan.tracks.size() && i < facts.streams.size(); ++i) {
        const TrackDecision &d = plan.tracks[i];
        const StreamFacts &s = facts.streams[i];
        anyKept = anyKept || d.kept;
        if (!d.checked || !d.switchable || d.kept)
            continue;
        QStringList what{kindLabel(s.kind)};
        if (!s.codec.isEmpty())
            what << s.codec;
        if (!s.language.isEmpty())
            what << s.language;
        problems.append(
            {tr("Spur %1 (%2): %3").arg(QString::number(s.index), what.join(u", "_s), d.reason), d.instead});
    }
    if (!plan.arguments.isEmpty() && !anyKept)
        problems.append({tr("Keine Spur ist angekreuzt: die Ausgabedatei bliebe leer."),
                         tr("Setzen Sie bei mindestens einer Spur ein Häkchen.")});
    return problems;
}
