// Which streams of a source go into the output: the rules of what each kind of
// output file can hold, the choice made when the user changed nothing, and the
// converter options that carry the choice out.
#ifndef TRACKS_H
#define TRACKS_H

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "arguments.h"
#include "compatibility.h"
#include "mediafacts.h"

// The user's check boxes: stream index -> checked. Only boxes the user changed
// are in it; empty while the user has touched none.
using TrackChecks = QMap<int, bool>;

struct TrackDecision
{
    int index = 0;
    StreamFacts::Kind kind = StreamFacts::Kind::Data;
    bool checked = false;   // what the check box shows
    bool switchable = true; // false: the panel has switched the kind off ("Audio" unchecked)
    bool holdable = false;  // the output file can take the stream
    bool kept = false;      // the stream goes into the output
    QString reason;         // why it stays out (German); empty when kept
    QString instead;        // what the user can do about it, for the question before the start
};

struct TrackPlan
{
    QList<TrackDecision> tracks; // in file order
    // Options to put just before the output path. Empty: the converter picks its
    // streams itself, as it always has.
    QStringList arguments;
    // A cover picture is kept: the "-vn" of an audio-only list must go, or the
    // converter drops the picture.
    bool liftsVideoOff = false;
};

// The codec text subtitles are written with into this kind of output (the
// suffix): "mov_text", "webvtt", or "copy" where they stay as they are
// (Matroska); empty for an output that holds no subtitles.
QString textSubtitleCodec(const QString &container);
// The kind of output as the texts name it: "MP4", "WebM", "AVI", ...
QString containerLabel(const QString &container);

// "Video", "Ton", "Untertitel", "Bild", "Daten", "Anhang".
QString kindLabel(StreamFacts::Kind kind);

// The plan for one source and one output. `container` is the output name's
// suffix (any case, without the dot).
TrackPlan planTracks(const MediaFacts &facts, const PanelSettings &settings, const QString &container,
                     const TrackChecks &checks);

// The argument list with the plan's options placed before the output path (and
// "-vn" removed where a kept cover picture needs it). Unchanged for an empty plan.
QStringList withTracks(const QStringList &arguments, const TrackPlan &plan);

// The checked tracks the output cannot take, and a list that would keep no stream
// at all, in the words of the question asked before a conversion starts.
QList<Problem> trackProblems(const MediaFacts &facts, const TrackPlan &plan);

#endif
