// Turning the settings panel into a converter argument list, and proposing
// output file names. Plain functions over plain values: no widget in sight.
#ifndef ARGUMENTS_H
#define ARGUMENTS_H

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// A subtitle file added to a job: it becomes a subtitle track of the output
// (subtitlefiles.h reads such files and guesses their language).
struct AddedSubtitle
{
    QString path;
    QString language; // the three-letter tag written into the output; empty: none
    QString title;    // empty: none
    bool forced = false;
    bool operator==(const AddedSubtitle &o) const
    {
        return path == o.path && language == o.language && title == o.title && forced == o.forced;
    }
};

// The one subtitle track burned into the picture: a stream of the source (by its
// index in the file) or an added subtitle file (by its place in the list).
struct BurnIn
{
    enum class From { None, Source, Added };
    From from = From::None;
    int index = -1;
    bool isSet() const { return from != From::None && index >= 0; }
};

// What the settings panel shows, as the argument builder needs it. Texts are the
// spin boxes' displayed texts; indices are combo box indices; the three
// "...Enabled" flags are the effective enabled states of the audio controls.
struct PanelSettings
{
    bool videoOn = true;
    int videoCodec = 0;
    bool dvdPreset = false;
    QString width = QStringLiteral("320");
    QString height = QStringLiteral("240");
    int frameRateIndex = 1;
    int ratio = 0;
    QString videoBitrate = QStringLiteral("8000");
    // Beyond the first codecs: keep the source's frame size (no "-s"), and the
    // quality combo box's index while it is enabled (0: use the bitrate).
    bool originalSize = false;
    int quality = 0;

    bool audioOn = true;
    int audioCodec = 0;
    bool frequencyEnabled = false;
    int sampleRateIndex = 1;
    bool audioBitrateEnabled = false;
    int audioBitrateIndex = 1;
    bool channelsEnabled = false;
    bool stereo = true;

    // Beyond the panel of old; each left at its default changes nothing.
    // The largest frame height (a preset's "höchstens 1080p"): 0 for no limit.
    int maxHeight = 0;
    // Whether to deinterlace; nothing: decided from what the source shows.
    std::optional<bool> deinterlace;
    // The whole output's size in MB; 0: the quality or bitrate chosen above.
    double targetSizeMB = 0;
    // The size above is a limit, not a target: the output is made at `quality` and
    // made to the size only when it would be larger.
    bool sizeIsLimit = false;
    // "Von" and "Bis": the part of the file to convert; empty for its ends.
    QString rangeFrom;
    QString rangeTo;
    // The user's own choice of tracks, by stream index; empty: the default rule.
    QMap<int, bool> trackChecks;
    // Picture and sound, each off by default. "Schwarze Ränder entfernen": crop
    // the bars the background look found. "HDR behalten": keep an HDR source as
    // HDR where the target can (else it is tone-mapped to SDR).
    bool removeBars = false;
    bool keepHdr = false;
    // "Lautstärke angleichen": the loudness target in LUFS (-23, -16, -14); 0: off.
    int loudnessTarget = 0;
    // Subtitle files added as tracks, in the order added; empty: none.
    QList<AddedSubtitle> subtitleFiles;
    // A subtitle track burned into the picture; none by default.
    BurnIn burnIn;
    // A preset's choice: a subtitle file beside each input with the same base
    // name is added to its job (--convert).
    bool subtitlesBeside = false;
};

// Converter values, parallel to the items of the combo boxes of the same name
// (the codec combo boxes' values are in their table, codecs.h). An empty value
// ("Original") emits no option at all.
extern const QStringList frameRateValues;
extern const QStringList ratioValues;
extern const QStringList audioBitrateValues;
extern const QStringList frequencyValues;

// The "Original" items appended to the frame-rate and aspect combo boxes.
constexpr int originalFrameRateIndex = 3;
constexpr int originalRatioIndex = 2;

// The complete argument list: "-y", "-i", source, the video and audio options,
// target. File names stay single, unchanged elements.
QStringList buildArguments(const PanelSettings &settings, const QString &source, const QString &target);

// True when the two names are the same text or name the same existing file
// (symbolic links, "." and ".." parts, doubled separators, hard links, bind mounts).
bool sameFile(const QString &a, const QString &b);

// The proposed output name for `input`, keeping folder and base name of `wanted`
// when it is not empty. `codecSuffix` is the suffix of the chosen codec including
// its dot, or empty for "copy", which keeps the input's own suffix. The copy
// marker "-Kopie" is dropped from the file's own name (never from a folder) and
// put back only when the result would name the input itself.
QString proposeOutputName(const QString &input, const QString &wanted, const QString &codecSuffix);

#endif
