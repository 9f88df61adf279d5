// Start-up check, closing, help, About box, toolbar toggle and the compiled-in
// pictures.
#include <QtTest>
#include <QtWidgets>

#include "manual.h"
#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void startsQuietlyWithConverter();
    void normalCloseEndsWithZero();
    void helpOpensManualAndShowsNormal();
    void manualPathShownWithoutHandler();
    void manualFound_data();
    void manualFound();
    void unexpectedBoxFailsAtOnce();
    void aboutBox();
    void toolbarToggle();
    void resources_data();
    void resources();
};

void ShellTest::startsQuietlyWithConverter()
{
    FakeConverter fake; // an ffmpeg on PATH in any case
    MainWindow window;
    QTest::qWait(200);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(window.isVisible());
    QVERIFY(window.isMaximized());
}

void ShellTest::normalCloseEndsWithZero()
{
    FakeConverter fake;
    auto *window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QTimer::singleShot(100, window, [window] { window->findChild<QAction *>(u"actionClose"_s)->trigger(); });
    QCOMPARE(QApplication::exec(), 0);
}

void ShellTest::helpOpensManualAndShowsNormal()
{
    FakeConverter fake;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
    MainWindow window;
    QVERIFY(window.isMaximized());
    window.findChild<QAction *>(u"actionManual"_s)->trigger();
    QDesktopServices::unsetUrlHandler(u"file"_s);
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].scheme(), u"file"_s);
    QCOMPARE(catcher.urls[0].toLocalFile(), QCoreApplication::applicationDirPath() + u"/doc/index.html"_s);
    QVERIFY(!window.isMaximized());
    // The form's size, grown to what the column beside the information needs:
    // at least the least it takes, at most what it asks for.
    const QSize normal = window.size();
    QVERIFY(normal.width() >= std::max(995, window.minimumSizeHint().width()) && normal.height() >= 712);
    QCOMPARE(normal.boundedTo(window.sizeHint().expandedTo(QSize(995, 712))), normal);
}

void ShellTest::manualPathShownWithoutHandler()
{
    FakeConverter fake;
    MainWindow window;
    // The offscreen platform has no program for file addresses, like a minimal
    // desktop without one.
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    window.findChild<QAction *>(u"actionManual"_s)->trigger();
    QVERIFY(answerer.waitAll());
    QVERIFY2(answerer.seen[0].text.contains(QCoreApplication::applicationDirPath() + u"/doc/index.html"_s),
             qPrintable(answerer.seen[0].text));
}

// Where the manual is looked for, in folder layouts made for the case: the build
// folder (doc/ beside the program) and an installation under a prefix (bin/ and
// share/quorvid/doc/). Columns: manuals that exist, the program's folder, the one found.
void ShellTest::manualFound_data()
{
    QTest::addColumn<QStringList>("manuals");
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QString>("found");
    const QString installed = u"usr/share/quorvid/doc/index.html"_s;
    QTest::newRow("build folder") << QStringList{u"build/doc/index.html"_s} << u"build"_s
                                  << u"build/doc/index.html"_s;
    QTest::newRow("installed") << QStringList{installed} << u"usr/bin"_s << installed;
    QTest::newRow("beside wins") << QStringList{installed, u"usr/bin/doc/index.html"_s} << u"usr/bin"_s
                                 << u"usr/bin/doc/index.html"_s;
    QTest::newRow("other prefix") << QStringList{installed} << u"opt/bin"_s << u"opt/bin/doc/index.html"_s;
    QTest::newRow("a folder is no manual") << QStringList{u"usr/share/quorvid/doc/index.html/x"_s}
                                           << u"usr/bin"_s << u"usr/bin/doc/index.html"_s;
    QTest::newRow("none") << QStringList() << u"usr/bin"_s << u"usr/bin/doc/index.html"_s;
}

void ShellTest::manualFound()
{
    QFETCH(QStringList, manuals);
    QFETCH(QString, programDir);
    QFETCH(QString, found);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    QVERIFY(dir.mkpath(programDir));
    for (const QString &manual : std::as_const(manuals)) {
        QVERIFY(dir.mkpath(QFileInfo(manual).path()));
        QFile file(dir.filePath(manual));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(manualFile(dir.filePath(programDir), u"../share/quorvid/doc"_s), dir.filePath(found));
}

// A box no test expected is closed at once and fails the case with its text,
// instead of blocking the whole test program until its time-out.
void ShellTest::unexpectedBoxFailsAtOnce()
{
    QElapsedTimer clock;
    clock.start();
    QEXPECT_FAIL("", "the box below is unexpected on purpose", Continue);
    QMessageBox::information(nullptr, u"Quorvid"_s, u"Niemand erwartet mich"_s);
    QVERIFY(clock.elapsed() < 5000);
}

void ShellTest::aboutBox()
{
    FakeConverter fake;
    MainWindow window;
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    window.findChild<QAction *>(u"actionAbout"_s)->trigger();
    QVERIFY(answerer.waitAll());
    const SeenDialog &box = answerer.seen.first();
    QCOMPARE(box.title, u"Über Quorvid 2.2"_s);
    const QStringList pieces{u"<h2>Quorvid 2.2</h2>"_s, u"Geschrieben von Pellandor 2011/2012.</p>"_s,
                             u"<p align=\"center\"><img src=\":/pics/pellandor.jpg\" /></p>"_s,
                             u"<a href=\"https://quorvid.example.org\">quorvid.example.org</a>"_s,
                             u"Quorvid ist ein grafisches Frontend für ffmpeg.<br>"_s};
    qsizetype at = 0;
    for (const QString &piece : pieces) {
        const qsizetype found = box.text.indexOf(piece, at);
        QVERIFY2(found >= at, qPrintable(piece));
        at = found + piece.size();
    }
    QCOMPARE(box.buttons.size(), 1);
}

void ShellTest::toolbarToggle()
{
    FakeConverter fake;
    MainWindow window;
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *action = window.findChild<QAction *>(u"actionToolbarOnOff"_s);
    auto *toolBar = window.findChild<QToolBar *>(u"toolBar"_s);
    QCOMPARE(action->toolTip(), u"Toolbar An/Aus"_s);
    QVERIFY(toolBar->isVisible());
    action->trigger();
    QVERIFY(!action->isChecked());
    QVERIFY(!toolBar->isVisible());
    action->trigger();
    QVERIFY(toolBar->isVisible());
    // Hidden through the window's own context menu, the action stays checked: the
    // next trigger unchecks it and keeps the bar hidden, the one after shows it.
    toolBar->toggleViewAction()->trigger();
    QVERIFY(!toolBar->isVisible());
    action->trigger();
    QVERIFY(!toolBar->isVisible());
    action->trigger();
    QVERIFY(toolBar->isVisible());
}

void ShellTest::resources_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<qint64>("bytes");
    QTest::newRow(":/pics/pellandor.jpg") << u"jpeg"_s << QSize(150, 179) << qint64(34620);
    QTest::newRow(":/symbols/symbols/fileopen.png") << u"png"_s << QSize(32, 32) << qint64(2232);
    QTest::newRow(":/symbols/symbols/project_open.png") << u"png"_s << QSize(32, 32) << qint64(1620);
    QTest::newRow(":/symbols/symbols/filesave.png") << u"png"_s << QSize(32, 32) << qint64(1348);
    QTest::newRow(":/symbols/symbols/view_text.png") << u"png"_s << QSize(32, 32) << qint64(952);
    QTest::newRow(":/symbols/symbols/revert.png") << u"png"_s << QSize(32, 32) << qint64(1651);
    QTest::newRow(":/symbols/symbols/fileclose.png") << u"png"_s << QSize(32, 32) << qint64(1594);
    QTest::newRow(":/symbols/symbols/stop.png") << u"png"_s << QSize(32, 32) << qint64(1630);
}

void ShellTest::resources()
{
    QFETCH(QString, format);
    QFETCH(QSize, pixels);
    QFETCH(qint64, bytes);
    const QString path = QString::fromLatin1(QTest::currentDataTag());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.size(), bytes);
    QImageReader reader(path);
    QCOMPARE(QString::fromLatin1(reader.format()), format);
    const QImage image = reader.read();
    QCOMPARE(image.size(), pixels);
    if (format == u"png")
        QVERIFY(image.hasAlphaChannel());
}

QTEST_MAIN(ShellTest)
#include "tst_shell.moc"
