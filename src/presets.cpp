#include "presets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>

#include "codecs.h"
#include "loudness.h"
#include "wholefile.h"

using namespace Qt::StringLiterals;

namespace {
constexpr int fileVersion = 1;
const QString formatName = u"quorvid-vorlage"_s;
const QString original = u"original"_s;

// The combo box index of an item value the presets use.
int bitrate(const QString &value)
{
    return int(audioBitrateValues.indexOf(value));
}

int sampleRate(const QString &value)
{
    return int(frequencyValues.indexOf(value));
}

// The audio controls on exactly as the panel turns them on for the codec, so
// that the window shows the same preset as the command line runs.
void setAudio(PanelSettings &s, const QString &encoder, int sampleRateIndex, int audioBitrateIndex)
{
    s.audioCodec = audioCodecIndex(encoder);
    const AudioControls controls = audioCodec(s.audioCodec).controls;
    s.frequencyEnabled = controls.frequency;
    s.sampleRateIndex = sampleRateIndex;
    s.audioBitrateEnabled = controls.bitrate;
    s.audioBitrateIndex = audioBitrateIndex;
    s.channelsEnabled = controls.channels;
}

// A video preset of today's codecs: the source's own size, rate and shape at a
// constant quality, never taller than `maxHeight`.
PanelSettings modernVideo(const QString &encoder, int quality, int maxHeight, const QString &audioEncoder,
                          const QString &audioBitrate)
{
    PanelSettings s;
    s.videoCodec = videoCodecIndex(encoder);
    s.originalSize = true;
    s.frameRateIndex = originalFrameRateIndex;
    s.ratio = originalRatioIndex;
    s.quality = quality;
    s.maxHeight = maxHeight;
    setAudio(s, audioEncoder, sampleRate(u"48000"_s), bitrate(audioBitrate));
    return s;
}

PanelSettings audioOnly(const QString &encoder, const QString &rate, const QString &audioBitrate)
{
    PanelSettings s;
    s.videoOn = false;
    setAudio(s, encoder, sampleRate(rate), bitrate(audioBitrate));
    return s;
}

// What the panel's PAL-DVD check box sets.
PanelSettings palDvd()
{
    PanelSettings s;
    s.dvdPreset = true;
    s.videoCodec = videoCodecIndex(u"mpeg2video"_s);
    s.width = u"720"_s;
    s.height = u"576"_s;
    s.frameRateIndex = 1;
    s.ratio = 1; // 16:9, as most sources of today
    setAudio(s, u"ac3"_s, sampleRate(u"48000"_s), bitrate(u"224k"_s));
    return s;
}

QString slugFor(const QString &name)
{
    // A readable file name of letters, digits and dashes.
    QString slug;
    for (const QChar c : name.toLower()) {
        if (c.isLetterOrNumber())
            slug += c;
        else if (!slug.endsWith(u'-'))
            slug += u'-';
    }
    while (slug.endsWith(u'-'))
        slug.chop(1);
    while (slug.startsWith(u'-'))
        slug.remove(0, 1);
    return slug.isEmpty() ? u"vorlage"_s : slug.left(60);
}

// The value of a combo box item in the file, or "original" for the empty one.
QJsonValue tableValue(const QStringList &table, int index)
{
    const QString value = table.value(index);
    return value.isEmpty() ? QJsonValue(original) : QJsonValue(value);
}

// The item of a value read from a file; -1 when the table has none.
int tableIndex(const QStringList &table, const QJsonValue &value)
{
    if (!value.isString())
        return -1;
    const QString text = value.toString();
    return int(table.indexOf(text == original ? QString() : text));
}

bool isNumberText(const QJsonValue &value)
{
    bool ok = false;
    const int number = value.toString().toInt(&ok);
    return value.isString() && ok && number > 0 && number < 100000;
}

QString nameProblem(const QString &folder, const QString &name, const QString &except)
{
    if (name.trimmed().isEmpty())
        return u"Bitte geben Sie der Vorlage einen Namen."_s;
    if (findPreset(builtInPresets(), name))
        return u"„%1“ ist der Name einer eingebauten Vorlage. Bitte wählen Sie einen anderen Namen."_s.arg(
            name);
    const PresetFolder loaded = loadPresetFolder(folder);
    const std::optional<Preset> other = findPreset(loaded.presets, name);
    if (other && other->name.compare(except, Qt::CaseInsensitive) != 0)
        return u"Es gibt schon eine Vorlage „%1“. Bitte wählen Sie einen anderen Namen."_s.arg(other->name);
    return {};
}

// The file of the folder's preset of that name, or empty.
QString fileOf(const PresetFolder &loaded, const QString &name)
{
    for (qsizetype i = 0; i < loaded.presets.size(); ++i)
        if (loaded.presets[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return loaded.files[i];
    return {};
}
} // namespace

const QList<Preset> &builtInPresets()
{
    static const QList<Preset> presets = [] {
        const QString h264 = u"libx264"_s, aac = u"aac"_s;
        PanelSettings email = modernVideo(h264, defaultQualityIndex, 720, aac, u"64k"_s);
        // At most 25 MB: a file that fits at the preset's quality stays as small as
        // that quality makes it; only a larger one is made to the size.
        email.targetSizeMB = 25;
        email.sizeIsLimit = true;
        // The archive keeps an HDR picture as it is, with its flags; the presets
        // for sharing make it SDR, which every player shows right.
        PanelSettings archive = modernVideo(u"libx265"_s, 2, 0, aac, u"224k"_s);
        archive.keepHdr = true;
        return QList<Preset>{
            {u"Teilen (H.264/AAC, höchstens 1080p)"_s, true,
             modernVideo(h264, defaultQualityIndex, 1080, aac, u"192k"_s)},
            {u"E-Mail (höchstens 25 MB)"_s, true, email},
            {u"Archiv (H.265, hohe Qualität, alle Spuren)"_s, true, archive},
            {u"Web (VP9/Opus)"_s, true,
             modernVideo(u"libvpx-vp9"_s, defaultQualityIndex, 1080, u"libopus"_s, u"128k"_s)},
            {u"Nur Ton: MP3 192 kbit/s"_s, true, audioOnly(u"libmp3lame"_s, u"44100"_s, u"192k"_s)},
            {u"Nur Ton: FLAC"_s, true, audioOnly(u"flac"_s, u"44100"_s, u"192k"_s)},
            {u"DVD (PAL)"_s, true, palDvd()},
        };
    }();
    return presets;
}

namespace {
QString shortCandidate(const QString &name)
{
    QString text = name.section(u" ("_s, 0, 0);
    if (const qsizetype label = text.indexOf(u": "_s); label >= 0)
        text = text.mid(label + 2);
    return text.section(u' ', 0, 0, QString::SectionSkipEmpty);
}
} // namespace

QString presetShortName(const QList<Preset> &presets, const Preset &preset)
{
    const QString candidate = shortCandidate(preset.name);
    const auto clashes = [&](const Preset &other) {
        return other.name != preset.name &&
               (shortCandidate(other.name).compare(candidate, Qt::CaseInsensitive) == 0 ||
                other.name.compare(candidate, Qt::CaseInsensitive) == 0);
    };
    if (candidate.isEmpty() || std::any_of(presets.begin(), presets.end(), clashes))
        return preset.name;
    return candidate;
}

PresetMatch matchPreset(const QList<Preset> &presets, const QString &typed)
{
    PresetMatch match;
    const QString wanted = typed.trimmed();
    if (wanted.isEmpty())
        return match;
    if ((match.found = findPreset(presets, wanted)))
        return match;
    for (const Preset &preset : presets)
        if (presetShortName(presets, preset).compare(wanted, Qt::CaseInsensitive) == 0)
            return {preset, {}};
    for (const Preset &preset : presets)
        if (preset.name.startsWith(wanted, Qt::CaseInsensitive) ||
            presetShortName(presets, preset).startsWith(wanted, Qt::CaseInsensitive))
            match.candidates << preset;
    if (match.candidates.size() == 1) {
        match.found = match.candidates.first();
        match.candidates.clear();
    }
    return match;
}

std::optional<Preset> findPreset(const QList<Preset> &presets, const QString &name)
{
    const QString wanted = name.trimmed();
    for (const Preset &preset : presets)
        if (preset.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return preset;
    return std::nullopt;
}

QString outputSuffix(const PanelSettings &s)
{
    return s.videoOn ? videoCodec(s.videoCodec).suffix : audioCodec(s.audioCodec).suffix;
}

bool samePresetSettings(const PanelSettings &a, const PanelSettings &b)
{
    // Compared through the file form: exactly what a preset keeps.
    return presetToJson({QString(), false, a}) == presetToJson({QString(), false, b});
}

QString userPresetFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/quorvid/vorlagen"_s;
}

QByteArray presetToJson(const Preset &preset)
{
    const PanelSettings &s = preset.settings;
    QJsonObject o;
    o[u"format"_s] = formatName;
    o[u"version"_s] = fileVersion;
    o[u"name"_s] = preset.name;
    o[u"video"_s] = s.videoOn;
    o[u"videoCodec"_s] = videoCodec(s.videoCodec).encoder;
    o[u"palDvd"_s] = s.dvdPreset;
    o[u"originalSize"_s] = s.originalSize;
    o[u"width"_s] = s.width;
    o[u"height"_s] = s.height;
    o[u"maxHeight"_s] = s.maxHeight;
    o[u"frameRate"_s] = tableValue(frameRateValues, s.frameRateIndex);
    o[u"aspect"_s] = tableValue(ratioValues, s.ratio);
    o[u"quality"_s] = s.quality;
    o[u"videoBitrate"_s] = s.videoBitrate;
    o[u"targetSizeMB"_s] = s.targetSizeMB;
    // Written only for a limit, so that every other preset's file stays as before;
    // a file without it holds a size to fill.
    if (s.sizeIsLimit)
        o[u"sizeIsLimit"_s] = true;
    // Likewise only when set: subtitle files beside each input are added.
    if (s.subtitlesBeside)
        o[u"subtitlesBeside"_s] = true;
    o[u"deinterlace"_s] = s.deinterlace ? QJsonValue(*s.deinterlace) : QJsonValue(u"auto"_s);
    o[u"audio"_s] = s.audioOn;
    o[u"audioCodec"_s] = audioCodec(s.audioCodec).encoder;
    // A control the panel leaves off for the codec is not written at all.
    if (s.frequencyEnabled)
        o[u"sampleRate"_s] = frequencyValues.value(s.sampleRateIndex);
    if (s.audioBitrateEnabled)
        o[u"audioBitrate"_s] = audioBitrateValues.value(s.audioBitrateIndex);
    if (s.channelsEnabled)
        o[u"channels"_s] = s.stereo ? 2 : 1;
    // Picture and sound: written only when on, so that files without them stay
    // as before and older files load with them off.
    if (s.removeBars)
        o[u"removeBars"_s] = true;
    if (s.keepHdr)
        o[u"keepHdr"_s] = true;
    if (s.loudnessTarget != 0)
        o[u"loudness"_s] = s.loudnessTarget;
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<Preset> presetFromJson(const QByteArray &text, QString *reason)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (document.isNull()) {
        *reason = u"Die Datei ist beschädigt (kein gültiges JSON: %1)."_s.arg(parseError.errorString());
        return std::nullopt;
    }
    const QJsonObject o = document.object();
    if (!document.isObject() || o.value(u"format"_s).toString() != formatName) {
        *reason = u"Die Datei ist keine Quorvid-Vorlage."_s;
        return std::nullopt;
    }
    const int version = o.value(u"version"_s).toInt(0);
    if (version > fileVersion) {
        *reason = u"Die Vorlage stammt von einer neueren Quorvid-Version (Dateiversion %1). Bitte "
                  u"aktualisieren Sie Quorvid, um sie zu benutzen."_s.arg(version);
        return std::nullopt;
    }
    Preset preset;
    PanelSettings &s = preset.settings;
    preset.name = o.value(u"name"_s).toString().trimmed();
    s.videoOn = o.value(u"video"_s).toBool(true);
    s.videoCodec = videoCodecIndex(o.value(u"videoCodec"_s).toString());
    s.dvdPreset = o.value(u"palDvd"_s).toBool(false);
    s.originalSize = o.value(u"originalSize"_s).toBool(false);
    s.width = o.value(u"width"_s).toString();
    s.height = o.value(u"height"_s).toString();
    s.maxHeight = o.value(u"maxHeight"_s).toInt(-1);
    s.frameRateIndex = tableIndex(frameRateValues, o.value(u"frameRate"_s));
    s.ratio = tableIndex(ratioValues, o.value(u"aspect"_s));
    s.quality = o.value(u"quality"_s).toInt(-1);
    s.videoBitrate = o.value(u"videoBitrate"_s).toString();
    s.targetSizeMB = o.value(u"targetSizeMB"_s).toDouble(-1);
    const QJsonValue sizeIsLimit = o.value(u"sizeIsLimit"_s);
    s.sizeIsLimit = sizeIsLimit.toBool(false);
    const QJsonValue subtitlesBeside = o.value(u"subtitlesBeside"_s);
    s.subtitlesBeside = subtitlesBeside.toBool(false);
    const QJsonValue deinterlace = o.value(u"deinterlace"_s);
    if (deinterlace.isBool())
        s.deinterlace = deinterlace.toBool();
    s.audioOn = o.value(u"audio"_s).toBool(true);
    s.audioCodec = audioCodecIndex(o.value(u"audioCodec"_s).toString());
    s.frequencyEnabled = o.contains(u"sampleRate"_s);
    s.sampleRateIndex = s.frequencyEnabled ? sampleRate(o.value(u"sampleRate"_s).toString()) : 1;
    s.audioBitrateEnabled = o.contains(u"audioBitrate"_s);
    s.audioBitrateIndex = s.audioBitrateEnabled ? bitrate(o.value(u"audioBitrate"_s).toString()) : 1;
    const int channels = o.value(u"channels"_s).toInt(2);
    s.channelsEnabled = o.contains(u"channels"_s);
    s.stereo = channels == 2;
    const QJsonValue removeBars = o.value(u"removeBars"_s), keepHdr = o.value(u"keepHdr"_s);
    const QJsonValue loudness = o.value(u"loudness"_s);
    s.removeBars = removeBars.toBool(false);
    s.keepHdr = keepHdr.toBool(false);
    s.loudnessTarget = loudness.toInt(0);
    const bool pictureAndSound = (removeBars.isUndefined() || removeBars.isBool()) &&
                                 (keepHdr.isUndefined() || keepHdr.isBool()) &&
                                 (loudness.isUndefined() || (loudness.isDouble() && s.loudnessTarget != 0 &&
                                                             loudness.toDouble() == s.loudnessTarget &&
                                                             loudnessTargets().contains(s.loudnessTarget)));

    // Every value must be one the panel can show: anything else would give the
    // converter an empty or made-up argument.
    const bool valid = version >= 1 && !preset.name.isEmpty() && s.videoCodec >= 0 && s.audioCodec >= 0 &&
                       isNumberText(o.value(u"width"_s)) && isNumberText(o.value(u"height"_s)) &&
                       isNumberText(o.value(u"videoBitrate"_s)) && s.maxHeight >= 0 &&
                       s.frameRateIndex >= 0 && s.ratio >= 0 && s.quality >= 0 &&
                       s.quality <= qualityLevels && s.targetSizeMB >= 0 && s.sampleRateIndex >= 0 &&
                       s.audioBitrateIndex >= 0 && (channels == 1 || channels == 2) &&
                       (deinterlace.isBool() || deinterlace.toString() == u"auto"_s) &&
                       (sizeIsLimit.isUndefined() || sizeIsLimit.isBool()) && pictureAndSound &&
                       (subtitlesBeside.isUndefined() || subtitlesBeside.isBool());
    if (!valid) {
        *reason = u"Die Vorlage ist beschädigt (ein Wert fehlt oder ist ungültig)."_s;
        return std::nullopt;
    }
    return preset;
}

PresetFolder loadPresetFolder(const QString &folder)
{
    PresetFolder loaded;
    const QFileInfoList entries =
        QDir(folder).entryInfoList({u"*.json"_s}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    QList<std::pair<Preset, QString>> found;
    for (const QFileInfo &entry : entries) {
        Preset preset;
        QString reason = readPresetFile(entry.filePath(), &preset);
        if (reason.isEmpty() && findPreset(builtInPresets(), preset.name))
            reason = u"Sie trägt den Namen einer eingebauten Vorlage."_s;
        if (reason.isEmpty()) {
            for (const auto &[other, file] : std::as_const(found))
                if (other.name.compare(preset.name, Qt::CaseInsensitive) == 0)
                    reason =
                        u"Eine andere Datei (%1) hat schon diesen Namen."_s.arg(QFileInfo(file).fileName());
        }
        if (!reason.isEmpty()) {
            loaded.problems.append({entry.filePath(), reason});
            continue;
        }
        found.append({preset, entry.filePath()});
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first.name.compare(b.first.name, Qt::CaseInsensitive) < 0;
    });
    for (const auto &[preset, file] : std::as_const(found)) {
        loaded.presets << preset;
        loaded.files << file;
    }
    return loaded;
}

QString readPresetFile(const QString &path, Preset *preset)
{
    // A pipe or device would hold the program up on reading: only plain files.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return u"Die Datei kann nicht gelesen werden: Sie ist keine gewöhnliche Datei."_s;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return u"Die Datei kann nicht gelesen werden: %1"_s.arg(file.errorString());
    // A preset is a few hundred bytes; a huge file is something else.
    const QByteArray text = file.read(1 << 20);
    if (file.error() != QFileDevice::NoError)
        return u"Die Datei kann nicht gelesen werden: %1"_s.arg(file.errorString());
    QString reason;
    const std::optional<Preset> read = presetFromJson(text, &reason);
    if (!read)
        return reason;
    *preset = *read;
    preset->builtIn = false;
    return {};
}

QString writePresetFile(const QString &path, const Preset &preset)
{
    const QByteArray content = presetToJson(preset);
    if (const QString error = writeWholeFile(path, content); !error.isEmpty())
        return u"Die Vorlage kann nicht nach %1 geschrieben werden: %2"_s.arg(path, error);
    return {};
}

QString savePreset(const QString &folder, const Preset &preset)
{
    if (const QString problem = nameProblem(folder, preset.name, preset.name); !problem.isEmpty())
        return problem;
    if (!QDir().mkpath(folder))
        return u"Der Ordner %1 kann nicht angelegt werden. Bitte prüfen Sie die Rechte."_s.arg(folder);
    const PresetFolder loaded = loadPresetFolder(folder);
    QString path = fileOf(loaded, preset.name);
    if (path.isEmpty()) {
        // A new file: never one that is there already, damaged or foreign ones included.
        const QString slug = slugFor(preset.name);
        path = folder + u'/' + slug + u".json"_s;
        const auto taken = [](const QString &name) {
            const QFileInfo info(name);
            return info.exists() || info.isSymLink(); // a link to nothing is taken too
        };
        for (int n = 2; taken(path); ++n)
            path = folder + u'/' + slug + u'-' + QString::number(n) + u".json"_s;
    }
    Preset saved = preset;
    saved.name = preset.name.trimmed();
    return writePresetFile(path, saved);
}

QString renamePreset(const QString &folder, const QString &oldName, const QString &newName)
{
    const PresetFolder loaded = loadPresetFolder(folder);
    const std::optional<Preset> preset = findPreset(loaded.presets, oldName);
    if (!preset)
        return u"Die Vorlage „%1“ gibt es nicht (mehr) unter Ihren eigenen Vorlagen."_s.arg(oldName);
    if (const QString problem = nameProblem(folder, newName, oldName); !problem.isEmpty())
        return problem;
    Preset renamed = *preset;
    renamed.name = newName.trimmed();
    return writePresetFile(fileOf(loaded, oldName), renamed);
}

QString deletePreset(const QString &folder, const QString &name)
{
    const PresetFolder loaded = loadPresetFolder(folder);
    const QString path = fileOf(loaded, name);
    if (path.isEmpty())
        return u"Die Vorlage „%1“ gibt es nicht (mehr) unter Ihren eigenen Vorlagen."_s.arg(name);
    QFile file(path);
    if (!file.remove())
        return u"Die Vorlage kann nicht gelöscht werden (%1): %2"_s.arg(path, file.errorString());
    return {};
}

QString importPreset(const QString &folder, const QString &path, QString *name)
{
    Preset preset;
    if (const QString reason = readPresetFile(path, &preset); !reason.isEmpty())
        return reason;
    // An imported preset never replaces one of the same name: it gets a number.
    const QList<Preset> known = builtInPresets() + loadPresetFolder(folder).presets;
    const QString base = preset.name;
    for (int n = 2; findPreset(known, preset.name); ++n)
        preset.name = u"%1 (%2)"_s.arg(base).arg(n);
    if (name)
        *name = preset.name;
    return savePreset(folder, preset);
}
