// The program's own start-up, as main() does it, with "ready RSS_KIB" printed
// once the event loop is idle after showing the window.
#include <QApplication>

#include "benchutil.h"
#include "quorvid.h"
#include "startup.h"

int main(int argc, char **argv)
{
    QStringList given;
    for (int i = 0; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    if (!opensWindow(withoutWindowSystemOptions(given)))
        return 1;
    watchDisplayStart();
    QApplication app(argc, argv);
    stopWatchingDisplayStart();
    installQtGermanTranslations(app);
    auto *window = new MainWindow;
    return runUntilIdle(app, window, false);
}
