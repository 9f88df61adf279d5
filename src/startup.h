// What the program does before its window: Qt's own German texts, and reading
// the command line.
#ifndef STARTUP_H
#define STARTUP_H

#include <QString>
#include <QStringList>

class QCoreApplication;

// Loads Qt's German translation (file dialogs, standard buttons, the command
// line's help), whatever the locale: the program speaks only German. False
// when the translation is not installed; the texts then stay English.
bool installQtGermanTranslations(QCoreApplication &app);

// True when the arguments ask only for an answer on the terminal (help,
// version), which needs no display.
bool asksTerminalOnly(int argc, char **argv);

struct CommandLine
{
    enum Action { OpenWindow, Print, Fail };
    Action action = OpenWindow;
    // Files to open in the window.
    QStringList files;
    // Help or version text (Print), or what was wrong (Fail).
    QString message;
};

// Reads the arguments the application object left over. The batch-run options
// are declared so that the help lists them; they are handled before the window.
CommandLine readCommandLine(const QStringList &arguments);

#endif
