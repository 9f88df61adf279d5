// The start-up floor: a minimal Qt program with a main window, a menu bar, a
// toolbar and a table, shown maximized. Prints "ready RSS_KIB" once the event
// loop is idle after showing, then quits.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTableWidget>
#include <QToolBar>

#include "benchutil.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    auto *window = new QMainWindow;
    QMenu *file = window->menuBar()->addMenu(QStringLiteral("&Datei"));
    file->addAction(QStringLiteral("Öffnen"));
    file->addAction(QStringLiteral("Beenden"));
    window->menuBar()->addMenu(QStringLiteral("&Hilfe"))->addAction(QStringLiteral("Über"));
    QToolBar *tools = window->addToolBar(QStringLiteral("Werkzeuge"));
    tools->addAction(QStringLiteral("Öffnen"));
    tools->addAction(QStringLiteral("Konvertieren"));
    auto *table = new QTableWidget(0, 2);
    window->setCentralWidget(table);
    // Measured against a window of a given size ("1301x732"), it takes that size.
    const QList<QByteArray> size = qgetenv("BENCH_WINDOW_SIZE").split('x');
    if (size.size() == 2 && size[0].toInt() > 0 && size[1].toInt() > 0) {
        window->resize(size[0].toInt(), size[1].toInt());
        return runUntilIdle(app, window, false);
    }
    return runUntilIdle(app, window, true);
}
