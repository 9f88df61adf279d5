// Numbers the German way, whatever the system's locale (C, English, German): the
// window's number fields read and show a decimal comma, and never take a typed
// comma or point as a thousands mark; texts show numbers the same way.
#ifndef GERMANNUMBERS_H
#define GERMANNUMBERS_H

#include <QLocale>
#include <QString>

class QWidget;

// German as spoken in Germany; reading refuses thousands marks.
QLocale germanNumbers();

// "2,50" for 2.5 with two decimals.
QString germanNumber(double value, int decimals);

// Every spin box inside `root` reads and shows German numbers. In a field with
// decimals a typed point (as many keypads give it) is taken as the decimal comma.
void useGermanNumbers(QWidget *root);

#endif
