// The window's message boxes, built in one place: the message font at 12
// points, German Ja/Nein buttons, the details hidden behind their button, and
// control characters of names shown visibly.
#ifndef MESSAGEBOX_H
#define MESSAGEBOX_H

#include <QFont>
#include <QMessageBox>
#include <QString>

struct BoxContent
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QString details;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows the box modally and returns the button pressed. `font` is the window's
// message font; it is set to 12 points as every box of the window has it.
QMessageBox::StandardButton execBox(const BoxContent &content, QFont &font);

#endif
