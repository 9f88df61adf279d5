#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
constexpr int pollMs = 20;
constexpr int maxIdleTicks = 400; // 8 s without the expected box

// Tests answering boxes themselves, and answers armed but not yet given: while
// there are any, the guard below leaves boxes to them.
int announcers = 0;
int armedAnswers = 0;

QString describe(QWidget *modal)
{
    QString text =
        QString::fromLatin1(modal->metaObject()->className()) + u" \""_s + modal->windowTitle() + u'"';
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        text += u": "_s + box->text();
    return text;
}

// Closes a box at once and fails the running test case with what it said.
void failOnBox(QWidget *modal, const char *why)
{
    const QString message = QString::fromLatin1(why) + describe(modal);
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
    QTest::qFail(message.toUtf8().constData(), __FILE__, __LINE__);
}

// Watches for modal boxes that no test announced, for the whole test program.
class UnexpectedBoxGuard : public QObject
{
public:
    explicit UnexpectedBoxGuard(QObject *parent) : QObject(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(50);
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (announcers > 0 || armedAnswers > 0 || !modal || !modal->isVisible()) {
            m_lastSeen = nullptr;
            return;
        }
        if (modal != m_lastSeen) { // on the second sight its own event loop runs
            m_lastSeen = modal;
            return;
        }
        m_lastSeen = nullptr;
        failOnBox(modal, "a box nobody expected: ");
    }
    QTimer m_timer;
    QPointer<QWidget> m_lastSeen;
};

void startUnexpectedBoxGuard()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        new UnexpectedBoxGuard(QCoreApplication::instance());
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(startUnexpectedBoxGuard)

AnnouncedBoxes::AnnouncedBoxes()
{
    ++announcers;
}

AnnouncedBoxes::~AnnouncedBoxes()
{
    --announcers;
}

ModalAnswerer::ModalAnswerer()
{
    m_timer.setInterval(pollMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
}

ModalAnswerer::~ModalAnswerer()
{
    armedAnswers -= int(m_answers.size());
}

void ModalAnswerer::clickBox(QMessageBox::StandardButton button)
{
    m_answers.push_back([button](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            return false;
        if (QAbstractButton *b = box->button(button))
            b->click();
        else
            box->reject();
        return true;
    });
    ++armedAnswers;
    m_timer.start();
}

void ModalAnswerer::answerFile(const QString &path)
{
    m_answers.push_back([path](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return false;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            // The dialog's directory model fills in the background; the name typed
            // in full is what a user would rely on.
            if (auto *edit = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s))
                edit->setText(path);
            // Accepted from the event loop, not from this poll: the dialog may ask
            // before it replaces a file, and that question must be seen by the next
            // poll (a timer does not fire again while its own call runs).
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
        return true;
    });
    ++armedAnswers;
    m_timer.start();
}

void ModalAnswerer::escape()
{
    m_answers.push_back([](QWidget *w) {
        QTest::keyClick(w, Qt::Key_Escape);
        return true;
    });
    ++armedAnswers;
    m_timer.start();
}

void ModalAnswerer::act(std::function<bool(QWidget *)> answer)
{
    m_answers.push_back(std::move(answer));
    ++armedAnswers;
    m_timer.start();
}

void ModalAnswerer::poll()
{
    if (m_answers.empty()) {
        m_timer.stop();
        return;
    }
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) {
        if (++m_idleTicks > maxIdleTicks) {
            m_timer.stop();
        }
        return;
    }
    // Answer only on the second sight: a dialog can be seen while it is still being
    // shown, before its own event loop runs, and closing it then would hang exec().
    if (!modal->isVisible() || modal != m_lastSeen) {
        m_lastSeen = modal;
        return;
    }
    m_lastSeen = nullptr;
    m_idleTicks = 0;
    SeenDialog s;
    s.className = QString::fromLatin1(modal->metaObject()->className());
    s.title = modal->windowTitle();
    s.size = modal->frameGeometry().size();
    if (const QScreen *screen = modal->screen())
        s.available = screen->availableGeometry();
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        s.text = box->text();
        s.detailedText = box->detailedText();
        s.icon = box->icon();
        for (QAbstractButton *b : box->buttons())
            s.buttons << b->text();
        if (box->defaultButton())
            s.defaultButton = box->standardButton(box->defaultButton());
    }
    // Taken from the queue before it is given: answering can open the next box
    // (a file dialog asking before it replaces a file), which the next answer meets.
    std::function<bool(QWidget *)> answer = std::move(m_answers.front());
    m_answers.pop_front();
    --armedAnswers;
    seen << s;
    if (!answer(modal)) {
        seen.removeLast();
        // Not the box this answer is for: the test's own handler may be waiting for
        // it; otherwise nobody will answer it.
        if (announcers > 0) {
            m_answers.push_front(std::move(answer));
            ++armedAnswers;
            return;
        }
        armedAnswers -= int(m_answers.size());
        m_answers.clear();
        m_timer.stop();
        failOnBox(modal, "a box of another kind than expected: ");
        return;
    }
    if (m_answers.empty())
        m_timer.stop();
}

bool ModalAnswerer::waitAll(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_answers.empty() && clock.elapsed() < timeoutMs && m_timer.isActive())
        QTest::qWait(pollMs);
    return m_answers.empty();
}

FakeConverter::FakeConverter()
{
    m_oldPath = qgetenv("PATH");
    QFile::copy(QStringLiteral(FAKE_FFMPEG), m_dir.filePath(u"ffmpeg"_s));
    QFile::setPermissions(m_dir.filePath(u"ffmpeg"_s), QFile::ExeOwner | QFile::ReadOwner);
    qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    qputenv("FAKE_FFMPEG_SCENARIO", QFile::encodeName(m_dir.filePath(u"scenario"_s)));
    qputenv("FAKE_FFMPEG_LOG", QFile::encodeName(m_dir.filePath(u"log"_s)));
    setScenario({u"exit 0"_s});
    qputenv("FAKE_FFMPEG_INFO_SCENARIO", QFile::encodeName(m_dir.filePath(u"info"_s)));
    setInfoScenario(describing(u"in.avi"_s));
}

QStringList FakeConverter::describing(const QString &file)
{
    return {u"err ffmpeg version 5.1\\nInput #0, avi, from '%1':\\n"_s.arg(file),
            u"err   Duration: 00:00:06.00, start: 0.000000, bitrate: 500 kb/s\\n"_s,
            u"err     Stream #0:0: Video: mpeg4 (Simple Profile), yuv420p, 160x120, 25 fps\\n"_s,
            u"err     Stream #0:1: Audio: mp3, 44100 Hz, mono, fltp, 64 kb/s\\n"_s,
            u"err At least one output file must be specified\\n"_s,
            u"exit 1"_s};
}

void FakeConverter::setInfoScenario(const QStringList &lines)
{
    QFile file(m_dir.filePath(u"info"_s));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(lines.join(u'\n').toUtf8() + '\n');
}

FakeConverter::~FakeConverter()
{
    qputenv("PATH", m_oldPath);
    qunsetenv("FAKE_FFMPEG_SCENARIO");
    qunsetenv("FAKE_FFMPEG_LOG");
    qunsetenv("FAKE_FFMPEG_INFO_SCENARIO");
}

void FakeConverter::setScenario(const QStringList &lines)
{
    QFile file(m_dir.filePath(u"scenario"_s));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(lines.join(u'\n').toUtf8() + '\n');
}

QList<QStringList> FakeConverter::runs() const
{
    QList<QStringList> result;
    QFile file(m_dir.filePath(u"log"_s));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    // One run per record: arguments separated by NUL, records ended by "\0\n".
    const QList<QByteArray> records = file.readAll().split('\n');
    for (const QByteArray &record : records) {
        if (record.isEmpty())
            continue;
        QStringList args;
        QList<QByteArray> parts = record.split('\0');
        parts.removeLast();
        for (const QByteArray &p : parts)
            args << QString::fromUtf8(p);
        result << args;
    }
    return result;
}

int FakeConverter::writtenPid(const QString &pidFile)
{
    QFile f(pidFile);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
}

void FakeConverter::removeAllFromPath()
{
    static QTemporaryDir empty;
    qputenv("PATH", QFile::encodeName(empty.path()));
}

QByteArray sampleConversionOutput(double durationSeconds, double fps, double speed)
{
    QByteArray out = "ffmpeg version 5.1 Copyright (c) 2000-2022 the FFmpeg developers\n"
                     "Input #0, avi, from '/tmp/in.avi':\n"
                     "  Metadata:\n    creation_time   : 2020-01-01T10:11:12.000000Z\n";
    const int total = int(durationSeconds * 100);
    out += QStringLiteral("  Duration: %1:%2:%3.%4, start: 0.000000, bitrate: 1234 kb/s\n")
               .arg(total / 360000, 2, 10, QChar(u'0'))
               .arg(total / 6000 % 60, 2, 10, QChar(u'0'))
               .arg(total / 100 % 60, 2, 10, QChar(u'0'))
               .arg(total % 100, 2, 10, QChar(u'0'))
               .toUtf8();
    out += "  Stream #0:0: Video: mpeg4, yuv420p, 160x120, 25 fps\n"
           "  Stream #0:1: Audio: mp3, 44100 Hz, stereo, fltp, 128 kb/s\n"
           "Output #0, mp4, to '/tmp/out.mp4':\n";
    for (int s = 1; s <= int(durationSeconds); ++s)
        out += QStringLiteral("frame=%1 fps=%2 q=2.0 size=%3kB time=00:%4:%5.00 bitrate=100.0kbits/s "
                              "speed=%6x\r")
                   .arg(s * 25, 5)
                   .arg(fps)
                   .arg(s * 10, 8)
                   .arg(s / 60, 2, 10, QChar(u'0'))
                   .arg(s % 60, 2, 10, QChar(u'0'))
                   .arg(speed)
                   .toUtf8();
    return out;
}

bool makeClip(const QString &path, double seconds, bool withVideo, bool withAudio, const QString &size)
{
    QStringList args{u"-y"_s, u"-v"_s, u"error"_s};
    if (withVideo)
        args << u"-f"_s << u"lavfi"_s << u"-i"_s
             << u"testsrc=size=%1:rate=25:duration=%2"_s.arg(size).arg(seconds);
    if (withAudio)
        args << u"-f"_s << u"lavfi"_s << u"-i"_s << u"sine=duration=%1"_s.arg(seconds);
    if (withVideo)
        args << u"-c:v"_s << u"mpeg4"_s;
    if (withAudio)
        args << u"-c:a"_s << u"libmp3lame"_s;
    args << path;
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(u"/usr/bin/ffmpeg"_s, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

namespace {
bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
} // namespace

// One DVD subtitle picture (a 4x2 block shown from 0.5 s for a second) as a
// VobSub pair: the converter cannot make picture subtitles out of text.
bool writeVobSub(const QString &stem)
{
    const QByteArray unit("\x00\x26\x00\x08" // size, commands
                          "\x00\x01\x00\x01" // two lines of colour 1
                          "\x00\x00\x00\x20\x01\x03\x32\x10\x04\xff\xf0\x05\x00\x00\x03" // show
                          "\x00\x00\x01\x06\x00\x04\x00\x06\xff"
                          "\x00\x58\x00\x20\x02\xff", // hide after 88 ticks
                          38);
    const QByteArray pes = QByteArray("\x81\x80\x05\x21\x00\x01\x00\x01\x20", 9) + unit;
    return writeFile(
               stem + u".sub"_s,
               QByteArray("\x00\x00\x01\xba\x44\x00\x04\x00\x04\x01\x01\x89\xc3\xf8\x00\x00\x01\xbd", 18) +
                   char(pes.size() >> 8) + char(pes.size() & 0xff) + pes) &&
           writeFile(stem + u".idx"_s,
                     "# VobSub index file, v7 (do not modify this line!)\nsize: 160x120\npalette: "
                     "000000, ffffff, 808080, ff0000, 00ff00, 0000ff, ffff00, ff00ff, 00ffff, 404040, "
                     "c0c0c0, 800000, 008000, 000080, 808000, 800080\nid: fr, index: 0\n"
                     "timestamp: 00:00:00:500, filepos: 000000000\n");
}
