#include <QApplication>

#include "headless.h"
#include "quorvid.h"

int main(int argc, char *argv[])
{
    // A run without a window needs no display: decided before any window exists.
    if (wantsHeadlessRun(argc, argv))
        return runHeadless(argc, argv);
    QApplication app(argc, argv);
    auto *window = new MainWindow;
    window->show();
    return app.exec();
}
