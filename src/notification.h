// A desktop notice when work ends while the user looks elsewhere: the texts,
// and sending them to the freedesktop notification service on the session bus.
#ifndef NOTIFICATION_H
#define NOTIFICATION_H

#include <QString>

#include "converter.h"

class QWidget;

struct Notice
{
    QString summary;
    QString body;
};

// "Konvertierung beendet" or "... fehlgeschlagen", with the output file named.
Notice singleEndNotice(RunOutcome outcome, const QString &output);
// "Batch beendet: 20 Jobs umgewandelt", with ", 1 Fehler" when jobs failed.
Notice batchEndNotice(int converted, int failed);

// Sends the notice without waiting for an answer. The session bus is reached
// only here, on the first notice; without a bus or a notification service
// nothing happens.
void sendDesktopNotice(const Notice &notice);

// Draws the user's attention to an ended run when the window is not active: its
// task bar entry, and the desktop notice.
void alertIfInactive(QWidget *window, const Notice &notice);

#endif
