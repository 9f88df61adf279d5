// The program's own start-up, as main() does it, with "ready RSS_KIB" printed
// once the event loop is idle after showing the window.
#include <QApplication>

#include "benchutil.h"
#include "quorvid.h"
#include "startup.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    installQtGermanTranslations(app);
    auto *window = new MainWindow;
    return runUntilIdle(app, window, false);
}
