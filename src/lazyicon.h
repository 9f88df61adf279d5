#ifndef LAZYICON_H
#define LAZYICON_H

#include <QIcon>
#include <QSize>
#include <QString>

// An icon read from its file only when it is first painted. Its size is given,
// so that toolbars and menus lay out without it: reading the first picture of a
// program looks through every picture format the system has, which would hold
// up the window's start by milliseconds before anything is painted.
QIcon lazyIcon(const QString &path, QSize size);

#endif
