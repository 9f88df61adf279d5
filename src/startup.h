// What the program does before its window: Qt's own German texts, reading the
// command line, and reaching the display.
#ifndef STARTUP_H
#define STARTUP_H

#include <QString>
#include <QStringList>

class QCoreApplication;

// Loads Qt's German translation (file dialogs, standard buttons, the command
// line's help), whatever the locale: the program speaks only German. False
// when the translation is not installed; the texts then stay English.
bool installQtGermanTranslations(QCoreApplication &app);

struct CommandLine
{
    enum Action { OpenWindow, Print, Fail };
    Action action = OpenWindow;
    // Files to open in the window.
    QStringList files;
    // Help or version text (Print), or what was wrong (Fail).
    QString message;
};

// Reads the arguments the application object left over. The options of --run and
// --convert are declared so that the help lists them; they are handled before the
// window, and given without --run or --convert they are a mistake.
CommandLine readCommandLine(const QStringList &arguments);

// True when the arguments ask for the window: no help, no version, no mistake.
// Needs no application object, so it is asked before anything needs a display.
bool opensWindow(const QStringList &arguments);

// The arguments without the options Qt's window system takes for itself
// (-platform NAME, -style NAME, -reverse, ...), as the window's application
// object removes them before the program reads its own.
QStringList withoutWindowSystemOptions(const QStringList &arguments);

// From the first call until the second, a display Qt cannot reach ends the
// program with a German message and status 1 instead of Qt's abort. Call them
// around the making of the window's application object. Qt's other messages of
// that time are held and passed on by the second call.
void watchDisplayStart();
void stopWatchingDisplayStart();

#endif
