// Where the HTML manual lies, seen from the program file.
#ifndef MANUAL_H
#define MANUAL_H

#include <QString>

// The manual for a program file in programDir: doc/index.html beside the program
// (the build folder, a copied folder), else the installed one, reached from the
// program's folder by manualFromProgram (for an installation under /usr that is
// "../share/quorvid/doc"). The first of the two that exists; the one beside the
// program when neither does, so that a message can still name a place.
QString manualFile(const QString &programDir, const QString &manualFromProgram);

#endif
