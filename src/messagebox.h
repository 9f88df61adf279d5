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

// The kinds of box the window shows: an error (title "Quorvid Fehler"), any
// other box with an Ok button, and a question answered with Ja or Nein (Nein
// the default); true when the user answered Ja.
void showErrorBox(QFont &font, const QString &text, const QString &details = QString());
void showBox(QFont &font, QMessageBox::Icon icon, const QString &title, const QString &text,
             const QString &details = QString());
bool askYesNo(QFont &font, const QString &text);

#endif
