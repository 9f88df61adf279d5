#include <QApplication>

#include <cstdio>

#include "headless.h"
#include "quorvid.h"
#include "startup.h"
#include "terminaltext.h"
#include "termination.h"
#include "unfinished.h"

namespace {
// Help, version and mistakes on the command line are answered on the terminal.
int answerOnTerminal(const CommandLine &line)
{
    const QByteArray text = printableText(line.message.toUtf8(), LineBreaks::Keep);
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
    // So are help, the version and every mistake on the command line: they are
    // answered on the terminal, display or not.
    QStringList given;
    for (int i = 0; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    given = withoutWindowSystemOptions(given);
    if (!opensWindow(given)) {
        QCoreApplication app(argc, argv);
        installQtGermanTranslations(app);
        return answerOnTerminal(readCommandLine(given));
    }
    watchDisplayStart();
    QApplication app(argc, argv);
    stopWatchingDisplayStart();
    // Lets the desktop find the entry (name, icon) that belongs to the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quorvid"));
    installQtGermanTranslations(app);
    const CommandLine line = readCommandLine(QCoreApplication::arguments());
    if (line.action != CommandLine::OpenWindow)
        return answerOnTerminal(line);
    auto *window = new MainWindow;
    // Half files and private folders of runs that were killed go before anything
    // new starts: once the window is built, before it is shown and takes input.
    removeLeftovers();
    // Ended from outside: the converters stop and their half files go; the batch
    // list stays in its recovery file, to be offered at the next start.
    stopRunsOnTerminationRequest();
    window->show();
    window->openFiles(line.files);
    return app.exec();
}
