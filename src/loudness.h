// Even loudness ("Lautstärke angleichen"): a job that normalises its sound runs
// the converter twice, first to measure each kept audio track (loudnorm's report
// as JSON), then to encode with the measured values, so that the whole track is
// raised or lowered evenly (linear) where its peaks allow. Plain functions over
// argument lists; the runner hands the measurement from one run to the next.
#ifndef LOUDNESS_H
#define LOUDNESS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

#include "arguments.h"

// The limit of the true peak, in dBTP, and the loudness range aimed at, in LU.
constexpr int loudnessTruePeak = -1;
constexpr int loudnessRange = 11;

// The choices, parallel to the items of the "Lautstärke angleichen" box: 0 (off),
// -23 LUFS (EBU R128, broadcast), -16 LUFS (podcasts, speech), -14 LUFS (music
// streaming).
const QList<int> &loudnessTargets();
// The box's item of a target; 0 (off) for a value it does not offer.
int loudnessTargetIndex(int lufs);

// Whether a job of these settings normalises its sound: a target is chosen and
// the sound is encoded ("copy" passes it on untouched).
bool normalisesLoudness(const PanelSettings &settings);

// Why the settings cannot normalise (audio "copy"), for the question before the
// start; empty when they can or nothing is asked.
QString loudnessCopyProblem(const PanelSettings &settings);

// The measuring run (without the program name) over the audio streams the job
// keeps, given as "-map" values in output order (empty: the one the converter
// picks itself). Writes no file.
QStringList loudnessMeasureRun(const QString &source, const QStringList &audioMaps, int target);

// The encoding run with the sound normalised: one filter per kept audio track
// (`sampleRates` in output order, the rate each track is written at; empty: one
// track the converter picks, at `fallbackRate`), placed before the output name.
// Until the measurement is known, each filter normalises on its own as it goes.
QStringList withLoudness(const QStringList &run, int target, const QList<int> &sampleRates, int fallbackRate);

// What the measuring run found for one track: loudnorm's own texts, as it wants
// them back.
struct LoudnessMeasurement
{
    QString integrated;  // input_i, LUFS
    QString truePeak;    // input_tp, dBTP
    QString range;       // input_lra, LU
    QString threshold;   // input_thresh, LUFS
    QString offset;      // target_offset, LU
    bool silent = false; // nothing to measure: the track is left to normalise as it goes
};

// How many tracks a run measures; 0 for any other run.
int measuredTrackCount(const QStringList &run);

// The measurements of the tracks, in output order, read from the measuring run's
// report; tracks without a report are missing from the list.
QList<LoudnessMeasurement> parseLoudnessReport(QStringView report);

// The run with each track's filter given its measured values (linear where the
// peaks allow, else the filter itself falls back to normalising as it goes).
QStringList withMeasuredLoudness(const QStringList &run, const QList<LoudnessMeasurement> &measured);

// What one job's runs hand on from its measuring run to the runs after it: the
// runner feeds it each run's report and asks it for the run to start.
class LoudnessHandover
{
public:
    // A new job: nothing measured yet.
    void reset() { *this = LoudnessHandover(); }
    // The run to start in place of `run`: with the measured values once known.
    QStringList prepare(const QStringList &run);
    // The converter's report of the run going on.
    void feed(const QByteArray &bytes);
    // After a run that ended well: empty, or the German reason the job fails
    // (a measuring run that gave fewer measurements than it measures tracks).
    QString runEnded();

private:
    int m_expected = 0; // tracks the running run measures; 0: it measures none
    QByteArray m_report;
    QList<LoudnessMeasurement> m_measured;
};

#endif
