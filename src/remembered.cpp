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
    if (!file.isEmpty())
        store(key(folder), QFileInfo(file).absolutePath());
}

QByteArray Remembered::windowGeometry() const
{
    return m_settings.value(u"window/geometry"_s).toByteArray();
}

void Remembered::setWindowGeometry(const QByteArray &geometry)
{
    store(u"window/geometry"_s, geometry);
}

QStringList Remembered::namedPresetProblems() const
{
    return m_settings.value(u"presets/damaged"_s).toStringList();
}

void Remembered::setNamedPresetProblems(const QStringList &names)
{
    store(u"presets/damaged"_s, names);
}

void Remembered::store(const QString &key, const QVariant &value)
{
    // Writing the file costs a flush to the disk: only what changed is written.
    if (m_settings.value(key) == value)
        return;
    m_settings.setValue(key, value);
    m_changed = true;
}

bool Remembered::save()
{
    if (!m_changed)
        return true;
    m_settings.sync();
    m_changed = false;
    return m_settings.status() == QSettings::NoError;
}
