// The window on the desktop: files dropped onto it or named on its command line,
// Qt's German texts, and what it keeps between runs, with the fake converter.
#include <QtTest>
#include <QtWidgets>

#include "batchfile.h"
#include "quorvid.h"
#include "startup.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class DesktopTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void drops_data();
    void drops();
    void dropsJoinRunningBatch();
    void commandLineFiles();
    void germanButtons();
    void keptAcrossWindows();
    void brokenConfigIgnored_data();
    void brokenConfigIgnored();

private:
    QString file(const QString &name);
    QStringList jobInputs(MainWindow &window);

    QTemporaryDir dir;
    FakeConverter fake;
};

void DesktopTest::initTestCase()
{
    for (const QString &name : {u"clip.avi"_s, u"a b/ü clip.mp4"_s, u"tree/B.mkv"_s, u"tree/a.mp3"_s,
                                u"tree/sub/c.webm"_s, u"tree/notes.txt"_s}) {
        QDir().mkpath(QFileInfo(file(name)).path());
        QVERIFY(QFile(file(name)).open(QIODevice::WriteOnly));
    }
}

QString DesktopTest::file(const QString &name)
{
    return dir.filePath(name);
}

QStringList DesktopTest::jobInputs(MainWindow &window)
{
    QStringList inputs;
    for (int row = 0; row < window.batchTableWidget->rowCount(); ++row)
        inputs << jobInput(window.batchTableWidget->item(row, 0)->text());
    return inputs;
}

// Delivers a drag and its drop where the platform would: to the widget under the
// point that takes drops, found from the widget the user points at.
static bool dropOn(QWidget *pointed, const QList<QUrl> &urls)
{
    QWidget *target = pointed;
    while (target && !target->acceptDrops())
        target = target->parentWidget();
    if (!target)
        return false;
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint pos = pointed->mapTo(target->window(), pointed->rect().center());
    const QPoint local = target->mapFrom(target->window(), pos);
    QDragEnterEvent enter(local, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(local), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void DesktopTest::drops_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QStringList>("urls"); // relative names become file addresses
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<QString>("box");
    const QString uml = u"a%20b/%C3%BC%20clip.mp4"_s;
    QTest::newRow("one file onto the input")
        << u"openLineEdit"_s << QStringList{u"clip.avi"_s} << u"clip.avi"_s << QStringList() << QString();
    QTest::newRow("one file onto the panel")
        << u"videoCheckBox"_s << QStringList{uml} << u"a b/ü clip.mp4"_s << QStringList() << QString();
    QTest::newRow("two files onto the input")
        << u"openLineEdit"_s << QStringList{u"clip.avi"_s, uml} << QString()
        << QStringList{u"a b/ü clip.mp4"_s, u"clip.avi"_s} << QString();
    QTest::newRow("folder onto the list")
        << u"batchTableWidget"_s << QStringList{u"tree"_s} << QString()
        << QStringList{u"tree/a.mp3"_s, u"tree/B.mkv"_s, u"tree/sub/c.webm"_s} << QString();
    QTest::newRow("remote and local onto the list")
        << u"batchTableWidget"_s << QStringList{u"https://example.org/x.avi"_s, u"clip.avi"_s} << QString()
        << QStringList{u"clip.avi"_s} << u"keine Dateien auf diesem Rechner"_s;
    QTest::newRow("remote onto the input") << u"openLineEdit"_s << QStringList{u"sftp://host/x.avi"_s}
                                           << QString() << QStringList() << u"sftp://host/x.avi"_s;
}

void DesktopTest::drops()
{
    QFETCH(QString, widget);
    QFETCH(QStringList, urls);
    QFETCH(QString, input);
    QFETCH(QStringList, jobs);
    QFETCH(QString, box);
    MainWindow window;
    QList<QUrl> addresses;
    for (const QString &url : urls)
        addresses << (url.contains(u':')
                          ? QUrl(url)
                          : QUrl::fromEncoded(
                                ("file://" + QUrl::toPercentEncoding(dir.path(), "/") + '/' + url.toUtf8())));
    ModalAnswerer answerer;
    if (!box.isEmpty())
        answerer.clickBox(QMessageBox::Ok);
    QWidget *pointed = window.findChild<QWidget *>(widget);
    if (auto *view = qobject_cast<QAbstractItemView *>(pointed))
        pointed = view->viewport();
    QVERIFY(dropOn(pointed, addresses));
    QVERIFY(answerer.waitAll());
    QTest::qWait(50);
    if (!box.isEmpty())
        QVERIFY2(answerer.seen.first().text.contains(box), qPrintable(answerer.seen.first().text));
    QCOMPARE(window.openLineEdit->text(), input.isEmpty() ? QString() : file(input));
    if (!input.isEmpty())
        QTRY_VERIFY(fake.runs().contains(QStringList{u"-i"_s, file(input)}));
    QStringList expected;
    for (const QString &job : jobs)
        expected << file(job);
    QCOMPARE(jobInputs(window), expected);
    QCOMPARE(window.batchConvertButton->isEnabled(), !jobs.isEmpty());
}

void DesktopTest::dropsJoinRunningBatch()
{
    fake.setScenario({u"@1 sleep 1000"_s, u"exit 0"_s});
    const qsizetype runsBefore = fake.runs().size();
    MainWindow window;
    QVERIFY(dropOn(window.batchTableWidget->viewport(), {QUrl::fromLocalFile(file(u"clip.avi"_s))}));
    QTRY_COMPARE(window.batchTableWidget->rowCount(), 1);
    const QString running = window.batchTableWidget->item(0, 0)->text();
    window.batchConvertButton->click();
    QTRY_VERIFY(fake.runs().size() > runsBefore);
    QVERIFY(dropOn(window.batchTableWidget->viewport(), {QUrl::fromLocalFile(file(u"tree"_s))}));
    QTRY_COMPARE(window.batchTableWidget->rowCount(), 4);
    // The running job is untouched; the run goes on with the added ones.
    QCOMPARE(window.batchTableWidget->item(0, 0)->text(), running);
    QTRY_VERIFY_WITH_TIMEOUT(window.insertJobButton->isEnabled(), 15000);
    for (int row = 0; row < 4; ++row)
        QVERIFY(window.batchTableWidget->item(row, 1));
    QCOMPARE(jobText(fake.runs().at(runsBefore)), running);
    fake.setScenario({u"exit 0"_s});
}

void DesktopTest::commandLineFiles()
{
    // One file opening is seen in the real program (X11 test); several become jobs.
    QDir::setCurrent(dir.path());
    MainWindow several;
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    several.openFiles({u"clip.avi"_s, u"missing.avi"_s, u"tree/sub"_s});
    QVERIFY(answerer.waitAll());
    QVERIFY(answerer.seen.first().text.contains(file(u"missing.avi"_s)));
    QCOMPARE(jobInputs(several), (QStringList{file(u"clip.avi"_s), file(u"tree/sub/c.webm"_s)}));
    QVERIFY(several.openLineEdit->text().isEmpty());
}

// Answers the next file dialog by cancelling it, and tells its start folder and
// button texts.
static QStringList cancelFileDialog(const std::function<void()> &trigger)
{
    const AnnouncedBoxes ownAnswers;
    QStringList seen;
    QTimer poll;
    QPointer<QWidget> last;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || last != dialog) {
            last = dialog;
            return;
        }
        poll.stop();
        seen << dialog->directory().absolutePath();
        for (QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
            seen << button->text();
        dialog->reject();
    });
    poll.start(20);
    QTimer::singleShot(8000, &poll, &QTimer::stop);
    trigger();
    return seen;
}

void DesktopTest::germanButtons()
{
    QVERIFY2(installQtGermanTranslations(*qApp), "Qt's German texts are needed (qt6-translations-l10n)");
    MainWindow window;
    const QStringList dialog = cancelFileDialog([&] { window.actionOpenFile->trigger(); });
    QVERIFY2(dialog.contains(u"&Öffnen"_s) && dialog.contains(u"Abbrechen"_s), qPrintable(dialog.join(u'|')));

    fake.setScenario({u"err Unknown encoder\\n"_s, u"exit 1"_s});
    window.openFiles({file(u"clip.avi"_s)});
    QTRY_VERIFY(window.convertButton->isEnabled());
    ModalAnswerer answerer;
    answerer.clickBox(QMessageBox::Ok);
    window.convertButton->click();
    QVERIFY(answerer.waitAll());
    QVERIFY2(answerer.seen.first().buttons.contains(u"Details einblenden..."_s),
             qPrintable(answerer.seen.first().buttons.join(u'|')));
    fake.setScenario({u"exit 0"_s});
}

void DesktopTest::keptAcrossWindows()
{
    QSize wanted;
    {
        MainWindow first;
        ModalAnswerer answerer;
        answerer.answerFile(file(u"tree/a.mp3"_s));
        first.actionOpenFile->trigger();
        QVERIFY(answerer.waitAll());
        first.showNormal();
        QTest::qWait(50);
        // A size of the user's own, a little larger than the smallest the form takes.
        wanted = first.minimumSizeHint().expandedTo(QSize(1050, 760)) + QSize(20, 10);
        first.resize(wanted);
        QTRY_COMPARE(first.size(), wanted);
        QVERIFY(first.close());
    }
    QVERIFY(QFile::exists(QDir::homePath() + u"/.config/quorvid/quorvid.conf"_s));
    MainWindow second;
    QVERIFY(!second.isMaximized());
    QCOMPARE(second.size(), wanted);
    QCOMPARE(cancelFileDialog([&] { second.actionOpenFile->trigger(); }).value(0), file(u"tree"_s));
    second.showMaximized();
    QVERIFY(second.close());
}

void DesktopTest::brokenConfigIgnored_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("garbage") << false;
    QTest::newRow("a folder in its place") << true;
}

void DesktopTest::brokenConfigIgnored()
{
    QFETCH(bool, directory);
    const QString config = QDir::homePath() + u"/.config/quorvid/quorvid.conf"_s;
    QDir(config).removeRecursively();
    QFile::remove(config);
    QDir().mkpath(QFileInfo(config).path());
    if (directory) {
        QVERIFY(QDir().mkpath(config));
    } else {
        static const char garbage[] = "[window\n\xff\xfe geometry=@ByteArray(\0\0\n[folders]\ninput=";
        QFile broken(config);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(garbage, sizeof garbage - 1);
    }
    MainWindow window;
    QTest::qWait(100);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(cancelFileDialog([&] { window.actionOpenFile->trigger(); }).value(0), QDir::homePath());
    QVERIFY(window.close());
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
