#include "manual.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

QString manualFile(const QString &programDir, const QString &manualFromProgram)
{
    const QString beside = programDir + u"/doc/index.html"_s;
    if (QFileInfo(beside).isFile())
        return beside;
    // cleanPath folds "bin/../share" into "share", the path the user would type.
    const QString installed = QDir::cleanPath(programDir + u'/' + manualFromProgram + u"/index.html"_s);
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
}
