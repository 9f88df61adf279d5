// Subtitle files, burned subtitles and joined files through the window, with the
// real converter on short generated clips: the button beside the track list, the
// files beside an opened video, the burn choice and its question, and the dialog
// "Dateien verbinden".
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QStringConverter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "joindialog.h"
#include "quorvid.h"
#include "testsupport.h"
#include "tracklist.h"

using namespace Qt::StringLiterals;

class SubtitlesWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addedAndConverted_data();
    void addedAndConverted();
    void refused_data();
    void refused();
    void otherFiles_data();
    void otherFiles();
    void besideOffered_data();
    void besideOffered();
    void burnIn_data();
    void burnIn();
    void joinDialog_data();
    void joinDialog();

private:
    QString path(const QString &name) const { return m_work.filePath(name); }
    QTemporaryDir m_work;
};

namespace {
QString said(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool write(const QString &file, const QByteArray &bytes)
{
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

QByteArray srt(const QString &text, QStringConverter::Encoding encoding, bool bom = false)
{
    QStringEncoder encoder(encoding,
                           bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder(u"1\r\n00:00:00,000 --> 00:00:01,500\r\n"_s + text + u"\r\n\r\n"_s);
}

// The added files' rows of the track list: their language and title.
QStringList addedRows(MainWindow &window)
{
    auto *list = window.findChild<TrackList *>(u"trackList"_s);
    QStringList rows;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = list->topLevelItem(row);
        if (item->text(TrackList::KindColumn) == u"Untertitel (Datei)"_s)
            rows << item->text(TrackList::LanguageColumn) + u'|' + item->text(TrackList::TitleColumn);
    }
    return rows;
}

// Opens the clip in the window and waits for the look at it.
bool openAndLook(MainWindow &window, const QString &clip)
{
    window.openFiles({clip});
    auto *list = window.findChild<TrackList *>(u"trackList"_s);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000 && (window.findChild<QLineEdit *>(u"openLineEdit"_s)->text() != clip ||
                                       list->topLevelItemCount() < 2))
        QTest::qWait(20);
    return list->topLevelItemCount() >= 2;
}

void chooseCodec(MainWindow &window, const QString &video)
{
    auto *codecs = window.findChild<QComboBox *>(u"vcodecComboBox"_s);
    codecs->setCurrentIndex(codecs->findText(video));
    auto *audio = window.findChild<QComboBox *>(u"acodecComboBox"_s);
    audio->setCurrentIndex(audio->findText(u"copy"_s));
}

// Adds the file through "Untertitel hinzufügen…".
void addThroughButton(MainWindow &window, ModalAnswerer &answers, const QString &file)
{
    answers.answerFile(file);
    window.findChild<QPushButton *>(u"addSubtitleButton"_s)->click();
}
} // namespace

void SubtitlesWindowTest::initTestCase()
{
    QVERIFY(m_work.isValid());
    QVERIFY(makeClip(path(u"clip.avi"_s), 2));
    QVERIFY(makeClip(path(u"teil1.avi"_s), 1));
    QVERIFY(makeClip(path(u"teil2.avi"_s), 2));
    QVERIFY(makeClip(path(u"stumm.avi"_s), 2, true, false));
    QDir().mkpath(path(u"beside"_s));
    QVERIFY(makeClip(path(u"beside/film.avi"_s), 1));
    QVERIFY(write(path(u"beside/film.en.srt"_s), srt(u"Hello"_s, QStringConverter::Utf8)));
}

void SubtitlesWindowTest::addedAndConverted_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("typedLanguage"); // typed into the row; empty: left as guessed
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("guessed");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("codec");
    const QString text = u"Grüße aus Köln, Straße"_s;
    QTest::newRow("Windows-1252, language from the name, MKV")
        << u"Grüße.de.srt"_s << srt(text, QStringConverter::Latin1) << QString() << u"out1.mkv"_s << u"ger"_s
        << u"ger"_s << u"subrip"_s;
    QTest::newRow("UTF-16 with mark, language typed, MP4")
        << u"Untertitel.srt"_s << srt(text, QStringConverter::Utf16LE, true) << u"Französisch"_s
        << u"out2.mp4"_s << QString() << u"fre"_s << u"mov_text"_s;
}

void SubtitlesWindowTest::addedAndConverted()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, typedLanguage);
    QFETCH(QString, target);
    QFETCH(QString, guessed);
    QFETCH(QString, language);
    QFETCH(QString, codec);
    QVERIFY(write(path(name), bytes));
    MainWindow window;
    QVERIFY(openAndLook(window, path(u"clip.avi"_s)));
    ModalAnswerer answers;
    addThroughButton(window, answers, path(name));
    QVERIFY(answers.waitAll());
    QCOMPARE(addedRows(window), QStringList{guessed + u'|'});
    if (!typedLanguage.isEmpty()) {
        auto *list = window.findChild<TrackList *>(u"trackList"_s);
        QTreeWidgetItem *row = list->topLevelItem(list->topLevelItemCount() - 1);
        row->setText(TrackList::TitleColumn, u"Für Hörgeschädigte"_s);
        row->setText(TrackList::LanguageColumn, typedLanguage);
        QTRY_COMPARE(addedRows(window), QStringList{language + u"|Für Hörgeschädigte"_s});
    }
    chooseCodec(window, u"copy"_s);
    window.findChild<QLineEdit *>(u"saveLineEdit"_s)->setText(path(target));
    auto *convert = window.findChild<QPushButton *>(u"convertButton"_s);
    convert->click();
    QVERIFY(!convert->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(convert->isEnabled(), 60000);

    const QString streams = said(
        u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-select_streams"_s, u"s"_s, u"-show_entries"_s,
                       u"stream=codec_name:stream_tags=language"_s, u"-of"_s, u"csv=p=0"_s, path(target)});
    QCOMPARE(streams.trimmed(), codec + u',' + language);
    const QString cues = said(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-i"_s, path(target), u"-map"_s, u"0:s:0"_s,
                                            u"-f"_s, u"srt"_s, u"-"_s});
    QVERIFY2(cues.contains(u"Grüße aus Köln, Straße"_s), qPrintable(cues));
}

void SubtitlesWindowTest::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << u"leer.srt"_s << QByteArray();
    QByteArray binary(4096, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) % 256);
    QTest::newRow("no text") << u"bild.srt"_s << binary;
}

void SubtitlesWindowTest::refused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(write(path(name), bytes));
    MainWindow window;
    QVERIFY(openAndLook(window, path(u"clip.avi"_s)));
    ModalAnswerer answers;
    answers.answerFile(path(name));
    answers.clickBox(QMessageBox::Ok);
    window.findChild<QPushButton *>(u"addSubtitleButton"_s)->click();
    QVERIFY(answers.waitAll());
    QCOMPARE(answers.seen.size(), 2);
    QCOMPARE(answers.seen[1].title, u"Quorvid Fehler"_s);
    QVERIFY2(answers.seen[1].text.contains(name), qPrintable(answers.seen[1].text));
    QVERIFY(addedRows(window).isEmpty());
    QCOMPARE(window.findChild<QComboBox *>(u"burnInComboBox"_s)->count(), 1);
}

// Another file of the batch list takes the subtitle files beside it only when
// "Untertitel daneben mitnehmen" is ticked.
void SubtitlesWindowTest::otherFiles_data()
{
    QTest::addColumn<bool>("beside");
    QTest::newRow("beside not ticked") << false;
    QTest::newRow("beside ticked") << true;
}

void SubtitlesWindowTest::otherFiles()
{
    QFETCH(bool, beside);
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    chooseCodec(window, u"h264"_s);
    window.findChild<QCheckBox *>(u"subtitlesBesideCheckBox"_s)->setChecked(beside);
    ModalAnswerer answers;
    answers.answerFile(path(u"beside/film.avi"_s));
    window.findChild<QAction *>(u"actionMoreFiles"_s)->trigger();
    QVERIFY(answers.waitAll());
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 20000);
    const QString job = table->item(0, 0)->text();
    QVERIFY2(job.contains(u"untertitel1.srt"_s) == beside, qPrintable(job));
}

void SubtitlesWindowTest::besideOffered_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("taken") << true;
    QTest::newRow("declined") << false;
}

void SubtitlesWindowTest::besideOffered()
{
    QFETCH(bool, yes);
    MainWindow window;
    ModalAnswerer answers;
    answers.clickBox(yes ? QMessageBox::Yes : QMessageBox::No);
    QVERIFY(openAndLook(window, path(u"beside/film.avi"_s)));
    QVERIFY(answers.waitAll());
    QVERIFY2(answers.seen.first().text.contains(u"film.en.srt"_s), qPrintable(answers.seen.first().text));
    QTRY_COMPARE(addedRows(window), yes ? QStringList{u"eng|"_s} : QStringList());
    // Another file opened: its added files go with the one before.
    QVERIFY(openAndLook(window, path(u"clip.avi"_s)));
    QTRY_VERIFY(addedRows(window).isEmpty());
}

void SubtitlesWindowTest::burnIn_data()
{
    QTest::addColumn<QString>("videoCodec");
    QTest::addColumn<bool>("asked");
    QTest::newRow("copy") << u"copy"_s << true;
    QTest::newRow("encoded") << u"h264"_s << false;
}

void SubtitlesWindowTest::burnIn()
{
    QFETCH(QString, videoCodec);
    QFETCH(bool, asked);
    // The first file unticked, the second burned: the job takes the burned one
    // only, as its first file.
    QVERIFY(write(path(u"left.en.srt"_s), srt(u"Left out"_s, QStringConverter::Utf8)));
    QVERIFY(write(path(u"burn.de.srt"_s), srt(u"Eingebrannt"_s, QStringConverter::Utf8)));
    MainWindow window;
    QVERIFY(openAndLook(window, path(u"clip.avi"_s)));
    ModalAnswerer answers;
    addThroughButton(window, answers, path(u"left.en.srt"_s));
    addThroughButton(window, answers, path(u"burn.de.srt"_s));
    QVERIFY(answers.waitAll());
    auto *list = window.findChild<TrackList *>(u"trackList"_s);
    list->topLevelItem(list->topLevelItemCount() - 2)->setCheckState(TrackList::KindColumn, Qt::Unchecked);
    auto *burn = window.findChild<QComboBox *>(u"burnInComboBox"_s);
    QCOMPARE(burn->count(), 3);
    burn->setCurrentIndex(2);
    chooseCodec(window, videoCodec);
    window.findChild<QLineEdit *>(u"saveLineEdit"_s)->setText(path(u"burned.mkv"_s));
    if (asked)
        answers.clickBox(QMessageBox::No);
    window.findChild<QPushButton *>(u"insertJobButton"_s)->click();
    QVERIFY(answers.waitAll());
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    if (asked) {
        QCOMPARE(answers.seen.size(), 3);
        QVERIFY2(answers.seen[2].text.contains(u"einbrennen"_s), qPrintable(answers.seen[2].text));
        QCOMPARE(table->rowCount(), 0);
    } else {
        QCOMPARE(answers.seen.size(), 2);
        QTRY_COMPARE(table->rowCount(), 1);
        const QString job = table->item(0, 0)->text();
        QVERIFY2(job.contains(u"subtitles=filename=untertitel1.srt"_s) && !job.contains(u"untertitel2"_s),
                 qPrintable(job));
    }
}

void SubtitlesWindowTest::joinDialog_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("videoCodec");
    QTest::addColumn<QString>("box");    // what is shown after "Verbinden": "", "refused", "question"
    QTest::addColumn<QString>("output"); // empty: no job
    QTest::addColumn<int>("audioTracks");
    QTest::newRow("matching, copied")
        << u"teil2.avi"_s << u"copy"_s << QString() << u"teil2-verbunden.avi"_s << 1;
    QTest::newRow("not matching, copied") << u"stumm.avi"_s << u"copy"_s << u"refused"_s << QString() << 0;
    QTest::newRow("audio tracks differ")
        << u"stumm.avi"_s << u"h264"_s << u"question"_s << u"stumm-verbunden.mp4"_s << 0;
}

void SubtitlesWindowTest::joinDialog()
{
    QFETCH(QString, second);
    QFETCH(QString, videoCodec);
    QFETCH(QString, box);
    QFETCH(QString, output);
    QFETCH(int, audioTracks);
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    chooseCodec(window, videoCodec);
    if (videoCodec != u"copy"_s) {
        auto *audio = window.findChild<QComboBox *>(u"acodecComboBox"_s);
        audio->setCurrentIndex(audio->findText(u"aac"_s));
    }
    ModalAnswerer answers;
    const auto later = [](QWidget *dialog, const char *button) {
        if (!qobject_cast<JoinDialog *>(dialog))
            return false;
        QPushButton *pressed =
            qstrcmp(button, "ok") == 0
                ? dialog->findChild<QDialogButtonBox *>(u"buttonBox"_s)->button(QDialogButtonBox::Ok)
                : dialog->findChild<QPushButton *>(QString::fromLatin1(button));
        QMetaObject::invokeMethod(pressed, &QPushButton::click, Qt::QueuedConnection);
        return true;
    };
    for (const QString &file : {path(u"teil1.avi"_s), path(second)}) {
        answers.act([&later](QWidget *w) { return later(w, "addButton"); });
        answers.answerFile(file);
    }
    // The second file moved up: it is joined first.
    QStringList listed;
    answers.act([&listed, &later](QWidget *w) {
        if (auto *list = w->findChild<QListWidget *>(u"fileList"_s)) {
            for (int row = 0; row < list->count(); ++row)
                listed << list->item(row)->text();
            list->setCurrentRow(1);
            w->findChild<QPushButton *>(u"upButton"_s)->click();
        }
        return later(w, "ok");
    });
    if (box == u"refused"_s) {
        answers.clickBox(QMessageBox::Ok);
        answers.act([](QWidget *w) {
            QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
            return qobject_cast<JoinDialog *>(w) != nullptr;
        });
    } else if (box == u"question"_s) {
        answers.clickBox(QMessageBox::No);
    }
    // The dialog stays open while it looks at the files; a box nobody waits for
    // then is closed and fails the test.
    AnnouncedBoxes lookingAtFiles;
    QString unexpected;
    QTimer boxes;
    connect(&boxes, &QTimer::timeout, this, [&unexpected, &answers] {
        auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (shown && answers.pending() == 0) {
            unexpected = shown->text();
            shown->reject();
        }
    });
    boxes.start(200);
    window.findChild<QAction *>(u"actionDateienVerbinden"_s)->trigger();
    QVERIFY(answers.waitAll());
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected));
    QCOMPARE(listed, (QStringList{path(u"teil1.avi"_s), path(second)}));
    if (box == u"refused"_s)
        QCOMPARE(answers.seen[5].title, u"Quorvid Fehler"_s);
    if (box == u"question"_s) {
        QStringList buttons = answers.seen[5].buttons;
        buttons.sort();
        QCOMPARE(buttons,
                 (QStringList{u"Abbrechen"_s, u"Mit Stille auffüllen"_s, u"Nur gemeinsame Spuren"_s}));
    }
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    if (output.isEmpty()) {
        QTest::qWait(100);
        QCOMPARE(table->rowCount(), 0);
        return;
    }
    QTRY_COMPARE(table->rowCount(), 1);
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    QTRY_COMPARE_WITH_TIMEOUT(table->item(0, 1) ? table->item(0, 1)->text() : QString(), u"Done."_s, 60000);
    const QStringList format =
        said(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s, u"format=duration:stream=codec_type"_s,
                            u"-of"_s, u"default=nw=1:nk=1"_s, path(output)})
            .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(format.count(u"audio"_s), audioTracks);
    const double seconds = format.value(format.size() - 1).toDouble();
    QVERIFY2(std::abs(seconds - 3.0) < 0.2, qPrintable(format.join(u' ')));
}

QTEST_MAIN(SubtitlesWindowTest)
#include "tst_subtitleswindow.moc"
