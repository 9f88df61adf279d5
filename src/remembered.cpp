#include "remembered.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {
QString key(Remembered::Folder folder)
{
    switch (folder) {
    case Remembered::InputFolder:
        return u"folders/input"_s;
    case Remembered::OutputFolder:
        return u"folders/output"_s;
    case Remembered::BatchFileFolder:
        break;
    }
    return u"folders/batchfile"_s;
}
} // namespace

Remembered::Remembered()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, u"quorvid"_s, u"quorvid"_s)
{
}

QString Remembered::startFolder(Folder folder) const
{
    const QString kept = m_settings.value(key(folder)).toString();
    if (!kept.isEmpty() && QFileInfo(kept).isDir())
        return kept;
    return QDir::homePath();
}

void Remembered::rememberFolderOf(Folder folder, const QString &file)
{
    if (file.isEmpty())
        return;
    m_settings.setValue(key(folder), QFileInfo(file).absolutePath());
}

QByteArray Remembered::windowGeometry() const
{
    return m_settings.value(u"window/geometry"_s).toByteArray();
}

void Remembered::setWindowGeometry(const QByteArray &geometry)
{
    m_settings.setValue(u"window/geometry"_s, geometry);
}

bool Remembered::save()
{
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
