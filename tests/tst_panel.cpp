// The settings panel driven as a user drives it: items chosen in the combo
// boxes' popups, clicks on the PAL-DVD button and the check boxes.
#include <QtTest>
#include <QtWidgets>

#include <clocale>

#include "makejob.h"
#include "quorvid.h"
#include "targetsize.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class PanelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startState();
    void choosingVideoCodec();
    void choosingSameCodecAgain();
    void codeChangeIsNoUserChoice();
    void audioCodecs_data();
    void audioCodecs();
    void dvdPresetOnAndOff();
    void videoOffAndOnUnderPreset();
    void videoSwitchRefreshesName();
    void emptyInputLeavesOutput();
    void codecsOfToday();
    void askedBeforeImpossibleSettings();
    void germanNumbers_data();
    void germanNumbers();
    void germanNumbersInTexts();

private:
    template <typename T> T *get(const char *name)
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    void choose(const char *combo, int index);
    void click(const char *button);
    QStringList arguments();
    QString output() { return get<QLineEdit>("saveLineEdit")->text(); }

    FakeConverter *fake = nullptr;
    MainWindow *window = nullptr;
};

void PanelTest::initTestCase()
{
    // Run once more under a German locale (see the tests' CMakeLists): only
    // meaningful where the system really has that locale.
    const QByteArray wanted = qgetenv("LC_ALL");
    if (wanted.startsWith("de_DE") && QByteArray(std::setlocale(LC_NUMERIC, nullptr)) != wanted)
        QSKIP("de_DE.UTF-8 is not installed here (as root: localedef -i de_DE -f UTF-8 de_DE.UTF-8); "
              "the panel's tests ran under C.UTF-8 only");
}

void PanelTest::init()
{
    fake = new FakeConverter;
    window = new MainWindow;
    QVERIFY(QTest::qWaitForWindowExposed(window));
    get<QLineEdit>("openLineEdit")->setText(u"/home/u/clip.avi"_s);
}

void PanelTest::cleanup()
{
    delete window;
    delete fake;
}

// Opens the popup, moves to the item and presses Return, as a keyboard user does.
void PanelTest::choose(const char *combo, int index)
{
    auto *box = get<QComboBox>(combo);
    QVERIFY(box->isEnabled());
    box->showPopup();
    QAbstractItemView *view = box->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

void PanelTest::click(const char *button)
{
    auto *b = get<QAbstractButton>(button);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
}

QStringList PanelTest::arguments()
{
    QStringList args;
    QMetaObject::invokeMethod(window, "createArguments", Q_RETURN_ARG(QStringList, args),
                              Q_ARG(QString, u"IN"_s), Q_ARG(QString, u"OUT"_s));
    args.removeFirst(); // -y
    args.removeFirst(); // -i
    args.removeFirst(); // IN
    args.removeLast();  // OUT
    return args;
}

static QString joined(const QStringList &l)
{
    return l.join(u' ');
}

void PanelTest::startState()
{
    for (const char *name : {"vbitrateSpinBox", "vauflspinBox", "hauflspinBox", "fpsComboBox",
                             "ratioComboBox", "channelButtonGroup", "abitrateComboBox", "freqComboBox"})
        QVERIFY2(!get<QWidget>(name)->isEnabled(), name);
    QCOMPARE(joined(arguments()), u"-vcodec copy -acodec copy"_s);
}

void PanelTest::choosingVideoCodec()
{
    choose("vcodecComboBox", 5);
    for (const char *name :
         {"vbitrateSpinBox", "vauflspinBox", "hauflspinBox", "fpsComboBox", "ratioComboBox"})
        QVERIFY2(get<QWidget>(name)->isEnabled(), name);
    QCOMPARE(output(), u"/home/u/clip.mp4"_s);
    QCOMPARE(joined(arguments()), u"-s 320x240 -vcodec mpeg4 -r 25 -aspect 4:3 -b 8000k -acodec copy"_s);
    choose("vcodecComboBox", 0);
    QVERIFY(!get<QWidget>("vbitrateSpinBox")->isEnabled());
    QVERIFY(!get<QWidget>("fpsComboBox")->isEnabled());
    QCOMPARE(output(), u"/home/u/clip-Kopie.avi"_s);
}

void PanelTest::choosingSameCodecAgain()
{
    choose("vcodecComboBox", 6);
    QCOMPARE(output(), u"/home/u/clip.flv"_s);
    // A hand-edited name shows whether the name is derived again: it is not.
    get<QLineEdit>("saveLineEdit")->setText(u"/tmp/hand.flv"_s);
    get<QWidget>("vbitrateSpinBox")->setEnabled(false);
    choose("vcodecComboBox", 6);
    QVERIFY(get<QWidget>("vbitrateSpinBox")->isEnabled()); // the copy reaction ran
    QCOMPARE(output(), u"/tmp/hand.flv"_s);
}

void PanelTest::codeChangeIsNoUserChoice()
{
    get<QComboBox>("vcodecComboBox")->setCurrentIndex(5);
    QCOMPARE(output(), u"/home/u/clip.mp4"_s);              // the name follows
    QVERIFY(!get<QWidget>("vbitrateSpinBox")->isEnabled()); // the controls do not
}

void PanelTest::audioCodecs_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("bitrateEnabled");
    QTest::addColumn<bool>("channelsEnabled");
    QTest::addColumn<bool>("frequencyEnabled");
    QTest::newRow("wav") << 1 << u"-acodec pcm_s16le -ar 44100 -ac 2"_s << false << true << true;
    QTest::newRow("mp3") << 2 << u"-acodec libmp3lame -ar 44100 -ab 224k -ac 2"_s << true << true << true;
    QTest::newRow("mp2") << 3 << u"-acodec mp2 -ar 44100 -ab 224k -ac 2"_s << true << true << true;
    QTest::newRow("ac3") << 4 << u"-acodec ac3 -ar 44100 -ab 224k -ac 2"_s << true << true << true;
    QTest::newRow("aac") << 5 << u"-acodec aac -ar 44100 -ab 224k -ac 2"_s << true << true << true;
    // libopus takes only 48 kHz and below; without "-ar" the converter picks 48 kHz.
    QTest::newRow("opus") << 6 << u"-acodec libopus -ab 224k -ac 2"_s << true << true << false;
    QTest::newRow("flac") << 7 << u"-acodec flac -ar 44100 -ac 2"_s << false << true << true;
    QTest::newRow("vorbis") << 8 << u"-acodec libvorbis -ar 44100 -ab 224k -ac 2"_s << true << true << true;
}

void PanelTest::audioCodecs()
{
    QFETCH(int, codec);
    QFETCH(QString, expected);
    QFETCH(bool, bitrateEnabled);
    QFETCH(bool, channelsEnabled);
    QFETCH(bool, frequencyEnabled);
    choose("acodecComboBox", codec);
    QCOMPARE(get<QWidget>("abitrateComboBox")->isEnabled(), bitrateEnabled);
    QCOMPARE(get<QWidget>("channelButtonGroup")->isEnabled(), channelsEnabled);
    QCOMPARE(get<QWidget>("freqComboBox")->isEnabled(), frequencyEnabled);
    QCOMPARE(joined(arguments()), u"-vcodec copy "_s + expected);
    // Mono, and the audio frame switched off and on again keeps all of it.
    click("monoButton");
    QVERIFY(arguments().endsWith(u"1"_s));
    click("audioCheckBox");
    QCOMPARE(joined(arguments()), u"-vcodec copy -an"_s);
    QCOMPARE(output(), u"/home/u/clip-Kopie.avi"_s); // unchanged by the audio switch
    click("audioCheckBox");
    QCOMPARE(get<QWidget>("abitrateComboBox")->isEnabled(), bitrateEnabled);
    choose("acodecComboBox", 0);
    QCOMPARE(joined(arguments()), u"-vcodec copy -acodec copy"_s);
}

void PanelTest::dvdPresetOnAndOff()
{
    // With audio "copy": the preset switches to ac3 and enables its controls.
    click("dvdButton");
    QVERIFY(get<QRadioButton>("dvdButton")->isChecked());
    QCOMPARE(get<QComboBox>("vcodecComboBox")->currentIndex(), 4);
    QCOMPARE(get<QComboBox>("acodecComboBox")->currentIndex(), 4);
    QCOMPARE(get<QComboBox>("freqComboBox")->currentIndex(), 0);
    for (const char *name : {"vauflspinBox", "hauflspinBox", "vcodecComboBox", "fpsComboBox"})
        QVERIFY2(!get<QWidget>(name)->isEnabled(), name);
    for (const char *name :
         {"ratioComboBox", "vbitrateSpinBox", "abitrateComboBox", "channelButtonGroup", "freqComboBox"})
        QVERIFY2(get<QWidget>(name)->isEnabled(), name);
    QCOMPARE(output(), u"/home/u/clip.mpg"_s);
    choose("ratioComboBox", 1);
    QCOMPARE(joined(arguments()),
             u"-target pal-dvd -aspect 16:9 -b 8000k -acodec ac3 -ar 48000 -ab 224k -ac 2"_s);

    click("dvdButton");
    QVERIFY(!get<QRadioButton>("dvdButton")->isChecked());
    for (const char *name :
         {"vauflspinBox", "hauflspinBox", "vcodecComboBox", "fpsComboBox", "ratioComboBox"})
        QVERIFY2(get<QWidget>(name)->isEnabled(), name);
    QCOMPARE(get<QSpinBox>("vauflspinBox")->value(), 720);
    QCOMPARE(get<QSpinBox>("hauflspinBox")->value(), 576);
    QCOMPARE(joined(arguments()), u"-s 720x576 -vcodec mpeg2video -r 25 -aspect 16:9 -b 8000k -acodec ac3 "
                                  "-ar 48000 -ab 224k -ac 2"_s);
}

void PanelTest::videoOffAndOnUnderPreset()
{
    click("dvdButton");
    click("videoCheckBox");
    QVERIFY(!get<QWidget>("dvdButton")->isEnabled());
    QCOMPARE(output(), u"/home/u/clip.ac3"_s);
    QCOMPARE(joined(arguments()), u"-vn -acodec ac3 -ar 48000 -ab 224k -ac 2"_s);
    click("videoCheckBox");
    for (const char *name : {"vauflspinBox", "hauflspinBox", "vcodecComboBox", "fpsComboBox"})
        QVERIFY2(!get<QWidget>(name)->isEnabled(), name);
    QVERIFY(get<QWidget>("ratioComboBox")->isEnabled());
    QCOMPARE(output(), u"/home/u/clip.mpg"_s);
}

void PanelTest::videoSwitchRefreshesName()
{
    click("videoCheckBox");
    QCOMPARE(output(), u"/home/u/clip-Kopie.avi"_s); // audio "copy": the input's suffix
    choose("acodecComboBox", 2);
    QCOMPARE(output(), u"/home/u/clip.mp3"_s);
    QCOMPARE(joined(arguments()), u"-vn -acodec libmp3lame -ar 44100 -ab 224k -ac 2"_s);
    click("videoCheckBox");
    QCOMPARE(output(), u"/home/u/clip-Kopie.avi"_s);
}

void PanelTest::emptyInputLeavesOutput()
{
    get<QLineEdit>("openLineEdit")->clear();
    get<QLineEdit>("saveLineEdit")->clear();
    choose("vcodecComboBox", 5);
    QVERIFY(output().isEmpty());
}

void PanelTest::codecsOfToday()
{
    // Its controls stand beside the "Video" check box, not over its text, in the
    // window of normal size.
    window->showNormal();
    window->resize(995, 712);
    QTRY_COMPARE(window->width(), std::max(995, window->minimumSizeHint().width()));
    const QRect videoBox = get<QWidget>("videoCheckBox")->geometry();
    QVERIFY(get<QWidget>("formatWidget")->geometry().left() >=
            videoBox.left() + get<QWidget>("videoCheckBox")->sizeHint().width());
    // A codec of today starts with the source's own format and constant quality.
    choose("vcodecComboBox", 7);
    QCOMPARE(output(), u"/home/u/clip.mp4"_s);
    QVERIFY(get<QCheckBox>("originalSizeCheckBox")->isChecked());
    for (const char *name : {"vauflspinBox", "hauflspinBox", "vbitrateSpinBox"})
        QVERIFY2(!get<QWidget>(name)->isEnabled(), name);
    QCOMPARE(joined(arguments()),
             u"-vf crop=trunc(iw/2)*2:trunc(ih/2)*2 -vcodec libx264 -pix_fmt yuv420p -fps_mode vfr -crf 23 "
             "-acodec copy"_s);
    // They go with the video frame when video is switched off.
    click("videoCheckBox");
    QVERIFY(!get<QWidget>("qualityComboBox")->isEnabled());
    click("videoCheckBox");
    QVERIFY(get<QWidget>("qualityComboBox")->isEnabled());
    // The bitrate instead of the quality, and a size of the user's own.
    choose("qualityComboBox", 0);
    QVERIFY(get<QWidget>("vbitrateSpinBox")->isEnabled());
    click("originalSizeCheckBox");
    QVERIFY(get<QWidget>("vauflspinBox")->isEnabled());
    choose("fpsComboBox", 0);
    // Another codec of today keeps these choices.
    choose("vcodecComboBox", 9);
    QCOMPARE(output(), u"/home/u/clip.webm"_s);
    QCOMPARE(
        joined(arguments()),
        u"-s 320x240 -vcodec libvpx-vp9 -pix_fmt yuv420p -r 30 -b:v 8000k -row-mt 1 -cpu-used 2 -acodec copy"_s);
    // Back to a first codec: its specified list, without any "Original".
    choose("ratioComboBox", 2);
    choose("vcodecComboBox", 5);
    QVERIFY(!get<QWidget>("qualityComboBox")->isEnabled());
    QCOMPARE(joined(arguments()), u"-s 320x240 -vcodec mpeg4 -r 30 -aspect 4:3 -b 8000k -acodec copy"_s);
    // The PAL-DVD preset from a codec of today.
    choose("vcodecComboBox", 10);
    click("dvdButton");
    for (const char *name : {"originalSizeCheckBox", "qualityComboBox", "vauflspinBox"})
        QVERIFY2(!get<QWidget>(name)->isEnabled(), name);
    QCOMPARE(joined(arguments()),
             u"-target pal-dvd -aspect 4:3 -b 8000k -acodec ac3 -ar 48000 -ab 224k -ac 2"_s);
}

void PanelTest::askedBeforeImpossibleSettings()
{
    // VP9 writes WebM, which takes no MP3: asked before the start and before a job
    // is added; "Nein" starts and adds nothing, "Ja" goes on. A real file: the
    // question comes once the look at it has ended.
    QTemporaryDir dir;
    const QString clip = dir.filePath(u"clip.avi"_s);
    QVERIFY(makeClip(clip, 1));
    get<QLineEdit>("openLineEdit")->setText(clip);
    choose("vcodecComboBox", 9);
    choose("acodecComboBox", 2);
    get<QPushButton>("convertButton")->setEnabled(true);
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::No);
    get<QPushButton>("convertButton")->click();
    QVERIFY(answerer.waitAll());
    QCOMPARE(answerer.seen.size(), 1);
    const SeenDialog box = answerer.seen.first();
    QVERIFY2(box.text.contains(u"WebM-Dateien nehmen keinen mp3-Ton auf"_s), qPrintable(box.text));
    QVERIFY2(box.text.contains(u"„opus“ oder „vorbis“"_s), qPrintable(box.text));
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QVERIFY(get<QPushButton>("convertButton")->isEnabled());
    // Only the looks at the file ran (its description, its fields), no conversion.
    for (const QStringList &run : fake->runs())
        QVERIFY2(run.size() <= 2 || run.last() == u"-"_s, qPrintable(run.join(u' ')));

    auto *table = get<QTableWidget>("batchTableWidget");
    answerer.clickBox(QMessageBox::No);
    click("insertJobButton");
    QVERIFY(answerer.waitAll());
    QCOMPARE(table->rowCount(), 0);
    answerer.clickBox(QMessageBox::Yes);
    click("insertJobButton");
    QVERIFY(answerer.waitAll());
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(answerer.seen.last().text.contains(u"Batchliste"_s));
    // Settings that fit: no question.
    choose("acodecComboBox", 6);
    click("insertJobButton");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(answerer.seen.size(), 3);
}

void PanelTest::germanNumbers_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    // A comma is the decimal mark, never a thousands mark; a point typed into a
    // field with decimals is taken as the comma; a whole-number field refuses both.
    QTest::newRow("size with comma") << u"targetSizeSpinBox"_s << u"2,5"_s << 2.5 << u"2,5 MB"_s;
    QTest::newRow("size with point") << u"targetSizeSpinBox"_s << u"2.5"_s << 2.5 << u"2,5 MB"_s;
    QTest::newRow("comma is no thousands mark") << u"targetSizeSpinBox"_s << u"1,000"_s << 1.0 << u"1,0 MB"_s;
    QTest::newRow("point is no thousands mark") << u"targetSizeSpinBox"_s << u"1.000"_s << 1.0 << u"1,0 MB"_s;
    QTest::newRow("large size") << u"targetSizeSpinBox"_s << u"12000"_s << 12000.0 << u"12000,0 MB"_s;
    QTest::newRow("bitrate") << u"vbitrateSpinBox"_s << u"1.500"_s << 1500.0 << u"1500"_s;
    QTest::newRow("width") << u"vauflspinBox"_s << u"1,280"_s << 1280.0 << u"1280"_s;
}

void PanelTest::germanNumbers()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(double, value);
    QFETCH(QString, shown);
    auto *box = window->findChild<QAbstractSpinBox *>(field);
    QVERIFY(box);
    box->setEnabled(true);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, typed);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(box->property("value").toDouble(), value);
    QCOMPARE(box->text(), shown);
}

void PanelTest::germanNumbersInTexts()
{
    QTemporaryDir dir;
    const QString output = dir.filePath(u"out.mp4"_s);
    QFile file(output);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(2500000));
    const QString note = oversizeNote(output, 2.0);
    QVERIFY2(note.contains(u"2,50 MB"_s) && note.contains(u"2,00 MB"_s), qPrintable(note));
    const QString refusal = videoBitrateForSize(0.01, 600, 128, u"mp4"_s, 7).refusal;
    QVERIFY2(refusal.contains(QRegularExpression(u"mindestens \\d+,\\d\\d MB"_s)), qPrintable(refusal));
}

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
