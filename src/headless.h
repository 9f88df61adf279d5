// Converting without a window: a saved batch list (`quorvid --run LIST.btc`) or
// files with a preset (`quorvid --convert FILE...`), on the terminal.
#ifndef HEADLESS_H
#define HEADLESS_H

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "presets.h"

// True when the command line asks for a run without a window, or for the list
// of presets.
bool wantsHeadlessRun(int argc, char **argv);

// Runs the jobs and returns the exit status: 0 when every job succeeded (or was
// skipped), 1 when any failed, 2 for a wrong call or a missing converter, 130
// after an interrupt (Ctrl+C), 143 after a termination request.
int runHeadless(int argc, char **argv);

// The output name of each input for --convert: beside the input, or in
// `outputDir` when it is not empty, with the codec's suffix. A name that another
// input has, or an earlier output, gets "-2", "-3", ... before its suffix.
QStringList outputNames(const QStringList &inputs, const QString &outputDir, const QString &suffix);

// The inputs --convert takes from the files found: a file that another of them
// would write (its output of this very run, or of an earlier run with the same
// call: "bear.mp3" beside "bear.wav") is left out, and named in `outputsOfOthers`.
struct ConvertInputs
{
    QStringList inputs;
    QStringList outputsOfOthers;
};
ConvertInputs convertInputs(const QStringList &files, const QString &outputDir, const QString &suffix);

// The built-in presets and the user's own; damaged files of the user's are
// named on standard error.
QList<Preset> commandLinePresets();
// The preset a typed name finds (see matchPreset); when none, the offered
// names are printed on standard error.
std::optional<Preset> commandLinePreset(const QList<Preset> &presets, const QString &typed);

#endif
