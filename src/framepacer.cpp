#include "framepacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

FramePacer::FramePacer(QWidget *window, int intervalMs)
    : QObject(window), m_window(window), m_intervalMs(intervalMs)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FramePacer::release);
    window->installEventFilter(this);
}

void FramePacer::release()
{
    // The window's painting was held: everything changed since is painted now.
    m_releasing = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(m_window, &request);
    m_releasing = false;
}

bool FramePacer::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::WinIdChange:
        // Input reaches the window server's window before any widget: watched there.
        if (watched == m_window && m_window->windowHandle() && m_handle != m_window->windowHandle()) {
            m_handle = m_window->windowHandle();
            m_handle->installEventFilter(this);
        }
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        m_input = true;
        break;
    case QEvent::UpdateRequest:
        if (watched != m_window)
            break;
        if (m_releasing || m_input || !m_sinceFrame.isValid() || m_sinceFrame.elapsed() >= m_intervalMs) {
            // Painted now; the held one, if any, is part of this picture.
            m_timer.stop();
            m_input = false;
            m_sinceFrame.start();
            break;
        }
        if (!m_timer.isActive())
            m_timer.start(int(std::max<qint64>(1, m_intervalMs - m_sinceFrame.elapsed())));
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
