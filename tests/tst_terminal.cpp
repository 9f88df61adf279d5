// What the program writes to a terminal: names shown and never obeyed, and every
// wrong call answered in German, with no display at hand.
#include <QtTest>

#include "batchfile.h"
#include "terminaltext.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {
// True when the bytes hold nothing a terminal acts on: no C0 control but the
// allowed line break, no DEL, and valid UTF-8 without C1 controls.
bool inert(const QByteArray &bytes, bool lineBreaksAllowed)
{
    for (const char c : bytes)
        if ((uchar(c) < 0x20 && !(c == '\n' && lineBreaksAllowed)) || uchar(c) == 0x7f)
            return false;
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes)
        return false;
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.unicode() >= 0x80 && c.unicode() <= 0x9f; });
}

// Runs the program with no display reachable; its exit status, standard output
// and standard error.
struct Ran
{
    int status = -1;
    QByteArray out, err;
};

Ran runWithoutDisplay(const QStringList &arguments)
{
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name :
         {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s, u"XDG_SESSION_TYPE"_s})
        env.remove(name);
    run.setProcessEnvironment(env);
    run.start(QStringLiteral(QUORVID_BINARY), arguments);
    // A window that opened after all would wait for the user: end it.
    if (!run.waitForFinished(20000)) {
        run.kill();
        run.waitForFinished();
        return {};
    }
    return {run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1, run.readAllStandardOutput(),
            run.readAllStandardError()};
}
} // namespace

class TerminalTest : public QObject
{
    Q_OBJECT

private slots:
    void printable_data();
    void printable();
    void printableIsInert();
    void wrongCallsWithoutDisplay_data();
    void wrongCallsWithoutDisplay();
    void hostileNamesInRun();
};

void TerminalTest::printable_data()
{
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<bool>("keepLineBreaks");
    QTest::addColumn<QByteArray>("shown");

    const QByteArray name = "Ferien am Meer – Übersicht (Ä, ß) 日本 \xf0\x9f\x8e\xac\\e.avi";
    QTest::newRow("umlauts, spaces, backslash") << name << false << name;
    QTest::newRow("title sequence") << QByteArray("a\x1b]0;weg\x07z") << false
                                    << QByteArray("a\\e]0;weg\\az");
    QTest::newRow("C0 and DEL") << QByteArray("\x01\0\x7f\t\r\n", 6) << false
                                << QByteArray("\\x01\\x00\\x7f\\t\\r\\n");
    QTest::newRow("line break kept") << QByteArray("a\r\nb\n") << true << QByteArray("a\\r\nb\n");
    QTest::newRow("C1") << QByteArray("\xc2\x9b|\x9b") << false << QByteArray("\\x9b|?");
    QTest::newRow("invalid UTF-8") << QByteArray("\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80") << false
                                   << QByteArray("??|??|???|????");
    QTest::newRow("reversed extension")
        << QByteArray("clip\xe2\x80\xaevaa.sh") << false << QByteArray("clip\\u202evaa.sh");
}

void TerminalTest::printable()
{
    QFETCH(QByteArray, given);
    QFETCH(bool, keepLineBreaks);
    QFETCH(QByteArray, shown);
    const LineBreaks lineBreaks = keepLineBreaks ? LineBreaks::Keep : LineBreaks::Escape;
    QCOMPARE(printableText(given, lineBreaks), shown);
    // Shown once, shown for good.
    QCOMPARE(printableText(shown, lineBreaks), shown);
    if (QString::fromUtf8(given).toUtf8() == given)
        QCOMPARE(printableText(QString::fromUtf8(given), lineBreaks), QString::fromUtf8(shown));
}

void TerminalTest::printableIsInert()
{
    // Every single byte, every byte after a lead byte, and random runs of bytes.
    QList<QByteArray> samples;
    for (int a = 0; a < 256; ++a) {
        samples << QByteArray(1, char(a));
        for (const char lead : {'\xc2', '\xe2', '\xf0'})
            samples << QByteArray(1, lead) + char(a) + char(a);
    }
    QRandomGenerator random(24);
    for (int i = 0; i < 2000; ++i) {
        QByteArray bytes(random.bounded(1, 40), Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        samples << bytes;
    }
    for (const QByteArray &sample : std::as_const(samples)) {
        QVERIFY2(inert(printableText(sample), false), sample.toHex().constData());
        QVERIFY2(inert(printableText(sample, LineBreaks::Keep), true), sample.toHex().constData());
    }
    // A lone surrogate of a decoded name is shown as "?".
    QCOMPARE(printableText(u"a"_s + QChar(0xd800) + u"b\u009b"_s), u"a?b\\x9b"_s);
}

void TerminalTest::wrongCallsWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // in standard error, or in standard output for status 0

    QTest::newRow("unknown option") << QStringList{u"--bogus"_s} << 1 << u"Unbekannte Option 'bogus'."_s;
    QTest::newRow("run's option alone") << QStringList{u"--overwrite"_s, u"a.avi"_s} << 1
                                        << u"Die Option --overwrite gilt nur zusammen mit --run."_s;
    QTest::newRow("hostile option") << QStringList{u"--x\u001b]0;weg\u0007"_s} << 1
                                    << u"Unbekannte Option 'x\\e]0;weg\\a'."_s;
    QTest::newRow("Qt's own options stay Qt's")
        << QStringList{u"-platform"_s, u"offscreen"_s, u"--version"_s} << 0 << u"quorvid 2.2"_s;
    QTest::newRow("window") << QStringList() << 1 << u"Es gibt keine grafische Anzeige"_s;
    QTest::newRow("folder as list") << QStringList{u"--run"_s, QDir::tempPath()} << 2
                                    << u"%1 ist ein Ordner, keine Batchdatei."_s.arg(QDir::tempPath());
    QTest::newRow("unknown option with run")
        << QStringList{u"--run"_s, u"x.btc"_s, u"--bogus"_s} << 2 << u"Unbekannte Option 'bogus'."_s;
}

void TerminalTest::wrongCallsWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    const Ran ran = runWithoutDisplay(arguments);
    QCOMPARE(ran.status, status);
    const QString text = QString::fromUtf8(status == 0 ? ran.out : ran.err);
    QVERIFY2(text.contains(said), qPrintable(text));
    const QByteArray written = ran.out + ran.err;
    QVERIFY2(inert(written, true), written.toHex().constData());
}

void TerminalTest::hostileNamesInRun()
{
    FakeConverter fake;
    // The second job fails, and the converter's last line holds sequences too.
    fake.setScenario(
        {u"@2 err Fehler \u001b[2J\u001b]52;c;Z2VoZWlt\u0007 Ende\\n"_s, u"@2 exit 1"_s, u"exit 0"_s});
    QTemporaryDir dir;
    const QString hostile = dir.filePath(u"in\u001b]0;gehackt\u0007 \u009b2J Ä.avi"_s);
    const QStringList texts = {u"-y,-i,%1,%2/out1.mp3"_s.arg(hostile, dir.path()),
                               u"-y,-i,%1,%2/out2.mp3"_s.arg(hostile, dir.path())};
    const QString list = dir.filePath(u"liste.btc"_s);
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(batchFileContent(texts));
    file.close();

    const Ran ran = runWithoutDisplay({u"--run"_s, list, u"--keep-going"_s});
    QCOMPARE(ran.status, 1);
    QCOMPARE(fake.runs().size(), 2);
    const QByteArray written = ran.out + ran.err;
    QVERIFY2(inert(written, true), written.toHex().constData());
    const QString shown = dir.filePath(u"in\\e]0;gehackt\\a \\x9b2J Ä.avi"_s);
    const QStringList lines = QString::fromUtf8(ran.out).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(u"[1/2] OK"_s) && lines[0].contains(shown + u" -> "_s),
             qPrintable(lines[0]));
    QCOMPARE(lines[1], u"[2/2] FEHLER       %1: Fehler \\e[2J\\e]52;c;Z2VoZWlt\\a Ende"_s.arg(shown));
    QCOMPARE(lines[2], u"Batch beendet: 1 umgewandelt, 1 Fehler"_s);
}

QTEST_GUILESS_MAIN(TerminalTest)
#include "tst_terminal.moc"
