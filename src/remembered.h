// What the program keeps between runs: the folders the file dialogs last used
// and the window's geometry, in the user's config folder. The settings panel is
// not kept; its defaults are the form's.
#ifndef REMEMBERED_H
#define REMEMBERED_H

#include <QByteArray>
#include <QSettings>
#include <QString>
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
    void setWindowGeometry(const QByteArray &geometry);

    // Writes what changed; false when the file could not be written.
    bool save();

private:
    void store(const QString &key, const QVariant &value);

    QSettings m_settings;
    bool m_changed = false;
};

#endif
