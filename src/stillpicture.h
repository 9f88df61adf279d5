// A small picture of a source file: one frame (or an audio file's cover) taken by
// the converter in the background, so that the window never waits for it.
#ifndef STILLPICTURE_H
#define STILLPICTURE_H

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

class QProcess;

// The converter's arguments for one frame at the given second, scaled down to fit
// the bounds with its shape kept (anamorphic pictures as shown), written as PNG to
// standard output. At 0 seconds (or less) there is no seek at all: a seek, even
// to 0, loses the cover picture of an audio file. A relative name goes through the
// "file:" protocol, so that a leading "-" or a ":" in it is never read as an
// option or a protocol.
QStringList stillArguments(const QString &path, double seconds, const QSize &bounds);

// Where the picture of a file is taken: at the start of the part when one is set,
// else at a tenth of the duration (0 when that is unknown), past a dark opening.
double stillSeconds(double durationSeconds, std::optional<double> partStart);

class StillPicture : public QObject
{
    Q_OBJECT
public:
    explicit StillPicture(QObject *parent = nullptr);
    ~StillPicture() override;

    // Starts taking the picture at once; an earlier request is cancelled and
    // reports nothing.
    void request(const QString &path, double seconds, const QSize &bounds);
    // The same after a short pause; each call restarts the pause, so that typing
    // gives one picture at the end.
    void requestSoon(const QString &path, double seconds, const QSize &bounds);
    // Stops the waiting request and the running converter; neither reports.
    void cancel();

    // How long requestSoon waits, and how long a converter run may take.
    static constexpr int pauseMs = 400;
    static constexpr int runLimitMs = 15000;
    // A picture for a small display is far smaller; more output is no picture.
    static constexpr qint64 largestOutput = 32 * 1024 * 1024;

signals:
    void pictureReady(const QString &path, const QImage &picture);
    void noPicture(const QString &path);

private:
    void start(double seconds);
    void finish();
    void stopProcess();

    QString m_path;
    double m_seconds = 0;
    QSize m_bounds;
    QPointer<QProcess> m_process;
    QByteArray m_output;
    QTimer m_pause;
    QTimer m_runLimit;
};

#endif
