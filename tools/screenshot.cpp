// Draws the README's picture of the window: a generated clip with two languages
// opened (its tracks beside the information), two jobs in the batch list, both
// converted. Run offscreen from the build folder:
//   QT_QPA_PLATFORM=offscreen ./screenshot doc/screenshot.png
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "quorvid.h"

using namespace Qt::StringLiterals;

namespace {
void waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QTemporaryDir dir;
    const QString clip = dir.filePath(u"Urlaub am Meer.mkv"_s);
    // Two languages of sound and two of subtitles, as a film from a shop has.
    for (const QString &language : {u"ger"_s, u"eng"_s}) {
        QFile subtitles(dir.filePath(language + u".srt"_s));
        if (!subtitles.open(QIODevice::WriteOnly))
            return 1;
        subtitles.write("1\n00:00:00,000 --> 00:00:01,500\nHallo / Hello\n\n");
    }
    QProcess make;
    make.start(u"ffmpeg"_s, {u"-v"_s,
                             u"error"_s,
                             u"-f"_s,
                             u"lavfi"_s,
                             u"-i"_s,
                             u"testsrc=size=320x240:rate=25:duration=2"_s,
                             u"-f"_s,
                             u"lavfi"_s,
                             u"-i"_s,
                             u"sine=duration=2"_s,
                             u"-f"_s,
                             u"lavfi"_s,
                             u"-i"_s,
                             u"sine=frequency=600:duration=2"_s,
                             u"-i"_s,
                             dir.filePath(u"ger.srt"_s),
                             u"-i"_s,
                             dir.filePath(u"eng.srt"_s),
                             u"-map"_s,
                             u"0"_s,
                             u"-map"_s,
                             u"1"_s,
                             u"-map"_s,
                             u"2"_s,
                             u"-map"_s,
                             u"3"_s,
                             u"-map"_s,
                             u"4"_s,
                             u"-metadata:s:a:0"_s,
                             u"language=ger"_s,
                             u"-metadata:s:a:0"_s,
                             u"title=Deutsch"_s,
                             u"-metadata:s:a:1"_s,
                             u"language=eng"_s,
                             u"-metadata:s:a:1"_s,
                             u"title=English"_s,
                             u"-metadata:s:s:0"_s,
                             u"language=ger"_s,
                             u"-metadata:s:s:1"_s,
                             u"language=eng"_s,
                             u"-c:v"_s,
                             u"mpeg4"_s,
                             u"-c:a"_s,
                             u"libmp3lame"_s,
                             u"-c:s"_s,
                             u"srt"_s,
                             clip});
    if (!make.waitForFinished(60000) || make.exitCode() != 0)
        return 1;

    MainWindow window;
    window.showNormal();
    window.resize(995, 712);
    // Open the clip through the program's own dialog, as a user would.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            answer.stop();
            dialog->findChild<QLineEdit *>(u"fileNameEdit"_s)->setText(clip);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    });
    answer.start(50);
    QMetaObject::invokeMethod(&window, "openDialog");
    auto *info = window.findChild<QTextEdit *>(u"infoTextEdit"_s);
    waitFor([&] { return info->document()->blockCount() >= 3; }, 10000);

    window.findChild<QPushButton *>(u"insertJobButton"_s)->click();
    // The second job: H.264 with AAC at the source's own size and medium quality.
    window.findChild<QComboBox *>(u"vcodecComboBox"_s)->setCurrentIndex(7);
    QMetaObject::invokeMethod(&window, "vcopywahl");
    window.findChild<QComboBox *>(u"acodecComboBox"_s)->setCurrentIndex(5);
    window.findChild<QPushButton *>(u"insertJobButton"_s)->click();
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    window.findChild<QPushButton *>(u"batchConvertButton"_s)->click();
    waitFor([&] { return table->item(1, 1) != nullptr; }, 30000);
    // The tracks of the opened file, as they go into an H.264 job.
    auto *tracks = window.findChild<QTreeWidget *>(u"trackList"_s);
    waitFor([&] { return tracks && tracks->topLevelItemCount() >= 5; }, 10000);
    waitFor([] { return false; }, 300);
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
