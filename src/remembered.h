// What the program keeps between runs: the folders the file dialogs last used,
// the window's geometry and the damaged presets already named, in the user's
// config folder. The settings panel is not kept; its defaults are the form's.
#ifndef REMEMBERED_H
#define REMEMBERED_H

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

class Remembered
{
public:
    enum Folder { InputFolder, OutputFolder, BatchFileFolder };

    // Reads ~/.config/quorvid/quorvid.conf once. A file that cannot be read or
    // parsed counts as empty; one that cannot be written is left as it is.
    Remembered();

    // The folder last used for this kind of file when it still exists; otherwise
    // the home folder, where the dialogs start by default.
    QString startFolder(Folder folder) const;
    // Keeps the folder that holds this file.
    void rememberFolderOf(Folder folder, const QString &file);

    QByteArray windowGeometry() const;
    // The damaged preset files the user was last told of (sorted names).
    QStringList namedPresetProblems() const;
    void setNamedPresetProblems(const QStringList &names);
    void setWindowGeometry(const QByteArray &geometry);

    // Writes what changed; false when the file could not be written.
    bool save();

private:
    void store(const QString &key, const QVariant &value);

    QSettings m_settings;
    bool m_changed = false;
};

#endif
