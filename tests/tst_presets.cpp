// Presets: what each built-in one gives the real converter, the preset files and
// their damaged forms, `--convert` on a terminal without a display, and the
// "Vorlage" box of the window.
#include <QtTest>

#include <QtWidgets>
#include <algorithm>
#include <functional>

#include "headless.h"
#include "makejob.h"
#include "mediafacts.h"
#include "presets.h"
#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
Preset preset(const QString &name)
{
    const std::optional<Preset> found = findPreset(builtInPresets(), name);
    return found ? *found : Preset();
}

// What ffprobe tells of the file's streams (or of the selected ones).
QString probe(const QString &file, const QString &entries, const QString &select = QString())
{
    QStringList args{u"-v"_s, u"error"_s, u"-show_entries"_s, entries, u"-of"_s, u"csv=p=0"_s, file};
    if (!select.isEmpty())
        args.prepend(select), args.prepend(u"-select_streams"_s);
    QProcess p;
    p.start(u"ffprobe"_s, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return u"invalid"_s;
    // An MPEG program stream adds empty entries and a comma after each line.
    QStringList lines;
    for (QString line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        while (line.endsWith(u','))
            line.chop(1);
        if (!line.isEmpty())
            lines << line;
    }
    return lines.join(u',');
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

struct Ran
{
    int status = -1;
    QString out, err;
};

// The program as a terminal user runs it: no display at all.
Ran runWithoutDisplay(const QStringList &arguments, const QString &folder = QString())
{
    QProcess run;
    run.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), arguments);
    if (!run.waitForFinished(120000)) {
        run.kill();
        run.waitForFinished();
        return {};
    }
    return {run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1,
            QString::fromUtf8(run.readAllStandardOutput()), QString::fromUtf8(run.readAllStandardError())};
}
} // namespace

class PresetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void builtInConversions_data();
    void builtInConversions();
    void presetFiles_data();
    void presetFiles();
    void userPresets();
    void outputNaming_data();
    void outputNaming();
    void convertOnTerminal();
    void shortNames_data();
    void shortNames();
    void convertInputs_data();
    void convertInputs();
    void secondRun();
    void variableRate();
    void portrait_data();
    void portrait();
    void windowPresets();
    void damagedPresetsNamedOnce();

private:
    QTemporaryDir media;
    QString clip, sound;
};

void PresetTest::initTestCase()
{
    clip = media.filePath(u"clip.avi"_s);
    sound = media.filePath(u"ton.wav"_s);
    QVERIFY(makeClip(clip, 1));
    QVERIFY(makeClip(sound, 1, false, true));
}

void PresetTest::builtInConversions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("video");        // the 160x120 clip with sound, or a sound file
    QTest::addColumn<int>("maxHeight");     // -1: the preset's own limit
    QTest::addColumn<QStringList>("parts"); // neighbouring arguments, joined by a space
    QTest::addColumn<QString>("codecs");    // the first video and audio stream's
    QTest::addColumn<QString>("size");

    const QString teilen = builtInPresets().first().name;
    QTest::newRow("Teilen, kleine Quelle bleibt")
        << teilen << true << -1
        << QStringList{u"-vf scale=-2:(ih+1080-abs(ih-1080))/2[f1];[f1]crop=trunc(iw/2)*2:trunc(ih/2)*2"_s,
                       u"-vcodec libx264 -pix_fmt yuv420p"_s, u"-crf 23"_s,
                       u"-acodec aac -ar 48000 -ab 192k"_s}
        << u"h264,aac"_s << u"160,120"_s;
    QTest::newRow("Teilen, größere Quelle verkleinert")
        << teilen << true << 96 << QStringList{u"-vf scale=-2:(ih+96-abs(ih-96))/2"_s} << u"h264,aac"_s
        << u"128,96"_s;
    QTest::newRow("Teilen, nur Ton") << teilen << false << -1 << QStringList{u"-vcodec libx264"_s} << u"aac"_s
                                     << QString();
    QTest::newRow("E-Mail") << u"e-mail (höchstens 25 mb)"_s << true << -1
                            << QStringList{u"-acodec aac -ar 48000 -ab 64k -ac 2"_s} << u"h264,aac"_s
                            << u"160,120"_s;
    QTest::newRow("Archiv") << u"Archiv (H.265, hohe Qualität, alle Spuren)"_s << true << -1
                            << QStringList{u"-vcodec libx265 -pix_fmt yuv420p -tag:v hvc1"_s, u"-crf 25"_s,
                                           u"-ab 224k"_s}
                            << u"hevc,aac"_s << u"160,120"_s;
    QTest::newRow("Web") << u"Web (VP9/Opus)"_s << true << -1
                         << QStringList{u"-vcodec libvpx-vp9"_s, u"-crf 31 -b:v 0"_s,
                                        u"-acodec libopus -ab 128k"_s}
                         << u"vp9,opus"_s << u"160,120"_s;
    QTest::newRow("MP3 aus Video") << u"Nur Ton: MP3 192 kbit/s"_s << true << -1
                                   << QStringList{u"-vn -acodec libmp3lame -ar 44100 -ab 192k -ac 2"_s}
                                   << u"mp3"_s << QString();
    QTest::newRow("FLAC aus Ton") << u"Nur Ton: FLAC"_s << false << -1
                                  << QStringList{u"-vn -acodec flac -ar 44100 -ac 2"_s} << u"flac"_s
                                  << QString();
    QTest::newRow("DVD (PAL)") << u"DVD (PAL)"_s << true << -1
                               << QStringList{u"-target pal-dvd -aspect 16:9 -b 8000k -acodec ac3"_s}
                               << u"mpeg2video,ac3"_s << u"720,576"_s;
}

void PresetTest::builtInConversions()
{
    QFETCH(QString, name);
    QFETCH(bool, video);
    QFETCH(int, maxHeight);
    QFETCH(QStringList, parts);
    QFETCH(QString, codecs);
    QFETCH(QString, size);

    Preset chosen = preset(name);
    QVERIFY2(!chosen.name.isEmpty(), qPrintable(name));
    if (maxHeight >= 0)
        chosen.settings.maxHeight = maxHeight;
    const QString output = media.filePath(QString::fromUtf8(QTest::currentDataTag()).replace(u' ', u'_')) +
                           outputSuffix(chosen.settings);
    const Job job = makeJob(chosen.settings, video ? clip : sound, output, SourceFacts());
    QStringList runs;
    for (const QStringList &run : job.runs)
        runs << run.join(u' ');
    const QString joined = runs.join(u" ; "_s);
    for (const QString &part : std::as_const(parts))
        QVERIFY2(joined.contains(part), qPrintable(joined));

    // Every run of the job in turn, as the runner does.
    for (const QStringList &run : job.runs) {
        QProcess converter;
        converter.setStandardInputFile(QProcess::nullDevice());
        converter.start(u"ffmpeg"_s, run);
        QVERIFY(converter.waitForFinished(120000));
        QVERIFY2(converter.exitCode() == 0, converter.readAllStandardError().right(600).constData());
    }
    QStringList found{probe(output, u"stream=codec_name"_s, u"v:0"_s),
                      probe(output, u"stream=codec_name"_s, u"a:0"_s)};
    found.removeAll(QString());
    QCOMPARE(found.join(u','), codecs);
    if (!size.isEmpty())
        QCOMPARE(probe(output, u"stream=width,height"_s, u"v:0"_s), size);
}

void PresetTest::presetFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a name that leads nowhere
    QTest::addColumn<QString>("reason");     // empty: read as "Eigene"

    QByteArray good = presetToJson({u"Eigene"_s, false, preset(u"Web (VP9/Opus)"_s).settings});
    QTest::newRow("gut") << good << QString();
    QTest::newRow("kein JSON") << QByteArray("{\"format\": \"quorvid-vorlage\", ") << u"kein gültiges JSON"_s;
    QTest::newRow("fremdes JSON") << QByteArray("{\"name\": \"x\", \"version\": 1}")
                                  << u"keine Quorvid-Vorlage"_s;
    QTest::newRow("JSON-Liste") << QByteArray("[1, 2]") << u"keine Quorvid-Vorlage"_s;
    QTest::newRow("neuere Version") << QByteArray(good).replace("\"version\": 1", "\"version\": 2")
                                    << u"neueren Quorvid-Version"_s;
    QTest::newRow("unbekannter Codec")
        << QByteArray(good).replace("libvpx-vp9", "libfoo") << u"ist beschädigt"_s;
    QTest::newRow("Breite ohne Zahl")
        << QByteArray(good).replace("\"width\": \"320\"", "\"width\": \"x\"") << u"ist beschädigt"_s;
    QTest::newRow("Name einer eingebauten")
        << presetToJson({u"dvd (pal)"_s, false, PanelSettings()}) << u"eingebauten Vorlage"_s;
    QTest::newRow("Grenze kein Wahrheitswert")
        << QByteArray(good).replace("\"targetSizeMB\"", "\"sizeIsLimit\": \"ja\", \"targetSizeMB\"")
        << u"beschädigt"_s;
    QTest::newRow("unlesbar") << QByteArray() << u"kann nicht gelesen werden"_s;
}

void PresetTest::presetFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString file = dir.filePath(u"vorlage.json"_s);
    if (content.isEmpty())
        QVERIFY(QFile::link(dir.filePath(u"fehlt"_s), file)); // a link to nothing
    else
        QVERIFY(writeFile(file, content));

    const PresetFolder loaded = loadPresetFolder(dir.path());
    if (reason.isEmpty()) {
        QCOMPARE(loaded.problems.size(), 0);
        QCOMPARE(loaded.presets.size(), 1);
        QCOMPARE(loaded.presets.first().name, u"Eigene"_s);
        QVERIFY(samePresetSettings(loaded.presets.first().settings, preset(u"Web (VP9/Opus)"_s).settings));
        return;
    }
    QCOMPARE(loaded.presets.size(), 0);
    QCOMPARE(loaded.problems.size(), 1);
    QCOMPARE(loaded.problems.first().file, file);
    QVERIFY2(loaded.problems.first().reason.contains(reason), qPrintable(loaded.problems.first().reason));

    // A new preset whose file name would be the damaged one's gets another name;
    // the damaged file stays as it was.
    QCOMPARE(savePreset(dir.path(), {u"Vorlage"_s, false, PanelSettings()}), QString());
    QVERIFY(QFileInfo::exists(dir.filePath(u"vorlage-2.json"_s)));
    if (!content.isEmpty()) {
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
    }
}

void PresetTest::userPresets()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"vorlagen"_s); // made on the first save
    // Every built-in preset survives the file form, and is saved under a new name.
    for (const Preset &builtIn : builtInPresets()) {
        Preset copy = builtIn;
        copy.name = u"Mein "_s + builtIn.name;
        QCOMPARE(savePreset(folder, copy), QString());
        QVERIFY(!savePreset(folder, builtIn).isEmpty()); // built-in names are refused
    }
    PresetFolder loaded = loadPresetFolder(folder);
    QCOMPARE(loaded.presets.size(), builtInPresets().size());
    QCOMPARE(loaded.problems.size(), 0);
    for (const Preset &builtIn : builtInPresets()) {
        const std::optional<Preset> read = findPreset(loaded.presets, u"MEIN "_s + builtIn.name.toUpper());
        QVERIFY2(read && samePresetSettings(read->settings, builtIn.settings), qPrintable(builtIn.name));
        QCOMPARE(makeJob(read->settings, u"in.avi"_s, u"out"_s),
                 makeJob(builtIn.settings, u"in.avi"_s, u"out"_s));
    }

    const QString web = u"Mein Web (VP9/Opus)"_s;
    QVERIFY(renamePreset(folder, web, u"Mein DVD (PAL)"_s).contains(u"schon"_s));
    QCOMPARE(renamePreset(folder, u"mein web (vp9/opus)"_s, u"Netz"_s), QString());
    QVERIFY(findPreset(loadPresetFolder(folder).presets, u"netz"_s));
    QVERIFY(!findPreset(loadPresetFolder(folder).presets, web));

    // Export and import: an imported preset of a known name gets a number.
    const QString exported = dir.filePath(u"netz.json"_s);
    QCOMPARE(writePresetFile(exported, *findPreset(loadPresetFolder(folder).presets, u"Netz"_s)), QString());
    QString name;
    QCOMPARE(importPreset(folder, exported, &name), QString());
    QCOMPARE(name, u"Netz (2)"_s);
    QVERIFY(!importPreset(folder, dir.filePath(u"fehlt.json"_s)).isEmpty());

    QCOMPARE(deletePreset(folder, u"NETZ"_s), QString());
    QVERIFY(!deletePreset(folder, u"Netz"_s).isEmpty());
    QVERIFY(!deletePreset(folder, builtInPresets().first().name).isEmpty());
    loaded = loadPresetFolder(folder);
    QCOMPARE(loaded.presets.size(), builtInPresets().size());
    QVERIFY(findPreset(loaded.presets, u"Netz (2)"_s));
}

void PresetTest::outputNaming_data()
{
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("outputDir");
    QTest::addColumn<QStringList>("outputs");

    QTest::newRow("beside") << QStringList{u"/m/a.avi"_s, u"/m/b.wav"_s} << QString()
                            << QStringList{u"/m/a.mp4"_s, u"/m/b.mp4"_s};
    QTest::newRow("output is another input") << QStringList{u"/m/a.avi"_s, u"/m/a.mp4"_s} << QString()
                                             << QStringList{u"/m/a-2.mp4"_s, u"/m/a-Kopie.mp4"_s};
    QTest::newRow("same name from two folders")
        << QStringList{u"/m/a.avi"_s, u"/m/sub/a.avi"_s, u"/m/sub/a.mkv"_s} << u"/out"_s
        << QStringList{u"/out/a.mp4"_s, u"/out/a-2.mp4"_s, u"/out/a-3.mp4"_s};
}

void PresetTest::outputNaming()
{
    QFETCH(QStringList, inputs);
    QFETCH(QString, outputDir);
    QFETCH(QStringList, outputs);
    QCOMPARE(outputNames(inputs, outputDir, u".mp4"_s), outputs);
}

void PresetTest::convertOnTerminal()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(u"Ordner/innen"_s));
    QVERIFY(QFile::copy(clip, dir.filePath(u"eins.avi"_s)));
    QVERIFY(QFile::copy(sound, dir.filePath(u"Ordner/innen/zwei.wav"_s)));
    QVERIFY(writeFile(dir.filePath(u"Ordner/notiz.txt"_s), "keine Mediendatei"));
    const QString out = dir.filePath(u"aus"_s);

    Ran ran = runWithoutDisplay({u"--convert"_s, dir.filePath(u"eins.avi"_s), dir.filePath(u"Ordner"_s),
                                 u"--preset"_s, u"NUR TON: mp3 192 KBIT/S"_s, u"--output-dir"_s, out});
    QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
    QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{u"eins.mp3"_s, u"zwei.mp3"_s}));
    QCOMPARE(probe(out + u"/zwei.mp3"_s, u"stream=codec_name"_s), u"mp3"_s);
    QVERIFY2(ran.out.contains(u"[1/2] OK"_s) && ran.out.contains(u"2 umgewandelt"_s), qPrintable(ran.out));

    // Again: the outputs exist and are skipped, as with --run.
    ran = runWithoutDisplay({u"--convert"_s, dir.filePath(u"eins.avi"_s),
                             u"--preset=nur ton: mp3 192 kbit/s"_s, u"--output-dir"_s, out});
    QCOMPARE(ran.status, 0);
    QVERIFY2(ran.out.contains(u"ÜBERSPRUNGEN"_s), qPrintable(ran.out));

    // Without --preset: "Teilen", beside the input.
    ran = runWithoutDisplay({u"--convert"_s, dir.filePath(u"eins.avi"_s)});
    QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
    QCOMPARE(probe(dir.filePath(u"eins.mp4"_s), u"stream=codec_name"_s), u"h264,aac"_s);

    // A user's preset is listed after the built-in ones and found by name.
    QCOMPARE(savePreset(userPresetFolder(), {u"Klein"_s, false, preset(u"Nur Ton: FLAC"_s).settings}),
             QString());
    ran = runWithoutDisplay({u"--list-presets"_s});
    QCOMPARE(ran.status, 0);
    const QStringList listed{u"Teilen\tTeilen (H.264/AAC, höchstens 1080p)"_s,
                             u"E-Mail\tE-Mail (höchstens 25 MB)"_s,
                             u"Archiv\tArchiv (H.265, hohe Qualität, alle Spuren)"_s,
                             u"Web\tWeb (VP9/Opus)"_s,
                             u"MP3\tNur Ton: MP3 192 kbit/s"_s,
                             u"FLAC\tNur Ton: FLAC"_s,
                             u"DVD\tDVD (PAL)"_s,
                             u"Klein\tKlein"_s};
    QCOMPARE(ran.out.split(u'\n', Qt::SkipEmptyParts), listed);
    // A beginning that fits several presets names them.
    ran = runWithoutDisplay({u"--convert"_s, dir.filePath(u"eins.avi"_s), u"--preset"_s, u"nur"_s});
    QCOMPARE(ran.status, 2);
    QVERIFY2(ran.err.contains(u"mehreren Vorlagen"_s) && ran.err.contains(u"Nur Ton: FLAC"_s) &&
                 !ran.err.contains(u"Teilen"_s),
             qPrintable(ran.err));

    const QList<std::pair<QStringList, QString>> wrong = {
        {{u"--convert"_s, dir.filePath(u"eins.avi"_s), u"--preset"_s, u"Gibtsnicht"_s}, u"Klein"_s},
        {{u"--convert"_s, dir.filePath(u"fehlt.avi"_s)}, u"fehlt.avi gibt es nicht"_s},
        {{u"--convert"_s}, u"Bitte nennen Sie"_s},
        {{u"--convert"_s, dir.filePath(u"eins.avi"_s), u"--jobs"_s, u"0"_s}, u"--jobs erwartet"_s},
    };
    for (const auto &[arguments, said] : wrong) {
        ran = runWithoutDisplay(arguments);
        QCOMPARE(ran.status, 2);
        QVERIFY2(ran.err.contains(said), qPrintable(ran.err));
    }
    ran = runWithoutDisplay({u"--preset"_s, u"Klein"_s, dir.filePath(u"eins.avi"_s)});
    QCOMPARE(ran.status, 1);
    QVERIFY2(ran.err.contains(u"nur zusammen mit --convert"_s), qPrintable(ran.err));
}

void PresetTest::windowPresets()
{
    // A damaged file beside the saved "Klein" is named at start and left alone.
    const QString damaged = userPresetFolder() + u"/alt.json"_s;
    QVERIFY(writeFile(damaged, "{kaputt"));
    FakeConverter fake;
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(answerer.waitAll());
    QVERIFY2(answerer.seen.first().text.contains(u"alt.json"_s), qPrintable(answerer.seen.first().text));
    QVERIFY2(answerer.seen.first().detailedText.contains(u"alt.json: Die Datei ist beschädigt"_s),
             qPrintable(answerer.seen.first().detailedText));
    QFile kept(damaged);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("{kaputt"));
    auto *box = window.findChild<QComboBox *>(u"presetComboBox"_s);
    QVERIFY(box);
    // "(keine)", the built-in presets, and "Klein" saved by convertOnTerminal.
    QCOMPARE(box->count(), 1 + builtInPresets().size() + 1);
    const auto arguments = [&window] {
        QStringList args;
        QMetaObject::invokeMethod(&window, "createArguments", Q_RETURN_ARG(QStringList, args),
                                  Q_ARG(QString, u"IN"_s), Q_ARG(QString, u"OUT"_s));
        return args;
    };
    const QStringList untouched = arguments();
    // Each preset chosen from any other sets the panel so that the window makes
    // exactly the jobs --convert makes.
    for (int i = builtInPresets().size(); i >= 1; --i) {
        box->setCurrentIndex(i);
        emit box->activated(i);
        QCOMPARE(arguments(), makeJob(builtInPresets()[i - 1].settings, u"IN"_s, u"OUT"_s).runs.first());
        QCoreApplication::processEvents();
        QCOMPARE(box->itemText(i), builtInPresets()[i - 1].name);
    }
    // A change marks the preset as changed and leaves its hidden size limit off.
    QVERIFY(arguments().join(u' ').contains(u"scale=-2"_s));
    window.findChild<QComboBox *>(u"acodecComboBox"_s)->setCurrentIndex(2);
    QTRY_COMPARE(box->itemText(1), builtInPresets()[0].name + u" (geändert)"_s);
    QVERIFY(!arguments().join(u' ').contains(u"scale=-2"_s));
    // No preset: the panel keeps its values and nothing hidden is added.
    box->setCurrentIndex(0);
    emit box->activated(0);
    QVERIFY(!arguments().join(u' ').contains(u"scale=-2"_s));
    QVERIFY(untouched != arguments());
}

void PresetTest::shortNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("found"); // empty: none
    QTest::addColumn<int>("candidates");
    QTest::newRow("short, lower case") << u"teilen"_s << u"Teilen (H.264/AAC, höchstens 1080p)"_s << 0;
    QTest::newRow("with a dash") << u"e-mail"_s << u"E-Mail (höchstens 25 MB)"_s << 0;
    QTest::newRow("archiv") << u"archiv"_s << u"Archiv (H.265, hohe Qualität, alle Spuren)"_s << 0;
    QTest::newRow("web") << u"WEB"_s << u"Web (VP9/Opus)"_s << 0;
    QTest::newRow("the short form behind a label") << u"flac"_s << u"Nur Ton: FLAC"_s << 0;
    QTest::newRow("a beginning of it") << u"mp"_s << u"Nur Ton: MP3 192 kbit/s"_s << 0;
    QTest::newRow("the whole name") << u" nur ton: flac "_s << u"Nur Ton: FLAC"_s << 0;
    QTest::newRow("several fit") << u"Nur Ton"_s << QString() << 2;
    QTest::newRow("none fits") << u"Kino"_s << QString() << 0;
    QTest::newRow("empty") << QString() << QString() << 0;
    // The exact name wins over a beginning of another: "Web" is a user's preset
    // beside "Web (VP9/Opus)", and "Webvideo" begins with it.
    QTest::newRow("exact before beginning") << u"web"_s << u"Web"_s << 0;
}

void PresetTest::shortNames()
{
    QFETCH(QString, typed);
    QFETCH(QString, found);
    QFETCH(int, candidates);
    QList<Preset> presets = builtInPresets();
    if (QString::fromLatin1(QTest::currentDataTag()).startsWith(u"exact"_s))
        presets << Preset{u"Web"_s, false, {}} << Preset{u"Webvideo (klein)"_s, false, {}};
    const PresetMatch match = matchPreset(presets, typed);
    QCOMPARE(match.found ? match.found->name : QString(), found);
    QCOMPARE(match.candidates.size(), candidates);
}

void PresetTest::convertInputs_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("outputDir");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("inputs");
    QTest::newRow("an earlier output beside its source")
        << QStringList{u"/m/bear.mp3"_s, u"/m/bear.wav"_s} << QString() << u".mp3"_s
        << QStringList{u"/m/bear.wav"_s};
    QTest::newRow("alone it is an input")
        << QStringList{u"/m/bear.mp3"_s} << QString() << u".mp3"_s << QStringList{u"/m/bear.mp3"_s};
    QTest::newRow("a copy-marked output") << QStringList{u"/m/a-Kopie.mp4"_s, u"/m/a.mp4"_s} << QString()
                                          << u".mp4"_s << QStringList{u"/m/a.mp4"_s};
    QTest::newRow("outputs in a folder of the inputs")
        << QStringList{u"/m/a.avi"_s, u"/m/aus/a.mp4"_s} << u"/m/aus"_s << u".mp4"_s
        << QStringList{u"/m/a.avi"_s};
    QTest::newRow("other suffixes stay") << QStringList{u"/m/a.avi"_s, u"/m/a.mkv"_s} << QString()
                                         << u".mp4"_s << QStringList{u"/m/a.avi"_s, u"/m/a.mkv"_s};
}

void PresetTest::convertInputs()
{
    QFETCH(QStringList, files);
    QFETCH(QString, outputDir);
    QFETCH(QString, suffix);
    QFETCH(QStringList, inputs);
    QCOMPARE(::convertInputs(files, outputDir, suffix).inputs, inputs);
}

void PresetTest::secondRun()
{
    // The same call twice converts nothing of its own outputs; one file named
    // three ways is one job; an output folder inside the given one is not searched.
    QTemporaryDir dir;
    QVERIFY(QFile::copy(sound, dir.filePath(u"bear.wav"_s)));
    const QString mp3 = u"--preset=mp3"_s;
    for (int round = 0; round < 2; ++round) {
        const Ran ran = runWithoutDisplay({u"--convert"_s, dir.path(), mp3});
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        QVERIFY2(ran.out.contains(round == 0 ? u"1 umgewandelt"_s : u"1 übersprungen"_s),
                 qPrintable(ran.out));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{u"bear.mp3"_s, u"bear.wav"_s}));
    const QString out = dir.filePath(u"aus"_s);
    for (int round = 0; round < 2; ++round) {
        const Ran ran =
            runWithoutDisplay({u"--convert"_s, dir.filePath(u"bear.wav"_s), dir.filePath(u"bear.wav"_s),
                               u"./bear.wav"_s, mp3, u"--output-dir"_s, out},
                              dir.path());
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        QVERIFY2(ran.out.contains(u"[1/1]"_s), qPrintable(ran.out));
    }
    QTemporaryDir other;
    QVERIFY(QFile::copy(sound, other.filePath(u"bear.wav"_s)));
    const QString inside = other.filePath(u"aus"_s);
    for (int round = 0; round < 2; ++round) {
        const Ran ran = runWithoutDisplay({u"--convert"_s, other.path(), mp3, u"--output-dir"_s, inside});
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        QVERIFY2(ran.out.contains(u"[1/1]"_s), qPrintable(ran.out));
    }
    QCOMPARE(QDir(inside).entryList(QDir::Files), QStringList{u"bear.mp3"_s});
}

void PresetTest::portrait_data()
{
    QTest::addColumn<QString>("stored"); // as the file holds the pictures
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QString>("size"); // of the output of "Teilen" (at most 1080p)
    QTest::newRow("portrait that fits") << u"1080x1920"_s << 0 << u"1080,1920"_s;
    QTest::newRow("large portrait") << u"2160x3840"_s << 0 << u"1080,1920"_s;
    QTest::newRow("large landscape") << u"3840x2160"_s << 0 << u"1920,1080"_s;
    QTest::newRow("landscape turned by 90 degrees") << u"2000x1200"_s << 90 << u"1080,1800"_s;
    QTest::newRow("small landscape") << u"640x360"_s << 0 << u"640,360"_s;
}

void PresetTest::portrait()
{
    // "At most 1080p" bounds the shorter side as shown.
    QFETCH(QString, stored);
    QFETCH(int, rotation);
    QFETCH(QString, size);
    const QString source = media.filePath(u"hoch-%1-%2.mp4"_s.arg(stored).arg(rotation));
    // The converter writes a rotation only when it copies the stream.
    const QString plain = source + u".plain.mp4"_s;
    for (const QStringList &arguments :
         {QStringList{u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=%1:rate=25:duration=0.12"_s.arg(stored),
                      u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s, plain},
          QStringList{u"-i"_s, plain, u"-c"_s, u"copy"_s, u"-metadata:s:v:0"_s, u"rotate=%1"_s.arg(rotation),
                      source}}) {
        QProcess make;
        make.start(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + arguments);
        QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    }
    QProcess look;
    look.start(u"ffprobe"_s, probeArguments(source));
    QVERIFY(look.waitForFinished(30000));
    const MediaFacts facts = readProbe(look.readAllStandardOutput());
    QCOMPARE(facts.streams.value(0).rotation, rotation);
    const QString output = source + u".out.mp4"_s;
    const Job job = makeJob(preset(u"Teilen (H.264/AAC, höchstens 1080p)"_s).settings, source, output, facts);
    QProcess converter;
    converter.setStandardInputFile(QProcess::nullDevice());
    converter.start(u"ffmpeg"_s, job.runs.first());
    QVERIFY(converter.waitForFinished(120000));
    QVERIFY2(converter.exitCode() == 0, converter.readAllStandardError().right(600).constData());
    QCOMPARE(probe(output, u"stream=width,height"_s, u"v:0"_s), size);
}

void PresetTest::variableRate()
{
    // Frames in bursts (ten at 30 per second, then a pause) keep their number and
    // times through "Teilen" with "fps Original"; a chosen rate is constant.
    const QString source = media.filePath(u"bursts.mkv"_s);
    QProcess make;
    make.start(u"ffmpeg"_s,
               {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                u"testsrc=size=160x120:rate=30:d=3"_s, u"-vf"_s,
                u"setpts='(floor(N/10)*0.5+mod(N\\,10)/30)/TB'"_s, u"-fps_mode"_s, u"passthrough"_s,
                u"-c:v"_s, u"libx264"_s, u"-preset"_s, u"ultrafast"_s, source});
    QVERIFY(make.waitForFinished(60000) && make.exitCode() == 0);
    const auto times = [](const QString &file) {
        QProcess p;
        p.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"v"_s, u"-show_entries"_s,
                               u"packet=pts_time"_s, u"-of"_s, u"csv=p=0"_s, file});
        p.waitForFinished(30000);
        QList<double> found;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
            if (!line.trimmed().isEmpty())
                found << line.toDouble();
        std::sort(found.begin(), found.end());
        return found;
    };
    const QList<double> wanted = times(source);
    QCOMPARE(wanted.size(), 90);
    for (const int rate : {3, 1}) { // "Original", then "25"
        PanelSettings settings = preset(u"Teilen (H.264/AAC, höchstens 1080p)"_s).settings;
        settings.frameRateIndex = rate;
        const QString output = source + u".%1.mp4"_s.arg(rate);
        QProcess converter;
        converter.setStandardInputFile(QProcess::nullDevice());
        converter.start(u"ffmpeg"_s, makeJob(settings, source, output, SourceFacts()).runs.first());
        QVERIFY(converter.waitForFinished(60000) && converter.exitCode() == 0);
        const QList<double> found = times(output);
        if (rate == 1) { // every 40 ms a frame, gaps filled
            for (qsizetype i = 1; i < found.size(); ++i)
                QVERIFY(std::abs(found[i] - found[i - 1] - 0.04) < 0.002);
            QVERIFY(found.size() > 100);
            continue;
        }
        // Against the times the source was made with (Matroska rounds them to
        // milliseconds).
        QCOMPARE(found.size(), wanted.size());
        for (int i = 0; i < int(found.size()); ++i)
            QVERIFY2(std::abs(found[i] - (i / 10 * 0.5 + i % 10 / 30.0)) < 0.002,
                     qPrintable(u"frame %1 at %2"_s.arg(i).arg(found[i])));
    }
}

void PresetTest::damagedPresetsNamedOnce()
{
    // Sixteen damaged files: one box that fits a screen 1000 pixels high, named
    // again at a later start only when the set of damaged files changed.
    const QString folder = userPresetFolder();
    for (int i = 1; i <= 16; ++i)
        QVERIFY(writeFile(folder + u"/defekt%1.json"_s.arg(i, 2, 10, QChar(u'0')), "{kaputt"));
    const auto removeDamaged = [&folder] {
        for (const PresetProblem &problem : loadPresetFolder(folder).problems)
            QFile::remove(problem.file);
    };
    const struct
    {
        const char *start;
        std::function<void()> before;
        bool named;
    } starts[] = {
        {"sixteen more", [] {}, true},
        {"the same set", [] {}, false},
        {"one more", [&folder] { writeFile(folder + u"/neu.json"_s, "[]"); }, true},
        {"all mended", removeDamaged, false},
        {"one again", [&folder] { writeFile(folder + u"/neu.json"_s, "[]"); }, true},
    };
    FakeConverter fake;
    for (const auto &start : starts) {
        start.before();
        const QList<PresetProblem> problems = loadPresetFolder(folder).problems;
        ModalAnswerer answerer;
        if (start.named)
            answerer.clickBox(QMessageBox::Ok);
        MainWindow window;
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (!start.named) {
            QTest::qWait(300); // a box no answer was armed for fails the test
            continue;
        }
        QVERIFY2(answerer.waitAll(), start.start);
        const SeenDialog &box = answerer.seen.first();
        const int shown =
            int(std::count_if(problems.cbegin(), problems.cend(), [&box](const PresetProblem &p) {
                return box.text.contains(QFileInfo(p.file).fileName());
            }));
        QVERIFY2(shown == std::min<qsizetype>(problems.size(), 5), qPrintable(box.text));
        if (problems.size() > 5)
            QVERIFY2(box.text.contains(u"… und %1 weitere"_s.arg(problems.size() - 5)), qPrintable(box.text));
        for (const PresetProblem &problem : problems)
            QVERIFY2(box.detailedText.contains(QFileInfo(problem.file).fileName() + u": "_s + problem.reason),
                     qPrintable(box.detailedText));
        QVERIFY2(box.size.height() <= std::min(1000, box.available.height()) &&
                     box.size.width() <= box.available.width(),
                 qPrintable(u"%1x%2"_s.arg(box.size.width()).arg(box.size.height())));
    }
}

QTEST_MAIN(PresetTest)
#include "tst_presets.moc"
