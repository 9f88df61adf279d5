#include "notification.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

using namespace Qt::StringLiterals;

Notice singleEndNotice(RunOutcome outcome, const QString &output)
{
    const QString summary = outcome == RunOutcome::Success
                                ? QCoreApplication::translate("Notice", "Konvertierung beendet")
                                : QCoreApplication::translate("Notice", "Konvertierung fehlgeschlagen");
    // The body may hold markup for the notification service: names are escaped.
    return {summary, QDir::toNativeSeparators(output).toHtmlEscaped()};
}

Notice batchEndNotice(int converted, int failed)
{
    QString summary =
        converted == 1
            ? QCoreApplication::translate("Notice", "Batch beendet: 1 Job umgewandelt")
            : QCoreApplication::translate("Notice", "Batch beendet: %1 Jobs umgewandelt").arg(converted);
    if (failed > 0)
        summary += QCoreApplication::translate("Notice", ", %1 Fehler").arg(failed);
    return {summary, QString()};
}

void sendDesktopNotice(const Notice &notice)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_s,
                                                       u"/org/freedesktop/Notifications"_s,
                                                       u"org.freedesktop.Notifications"_s, u"Notify"_s);
    const QVariantMap hints{{u"desktop-entry"_s, u"org.example.quorvid"_s}};
    // Application, no notice to replace, icon, texts, no actions, hints, the
    // service's own display time.
    call << u"Quorvid"_s << 0u << u"quorvid"_s << notice.summary << notice.body << QStringList() << hints
         << -1;
    // Without a service the bus answers with an error, which nobody waits for.
    bus.send(call);
}

void alertIfInactive(QWidget *window, const Notice &notice)
{
    if (window->isActiveWindow())
        return;
    QApplication::alert(window);
    sendDesktopNotice(notice);
}
