#ifndef FRAMEPACER_H
#define FRAMEPACER_H

// Caps how often a window paints what changed without the user's doing. A batch
// of short jobs changes the bar, the display, the job line, the status line and
// the table many times a second, and each change would be painted and sent to
// the window server on its own. The first change after a quiet spell is painted
// at once; later ones within the interval are painted together, once, when it
// ends. After input (keys, the mouse, a drop) the next picture goes out at once.
// The widgets' values change at once as before: only their painting waits.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;
class QWindow;

class FramePacer : public QObject
{
public:
    FramePacer(QWidget *window, int intervalMs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void release();

    QWidget *m_window;
    QPointer<QWindow> m_handle;
    int m_intervalMs;
    QElapsedTimer m_sinceFrame;
    QTimer m_timer;
    bool m_input = false;
    bool m_releasing = false;
};

#endif
