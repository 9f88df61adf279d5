// The codecs of today and the compatibility table against the real converter, on
// tiny generated clips: what the window writes plays, what the table calls
// impossible fails, and what it lets through works.
#include <QtTest>
#include <QtWidgets>

#include <deque>
#include <memory>

#include "arguments.h"
#include "codecs.h"
#include "compatibility.h"
#include "mediainfo.h"
#include "outputcheck.h"
#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
// The output suffixes of the codec items, as the window's extension lists have them.
const QStringList videoSuffixes{{},       u"avi"_s, u"avi"_s, u"mpg"_s,  u"mpg"_s, u"mp4"_s,
                                u"flv"_s, u"mp4"_s, u"mp4"_s, u"webm"_s, u"mkv"_s};
const QStringList audioSuffixes{{},       u"wav"_s,  u"mp3"_s,  u"mp2"_s, u"ac3"_s,
                                u"m4a"_s, u"opus"_s, u"flac"_s, u"ogg"_s};
const QString mp4Format = u"mov,mp4,m4a,3gp,3g2,mj2"_s;
const QStringList audioCodecNames{{},       u"pcm_s16le"_s, u"mp3"_s,  u"mp2"_s,   u"ac3"_s,
                                  u"aac"_s, u"opus"_s,      u"flac"_s, u"vorbis"_s};

// Runs the real converter; false with its last words when it fails.
bool convert(const QStringList &arguments, QString *lastWords)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"/usr/bin/ffmpeg"_s, QStringList{u"-v"_s, u"error"_s} + arguments);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    *lastWords = lines.isEmpty() ? QString() : lines.last();
    return ok;
}

QJsonObject probe(const QString &file)
{
    QProcess p;
    p.start(u"/usr/bin/ffprobe"_s,
            {u"-v"_s, u"error"_s, u"-of"_s, u"json"_s, u"-show_entries"_s,
             u"format=format_name:stream=codec_type,codec_name,codec_tag_string,width,height,pix_fmt,"
             "display_aspect_ratio"_s,
             file});
    p.waitForFinished(30000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QJsonObject stream(const QJsonObject &probed, const QString &type)
{
    for (const QJsonValue &s : probed[u"streams"_s].toArray())
        if (s[u"codec_type"_s].toString() == type)
            return s.toObject();
    return {};
}

// What the information run tells about a file, read as the window reads it.
SourceStreams describe(const QString &file)
{
    QProcess p;
    p.start(u"/usr/bin/ffmpeg"_s, {u"-hide_banner"_s, u"-i"_s, file});
    p.waitForFinished(30000);
    InfoCollector info;
    info.feed(p.readAllStandardError());
    return parseStreams(info.lines());
}

// One panel state for the compatibility table, on one of the generated inputs.
struct Case
{
    QString name;
    PanelSettings settings;
    QString input;
    QString suffix; // a name the user typed; empty: the one the window proposes
};

// The panel as the window leaves it after choosing these codecs.
PanelSettings panel(int video, int audio)
{
    PanelSettings s;
    s.videoCodec = video;
    if (videoCodec(video).modern) {
        s.originalSize = true;
        s.frameRateIndex = originalFrameRateIndex;
        s.ratio = originalRatioIndex;
        s.quality = defaultQualityIndex;
    }
    s.audioCodec = audio;
    const AudioControls controls = audioCodec(audio).controls;
    s.audioBitrateEnabled = controls.bitrate;
    s.channelsEnabled = controls.channels;
    s.frequencyEnabled = controls.frequency;
    return s;
}
} // namespace

class CodecsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tableMatchesPanel();
    void codecsOfToday_data();
    void codecsOfToday();
    void compatibility();
    void droppedTracks();
    void mixedBatch();

private:
    QString source(const QString &name) const { return dir.filePath(name); }
    QString suffixFor(const PanelSettings &s, const QString &input) const;
    // Runs the cases side by side; what the table and the converter disagree on.
    QStringList mismatches(const QList<Case> &cases, int *impossible);

    QTemporaryDir dir;
    QHash<QString, SourceStreams> streams;
};

void CodecsTest::initTestCase()
{
    QVERIFY(dir.isValid());
    // 16:9 sources with stereo sound: RGB pictures with 44.1 kHz PCM (Opus has to
    // take it at 48 kHz), a phone's H.264 with AAC, and a camera's MJPEG with PCM.
    const QList<std::tuple<QString, QString, QStringList>> sources = {
        {u"rgb.mkv"_s, u"44100"_s, {u"-c:v"_s, u"ffv1"_s, u"-c:a"_s, u"pcm_s16le"_s}},
        {u"phone.mp4"_s,
         u"48000"_s,
         {u"-c:v"_s, u"libx264"_s, u"-pix_fmt"_s, u"yuv420p"_s, u"-c:a"_s, u"aac"_s}},
        {u"cam.avi"_s, u"48000"_s, {u"-c:v"_s, u"mjpeg"_s, u"-c:a"_s, u"pcm_s16le"_s}},
    };
    for (const auto &[name, rate, codecs] : sources) {
        const QStringList lavfi{u"-y"_s,
                                u"-f"_s,
                                u"lavfi"_s,
                                u"-i"_s,
                                u"testsrc=size=160x90:rate=25:duration=0.3"_s,
                                u"-f"_s,
                                u"lavfi"_s,
                                u"-i"_s,
                                u"sine=duration=0.3:sample_rate="_s + rate,
                                u"-ac"_s,
                                u"2"_s};
        QString lastWords;
        QVERIFY2(convert(lavfi + codecs + QStringList{source(name)}, &lastWords), qPrintable(lastWords));
        streams[name] = describe(source(name));
        QVERIFY(streams[name].known);
    }
    // A camera's MPEG program stream named like raw video, and an MP3 with a cover.
    QString lastWords;
    QVERIFY2(convert({u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"testsrc=size=160x90:rate=25:duration=0.3"_s, u"-f"_s,
                      u"lavfi"_s, u"-i"_s, u"sine=duration=0.3:sample_rate=48000"_s, u"-c:v"_s, u"mpeg2video"_s,
                      u"-c:a"_s, u"mp2"_s, u"-f"_s, u"vob"_s, source(u"camera.m2v"_s)},
                     &lastWords),
             qPrintable(lastWords));
    QVERIFY2(convert({u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=duration=0.3"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                      u"testsrc=size=64x64:duration=0.04"_s, u"-map"_s, u"0"_s, u"-map"_s, u"1"_s, u"-c:v"_s,
                      u"mjpeg"_s, u"-disposition:v"_s, u"attached_pic"_s, source(u"cover.mp3"_s)},
                     &lastWords),
             qPrintable(lastWords));
    for (const QString &name : {u"camera.m2v"_s, u"cover.mp3"_s})
        streams[name] = describe(source(name));
    QCOMPARE(streams[u"camera.m2v"_s].audioCodec, u"mp2"_s);
    QCOMPARE(streams[u"cover.mp3"_s].videoCodec, u"mjpeg"_s);
    QCOMPARE(streams[u"phone.mp4"_s].videoCodec, u"h264"_s);
    QCOMPARE(streams[u"phone.mp4"_s].width, 160);
    QCOMPARE(streams[u"phone.mp4"_s].height, 90);
    QCOMPARE(streams[u"cam.avi"_s].audioCodec, u"pcm_s16le"_s);
    QCOMPARE(streams[u"cam.avi"_s].sampleRate, 48000);
    QCOMPARE(streams[u"rgb.mkv"_s].sampleRate, 44100);
}

// Every codec of today with each audio codec its container takes, as the window
// sets them up: "Original" format, constant quality, 4:2:0 pixels.
void CodecsTest::codecsOfToday_data()
{
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("audio");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("videoCodec");
    const QString mp4 = mp4Format;
    const QString matroska = u"matroska,webm"_s;
    for (int audio : {2, 3, 4, 5, 6, 8}) {
        QTest::addRow("h264 + %s", qPrintable(audioCodecNames[audio])) << 7 << audio << mp4 << u"h264"_s;
        QTest::addRow("h265 + %s", qPrintable(audioCodecNames[audio])) << 8 << audio << mp4 << u"hevc"_s;
    }
    for (int audio : {6, 8})
        QTest::addRow("vp9 + %s", qPrintable(audioCodecNames[audio])) << 9 << audio << matroska << u"vp9"_s;
    for (int audio = 1; audio <= 8; ++audio)
        QTest::addRow("av1 + %s", qPrintable(audioCodecNames[audio])) << 10 << audio << matroska << u"av1"_s;
}

void CodecsTest::codecsOfToday()
{
    QFETCH(int, video);
    QFETCH(int, audio);
    QFETCH(QString, format);
    QFETCH(QString, videoCodec);

    MainWindow window;
    auto *vcodec = window.findChild<QComboBox *>(u"vcodecComboBox"_s);
    auto *acodec = window.findChild<QComboBox *>(u"acodecComboBox"_s);
    const QString input = source(u"rgb.mkv"_s);
    window.findChild<QLineEdit *>(u"openLineEdit"_s)->setText(input);
    window.findChild<QLineEdit *>(u"saveLineEdit"_s)
        ->setText(dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_')));
    vcodec->setCurrentIndex(video);
    emit vcodec->activated(video); // as the user's choice
    acodec->setCurrentIndex(audio);
    const QString output = window.findChild<QLineEdit *>(u"saveLineEdit"_s)->text();
    QStringList arguments;
    QMetaObject::invokeMethod(&window, "createArguments", Q_RETURN_ARG(QStringList, arguments),
                              Q_ARG(QString, input), Q_ARG(QString, output));
    QVERIFY(!arguments.contains(u"-s"_s) && !arguments.contains(u"-r"_s) &&
            !arguments.contains(u"-aspect"_s));
    QVERIFY(arguments.contains(u"-crf"_s));
    QVERIFY(findProblems(outputFacts(arguments, streams[u"rgb.mkv"_s])).isEmpty());

    QString lastWords;
    QVERIFY2(convert(arguments, &lastWords), qPrintable(arguments.join(u' ') + u": "_s + lastWords));
    const QJsonObject probed = probe(output);
    QCOMPARE(probed[u"format"_s][u"format_name"_s].toString(), format);
    const QJsonObject picture = stream(probed, u"video"_s);
    QCOMPARE(picture[u"codec_name"_s].toString(), videoCodec);
    QCOMPARE(picture[u"pix_fmt"_s].toString(), u"yuv420p"_s);
    // The 16:9 source keeps its size and its aspect.
    QCOMPARE(picture[u"width"_s].toInt(), 160);
    QCOMPARE(picture[u"height"_s].toInt(), 90);
    QCOMPARE(picture[u"display_aspect_ratio"_s].toString(), u"16:9"_s);
    if (videoCodec == u"hevc"_s)
        QCOMPARE(picture[u"codec_tag_string"_s].toString(), u"hvc1"_s);
    // MP4 marks MP2 sound as MPEG audio, which reads back as "mp3" and plays.
    const QString audioCodec = format == mp4Format && audio == 3 ? u"mp3"_s : audioCodecNames[audio];
    QCOMPARE(stream(probed, u"audio"_s)[u"codec_name"_s].toString(), audioCodec);
}

QString CodecsTest::suffixFor(const PanelSettings &s, const QString &input) const
{
    if (s.videoOn)
        return s.videoCodec == 0 ? QFileInfo(input).suffix() : videoSuffixes[s.videoCodec];
    return s.audioCodec == 0 ? QFileInfo(input).suffix() : audioSuffixes[s.audioCodec];
}

namespace {
// A broad grid of panel states on the generated inputs.
QList<Case> compatibilityCases()
{
    QList<Case> cases;
    auto add = [&cases](const QString &name, const PanelSettings &s, const QString &input) {
        cases.append({name, s, input, QString()});
    };
    // Every video codec with every audio codec, audio copy of the phone's AAC included.
    for (int video = 1; video <= 10; ++video)
        for (int audio = 0; audio <= 8; ++audio)
            add(u"phone: video %1, audio %2"_s.arg(video).arg(audio), panel(video, audio), u"phone.mp4"_s);
    // Copies into the input's own container; the camera's PCM copied into others.
    for (int audio = 1; audio <= 8; ++audio) {
        add(u"phone: video copy, audio %1"_s.arg(audio), panel(0, audio), u"phone.mp4"_s);
        add(u"camera: video copy, audio %1"_s.arg(audio), panel(0, audio), u"cam.avi"_s);
    }
    for (int video = 1; video <= 10; ++video)
        add(u"camera: video %1, audio copy"_s.arg(video), panel(video, 0), u"cam.avi"_s);
    // Today's codecs in bitrate mode with a size, frame rate and aspect of the user's.
    for (int video = 7; video <= 10; ++video) {
        PanelSettings s = panel(video, 5);
        s.originalSize = false;
        s.frameRateIndex = 1;
        s.ratio = 1;
        s.quality = bitrateQualityIndex;
        add(u"phone: video %1 by bitrate"_s.arg(video), s, u"phone.mp4"_s);
    }

    // Sound alone at every frequency and channel count; every bitrate where the
    // encoder has limits (mp2, vorbis), the highest and lowest elsewhere.
    for (int audio = 1; audio <= 8; ++audio)
        for (int frequency = 0; frequency <= 2; ++frequency)
            for (int bitrate = 0; bitrate <= 4; ++bitrate)
                for (bool stereo : {true, false}) {
                    PanelSettings s = panel(0, audio);
                    const bool limited = audio == 3 || audio == 8;
                    if ((!s.audioBitrateEnabled && bitrate > 0) || (!limited && bitrate != 0 && bitrate != 4))
                        continue;
                    s.videoOn = false;
                    s.sampleRateIndex = frequency;
                    s.audioBitrateIndex = bitrate;
                    s.stereo = stereo;
                    s.frequencyEnabled = true; // also for Opus, which the panel spares it
                    add(u"audio %1, frequency %2, bitrate %3, %4"_s.arg(audio)
                            .arg(frequency)
                            .arg(bitrate)
                            .arg(stereo ? u"stereo"_s : u"mono"_s),
                        s, u"rgb.mkv"_s);
                }

    // The PAL-DVD preset, frame sizes, WAV in FLV, and nothing at all.
    for (int audio = 1; audio <= 8; ++audio) {
        PanelSettings dvd = panel(4, audio);
        dvd.dvdPreset = true;
        dvd.sampleRateIndex = 0;
        add(u"dvd, audio %1"_s.arg(audio), dvd, u"phone.mp4"_s);
    }
    for (const QString &bitrate : {u"9000"_s, u"9001"_s}) {
        PanelSettings dvd = panel(4, 4);
        dvd.dvdPreset = true;
        dvd.sampleRateIndex = 0;
        dvd.videoBitrate = bitrate;
        add(u"dvd, bitrate "_s + bitrate, dvd, u"phone.mp4"_s);
    }
    const QList<std::pair<QString, QString>> sizes = {
        {u"0"_s, u"240"_s}, {u"320"_s, u"0"_s}, {u"321"_s, u"241"_s}, {u"62"_s, u"62"_s}, {u"64"_s, u"64"_s}};
    for (int video : {5, 7, 8, 9, 10})
        for (const auto &[width, height] : sizes) {
            PanelSettings s = panel(video, 0);
            s.originalSize = false;
            s.width = width;
            s.height = height;
            s.audioOn = false;
            add(u"video %1, size %2x%3"_s.arg(video).arg(width, height), s, u"phone.mp4"_s);
        }
    for (int frequency = 0; frequency <= 2; ++frequency) {
        PanelSettings flv = panel(6, 1);
        flv.sampleRateIndex = frequency;
        add(u"flv + wav, frequency %1"_s.arg(frequency), flv, u"phone.mp4"_s);
    }
    PanelSettings nothing = panel(0, 0);
    nothing.videoOn = nothing.audioOn = false;
    add(u"nothing"_s, nothing, u"phone.mp4"_s);
    return cases;
}

// Targets that hold video only or sound only: the converter leaves the other
// stream out and still ends with success, or refuses.
QList<Case> droppedTrackCases()
{
    QList<Case> cases;
    PanelSettings copy = panel(0, 0), videoOnly = copy, soundOnly = copy;
    videoOnly.audioOn = false;
    soundOnly.videoOn = false;
    cases.append({u"camera .m2v: copy"_s, copy, u"camera.m2v"_s, QString()});
    cases.append({u"camera .m2v: video only"_s, videoOnly, u"camera.m2v"_s, QString()});
    cases.append({u"cover: copy"_s, copy, u"cover.mp3"_s, QString()});
    // Every suffix of the two rows of the table.
    const QStringList targets = u"m1v m2v h264 264 h265 265 hevc ivf obu avif y4m yuv rgb mjpg mjpeg vc1 cavs avs avs2 "
                                u"avs3 drc vc2 dnxhd dnxhr h261 h263 gif apng webp "
                                u"wav w64 aac adts ac3 eac3 mp2 m2a mpa mka dts thd mlp voc"_s.split(u' ');
    for (const QString &suffix : targets)
        cases.append({u"phone .%1: copy"_s.arg(suffix), copy, u"phone.mp4"_s, suffix});
    for (const QString &suffix : {u"h264"_s, u"264"_s})
        cases.append({u"phone .%1: video only"_s.arg(suffix), videoOnly, u"phone.mp4"_s, suffix});
    for (const QString &suffix : {u"aac"_s, u"adts"_s, u"mka"_s, u"wav"_s})
        cases.append({u"phone .%1: sound only"_s.arg(suffix), soundOnly, u"phone.mp4"_s, suffix});
    return cases;
}
} // namespace

// The table's verdict must be the converter's, in both directions: every state
// it calls impossible fails or leaves out a stream the settings ask for,
// everything it lets through converts with all of them (as its report of the
// output lists them). The runs go side by side; most of their time is the
// converter's start.
QStringList CodecsTest::mismatches(const QList<Case> &cases, int *impossible)
{
    constexpr int sideBySide = 4;
    std::deque<std::pair<int, std::unique_ptr<QProcess>>> running;
    QStringList found;
    *impossible = 0;
    auto judge = [&](int index, QProcess &process) {
        process.waitForFinished(60000);
        const Case &c = cases[index];
        const QByteArray report = process.readAllStandardError();
        const QStringList arguments = process.arguments().mid(1);
        const OutputFacts facts = outputFacts(arguments, streams[c.input]);
        const QList<OutputStream> written = readOutputExpectation(report).streams;
        const auto wrote = [&written](const QString &type) {
            return std::any_of(written.begin(), written.end(), [&](const OutputStream &s) { return s.type == type; });
        };
        const bool complete = (!facts.video || facts.videoCodec.isEmpty() || wrote(u"video"_s)) &&
                              (!facts.audio || facts.audioCodec.isEmpty() || wrote(u"audio"_s));
        const bool converted =
            process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && complete;
        const QList<Problem> problems = findProblems(facts);
        *impossible += problems.isEmpty() ? 0 : 1;
        const QStringList lines = QString::fromUtf8(report).split(u'\n', Qt::SkipEmptyParts);
        if (converted != problems.isEmpty())
            found << u"%1: %2\n  table: %3\n  converter: %4"_s.arg(
                c.name, arguments.join(u' '), problems.isEmpty() ? u"possible"_s : problems.first().reason,
                converted ? u"converted"_s
                          : (complete ? lines.mid(lines.size() - 2).join(u" / "_s) : u"a stream left out"_s));
        QFile::remove(arguments.last());
    };
    for (int i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const QString output = dir.filePath(u"compatibility-%1.%2"_s.arg(i).arg(
            c.suffix.isEmpty() ? suffixFor(c.settings, c.input) : c.suffix));
        auto process = std::make_unique<QProcess>();
        process->setStandardInputFile(QProcess::nullDevice());
        process->start(u"/usr/bin/ffmpeg"_s,
                       QStringList{u"-hide_banner"_s} + buildArguments(c.settings, source(c.input), output));
        running.emplace_back(i, std::move(process));
        if (running.size() == sideBySide) {
            judge(running.front().first, *running.front().second);
            running.pop_front();
        }
    }
    for (auto &[index, process] : running)
        judge(index, *process);
    return found;
}

// The codec table and the panel's combo boxes name the same codecs in the same
// order, with encoders this converter has; the sentences about refused sample
// rates are put together from the table and read as written out.
void CodecsTest::tableMatchesPanel()
{
    QProcess p;
    p.start(u"/usr/bin/ffmpeg"_s, {u"-hide_banner"_s, u"-encoders"_s});
    QVERIFY(p.waitForFinished(30000));
    const QString encoders = QString::fromUtf8(p.readAllStandardOutput());
    // What the converter says an encoder writes: "(codec hevc)", else its own name.
    const auto writes = [&encoders](const QString &encoder) {
        const QRegularExpression line(u"^ \\S{6} "_s + QRegularExpression::escape(encoder) + u" .*$"_s,
                                      QRegularExpression::MultilineOption);
        const QString found = line.match(encoders).captured();
        if (found.isEmpty())
            return QString();
        const QRegularExpressionMatch codec = QRegularExpression(u"\\(codec (\\w+)\\)$"_s).match(found);
        return codec.hasMatch() ? codec.captured(1) : encoder;
    };
    MainWindow window;
    QStringList videoItems, audioItems, videoNames, audioNames;
    for (const VideoCodec &codec : videoCodecs().mid(1)) // after "copy"
        videoItems << codec.item, videoNames << codec.encoder + u' ' + codec.codecName;
    for (const AudioCodec &codec : audioCodecs().mid(1))
        audioItems << codec.item, audioNames << codec.encoder + u' ' + codec.codecName;
    const QList<std::tuple<QString, QStringList, QStringList>> combos{
        {u"vcodecComboBox"_s, videoItems, videoNames}, {u"acodecComboBox"_s, audioItems, audioNames}};
    for (const auto &[name, items, names] : combos) {
        const auto *box = window.findChild<QComboBox *>(name);
        QStringList shown;
        for (int i = 1; i < box->count(); ++i)
            shown << box->itemText(i);
        QCOMPARE(shown, items);
        QStringList written;
        for (const QString &encoderAndCodec : names)
            written << encoderAndCodec.section(u' ', 0, 0) + u' ' +
                           writes(encoderAndCodec.section(u' ', 0, 0));
        QCOMPARE(written, names);
    }

    const QList<std::tuple<QString, QString, QString, QString>> rates{
        {u"ac3"_s, u"22050"_s, u"AC3-Ton gibt es nicht mit 22,05 kHz."_s,
         u"Wählen Sie als Frequenz 48 kHz oder 44,1 kHz."_s},
        {u"libopus"_s, u"44100"_s, u"Opus-Ton gibt es nicht mit 44,1 kHz oder 22,05 kHz."_s,
         u"Wählen Sie als Frequenz 48 kHz."_s},
        {u"libopus"_s, u"48000"_s, QString(), QString()},
        {u"libmp3lame"_s, u"22050"_s, QString(), QString()},
    };
    for (const auto &[encoder, rate, reason, instead] : rates) {
        const QStringList arguments{u"-y"_s, u"-i"_s,  u"in.wav"_s, u"-vn"_s,    u"-acodec"_s,
                                    encoder, u"-ar"_s, rate,        u"out.mkv"_s};
        const QList<Problem> problems = findProblems(outputFacts(arguments, SourceStreams()));
        QCOMPARE(problems.isEmpty() ? QString() : problems.first().reason, reason);
        QCOMPARE(problems.isEmpty() ? QString() : problems.first().instead, instead);
        QCOMPARE(problems.size(), reason.isEmpty() ? 0 : 1);
    }
}

void CodecsTest::compatibility()
{
    const QList<Case> cases = compatibilityCases();
    int impossible = 0;
    const QStringList found = mismatches(cases, &impossible);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
    // Both directions were really tried.
    QVERIFY(impossible > 50 && cases.size() - impossible > 100);
}

void CodecsTest::droppedTracks()
{
    const QList<Case> cases = droppedTrackCases();
    int impossible = 0;
    const QStringList found = mismatches(cases, &impossible);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
    QVERIFY(impossible >= 44 && cases.size() - impossible >= 8);
}

// Jobs of the first codecs and of today in one batch list, run by the real
// converter from start to end.
void CodecsTest::mixedBatch()
{
    MainWindow window;
    auto *vcodec = window.findChild<QComboBox *>(u"vcodecComboBox"_s);
    auto *acodec = window.findChild<QComboBox *>(u"acodecComboBox"_s);
    auto *open = window.findChild<QLineEdit *>(u"openLineEdit"_s);
    auto *save = window.findChild<QLineEdit *>(u"saveLineEdit"_s);
    auto *video = window.findChild<QCheckBox *>(u"videoCheckBox"_s);
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    bool waited = true; // every look and every row came in time
    auto addJob = [&](const QString &input, const QString &name, int videoCodec, int audioCodec) {
        // Opened as a user does, and added once the look at it has ended.
        window.openFiles({source(input)});
        waited = QTest::qWaitFor(
                     [&] { return open->text() == source(input) && window.insertJobButton->toolTip().isEmpty(); },
                     20000) &&
                 waited;
        save->setText(dir.filePath(name));
        video->setChecked(videoCodec >= 0);
        if (videoCodec >= 0) {
            vcodec->setCurrentIndex(videoCodec);
            emit vcodec->activated(videoCodec);
        }
        acodec->setCurrentIndex(audioCodec);
        const int rows = table->rowCount();
        QMetaObject::invokeMethod(&window, "insertBatch");
        waited = QTest::qWaitFor([&] { return table->rowCount() == rows + 1; }, 20000) && waited;
        return save->text();
    };
    const QStringList outputs{
        addJob(u"rgb.mkv"_s, u"batch-mpeg4"_s, 5, 2),   // first codecs, 320x240 at 25 frames
        addJob(u"phone.mp4"_s, u"batch-h264"_s, 7, 5),  // today's, "Original": no "-r"
        addJob(u"cam.avi"_s, u"batch-flac"_s, -1, 7),   // sound only
        addJob(u"rgb.mkv"_s, u"batch-av1"_s, 10, 6),    // AV1 with Opus
        addJob(u"phone.mp4"_s, u"batch-mpeg2"_s, 4, 3), // first codecs again
    };
    QVERIFY(waited);
    QCOMPARE(table->rowCount(), 5);
    QVERIFY(!table->item(1, 0)->text().contains(u"-r,"_s));

    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), u"Konvertierung beendet."_s, 60000);
    const QStringList codecs{u"mpeg4 mp3"_s, u"h264 aac"_s, u" flac"_s, u"av1 opus"_s, u"mpeg2video mp2"_s};
    for (int row = 0; row < 5; ++row) {
        QCOMPARE(table->item(row, 1)->text(), u"Done."_s);
        const QJsonObject probed = probe(outputs[row]);
        const QString found = stream(probed, u"video"_s)[u"codec_name"_s].toString() + u' ' +
                              stream(probed, u"audio"_s)[u"codec_name"_s].toString();
        QCOMPARE(found, codecs[row]);
    }
    QCOMPARE(window.findChild<QProgressBar *>(u"progressBar"_s)->value(), 100);
}

QTEST_MAIN(CodecsTest)
#include "tst_codecs.moc"
