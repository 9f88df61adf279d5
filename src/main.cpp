#include <QApplication>

#include <cstdio>

#include "headless.h"
#include "quorvid.h"
#include "startup.h"

namespace {
// Help, version and mistakes on the command line are answered on the terminal.
int answerOnTerminal(const CommandLine &line)
{
    const QByteArray text = line.message.toLocal8Bit();
    if (line.action == CommandLine::Fail) {
        std::fprintf(stderr, "quorvid: %s\n", text.constData());
        return 1;
    }
    std::fputs(text.constData(), stdout);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    // A run without a window needs no display: decided before any window exists.
    if (wantsHeadlessRun(argc, argv))
        return runHeadless(argc, argv);
    if (asksTerminalOnly(argc, argv)) {
        // No window is shown: this works without a display.
        QCoreApplication app(argc, argv);
        installQtGermanTranslations(app);
        return answerOnTerminal(readCommandLine(QCoreApplication::arguments()));
    }
    QApplication app(argc, argv);
    // Lets the desktop find the entry (name, icon) that belongs to the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quorvid"));
    installQtGermanTranslations(app);
    const CommandLine line = readCommandLine(QCoreApplication::arguments());
    if (line.action != CommandLine::OpenWindow)
        return answerOnTerminal(line);
    auto *window = new MainWindow;
    window->show();
    window->openFiles(line.files);
    return app.exec();
}
