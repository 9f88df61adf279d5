#include "wholefile.h"

#include <QSaveFile>

bool writeWholeFile(QSaveFile &file, const QByteArray &content)
{
    if (!file.isOpen() && !file.open(QIODevice::WriteOnly))
        return false;
    // write() only fills a buffer; a full disk shows only when it is flushed, and a
    // commit after a failed flush would still replace the old file with a cut one.
    // Without a commit the save file is thrown away when it is destroyed, and its
    // error string keeps the reason.
    if (file.write(content) != content.size() || !file.flush())
        return false;
    return file.commit();
}

QString writeWholeFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    return writeWholeFile(file, content) ? QString() : file.errorString();
}
