// Named settings for everyday tasks ("Vorlagen"): the built-in ones and the
// user's own, each of those one small JSON file. Plain functions over plain
// values; the window and `--convert` share them.
#ifndef PRESETS_H
#define PRESETS_H

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "arguments.h"

struct Preset
{
    QString name;
    bool builtIn = false;
    // Only the panel's general fields; what belongs to one file (the range, the
    // track choice) is never part of a preset.
    PanelSettings settings;
};

// The built-in presets, "Teilen" first (the command line's default).
const QList<Preset> &builtInPresets();

// The preset of that name, compared without regard to case; nothing when none.
std::optional<Preset> findPreset(const QList<Preset> &presets, const QString &name);

// The short form of a preset's name, for typing it: the first word of the name
// without what follows " (" and without a leading "Nur Ton: " kind of label
// ("Teilen", "E-Mail", "MP3", "FLAC"), when no other preset of the list has
// that short form; otherwise the whole name.
QString presetShortName(const QList<Preset> &presets, const Preset &preset);

// What a typed name finds: the whole name (any case) first, then a short form,
// then a unique beginning of either. `candidates` holds the presets a beginning
// fits when it fits several (then nothing is found).
struct PresetMatch
{
    std::optional<Preset> found;
    QList<Preset> candidates;
};
PresetMatch matchPreset(const QList<Preset> &presets, const QString &typed);

// The output suffix (with its dot) the preset's codecs write; empty for "copy",
// which keeps the input's own suffix.
QString outputSuffix(const PanelSettings &settings);

// Whether two settings give the same conversion as far as a preset holds them.
bool samePresetSettings(const PanelSettings &a, const PanelSettings &b);

// The folder of the user's presets: ~/.config/quorvid/vorlagen.
QString userPresetFolder();

// The file's text, and reading it back. A text that is no preset, or one of a
// later version, gives an empty preset and the German reason.
QByteArray presetToJson(const Preset &preset);
std::optional<Preset> presetFromJson(const QByteArray &text, QString *reason);

// A file of the folder that could not be taken, and why (German).
struct PresetProblem
{
    QString file;
    QString reason;
};

struct PresetFolder
{
    QList<Preset> presets; // sorted by name
    QStringList files;     // the file of each preset, parallel to presets
    QList<PresetProblem> problems;
};

// Every "*.json" of the folder; a missing folder is an empty one.
PresetFolder loadPresetFolder(const QString &folder);

// Reading and writing one preset file. Writing is atomic (the old file stays
// until the new one is complete); each returns an empty text on success, else
// the German reason.
QString readPresetFile(const QString &path, Preset *preset);
QString writePresetFile(const QString &path, const Preset &preset);

// Saving in the folder: a preset of the same name (any case) is replaced in its
// own file; a new one gets a file of its own, never one that holds anything else.
// The names of the built-in presets are refused.
QString savePreset(const QString &folder, const Preset &preset);
QString renamePreset(const QString &folder, const QString &oldName, const QString &newName);
QString deletePreset(const QString &folder, const QString &name);
// Reads a preset file from anywhere and saves it in the folder; its name on
// success in *name.
QString importPreset(const QString &folder, const QString &path, QString *name = nullptr);

#endif
