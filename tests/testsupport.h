// What the window tests share: answering modal boxes and file dialogs, and the
// fake converter on PATH.
#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <functional>

// What a modal box or dialog showed when it was answered.
struct SeenDialog
{
    QString className;
    QString title;
    QString text;
    QString detailedText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    // Its size as shown, and the room its screen gives to windows.
    QSize size;
    QRect available;
};

// Answers the next modal boxes and dialogs in the order they were armed. Polls for
// the active modal widget and gives up after a bounded time, so that a box that
// never comes fails the test instead of hanging it. A box of another kind than the
// next armed answer expects is closed at once and fails the test with its text.
class ModalAnswerer : public QObject
{
public:
    ModalAnswerer();
    ~ModalAnswerer() override;

    // Click the standard button of the next QMessageBox.
    void clickBox(QMessageBox::StandardButton button);
    // Accept the next file dialog with this path, or cancel it when it is empty.
    void answerFile(const QString &path);
    // Close the next dialog with Escape (as a user leaving it).
    void escape();
    // Any other dialog: `answer` gets the next modal widget and returns false when
    // it is not the one it is for. Whatever opens another modal widget (a button
    // that opens a file dialog, the dialog's accept) must be queued, not called.
    void act(std::function<bool(QWidget *)> answer);

    // Runs the event loop until every armed answer was given; false on time-out.
    bool waitAll(int timeoutMs = 10000);
    int pending() const { return int(m_answers.size()); }

    QList<SeenDialog> seen;

private:
    void poll();
    std::deque<std::function<bool(QWidget *)>> m_answers;
    QTimer m_timer;
    int m_idleTicks = 0;
    QPointer<QWidget> m_lastSeen;
};

// While one of these lives, the test answers modal boxes on its own. Otherwise
// every box that no ModalAnswerer announced is closed at once and fails the test
// with its text, instead of blocking the test program until its time-out.
struct AnnouncedBoxes
{
    AnnouncedBoxes();
    ~AnnouncedBoxes();
    AnnouncedBoxes(const AnnouncedBoxes &) = delete;
    AnnouncedBoxes &operator=(const AnnouncedBoxes &) = delete;
};

// The fake converter: a program of ours named "ffmpeg" put first on PATH. A
// scenario file tells it what to print and how to end; every run appends its
// argument list to a log.
class FakeConverter
{
public:
    FakeConverter();
    ~FakeConverter();

    // Scenario lines: "err TEXT" (\n, \r escapes), "sleep MS", "exit CODE",
    // "signal N", "waitterm" (wait for SIGTERM, then exit 255), "dieonterm" (wait
    // and be killed by SIGTERM), "output FILE [BYTES]" (the run's output becomes a
    // copy of FILE, cut after BYTES bytes when given), "outputtext TEXT" (the
    // output holds just TEXT). A line written
    // "@N LINE" holds only for the N-th conversion run since the fake was made.
    void setScenario(const QStringList &lines);
    // The scenario of information runs ("-i FILE"); by default they describe a
    // clip with a video and an audio stream and end with the closing complaint.
    void setInfoScenario(const QStringList &lines);
    static QStringList describing(const QString &file);
    // The argument lists of the runs so far, oldest first.
    QList<QStringList> runs() const;
    QString directory() const { return m_dir.path(); }

    // Hide every ffmpeg: PATH holds only an empty folder besides the fake's.
    static void removeAllFromPath();
    // The process id a "pid FILE" scenario line wrote, or 0 while there is none.
    static int writtenPid(const QString &pidFile);

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

// Writes the standard error a real converter prints for a file, split in chunks.
QByteArray sampleConversionOutput(double durationSeconds, double fps, double speed);

// Generates a test clip with the real converter; false when that fails.
bool makeClip(const QString &path, double seconds, bool withVideo = true, bool withAudio = true,
              const QString &size = QStringLiteral("160x120"));

// One DVD subtitle picture (a 4x2 block shown from 0.5 s for a second, 160x120)
// as a VobSub pair STEM.idx and STEM.sub: the converter cannot make picture
// subtitles out of text, but muxes and encodes these.
bool writeVobSub(const QString &stem);

#endif
