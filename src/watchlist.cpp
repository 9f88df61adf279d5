#include "watchlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace {
QString said(const char *text)
{
    return QCoreApplication::translate("WatchList", text);
}

QString clean(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

bool holds(const QString &outer, const QString &inner)
{
    return inner == outer || inner.startsWith(outer.endsWith(u'/') ? outer : outer + u'/');
}
} // namespace

QString watchEntryProblem(const WatchEntry &entry, const QList<WatchEntry> &others)
{
    const QString shown = QDir::toNativeSeparators(entry.folder);
    if (entry.folder.isEmpty() || !QFileInfo(entry.folder).isDir())
        return said("Den Ordner %1 gibt es nicht. Bitte wählen Sie einen vorhandenen Ordner.").arg(shown);
    if (entry.preset.isEmpty())
        return said("Bitte wählen Sie eine Vorlage.");
    if (entry.outputFolder.isEmpty())
        return said("Bitte wählen Sie einen Ausgabeordner.");
    const QString folder = clean(entry.folder);
    const QString output = clean(entry.outputFolder);
    // Outputs below the watched folder are fine (that folder is then not
    // watched); the watched folder inside its outputs is not.
    if (holds(output, folder) && output != folder)
        return said("Der Ausgabeordner %1 enthält den überwachten Ordner. Bitte wählen Sie einen anderen "
                    "Ausgabeordner.")
            .arg(QDir::toNativeSeparators(entry.outputFolder));
    for (const WatchEntry &other : others) {
        const QString otherFolder = clean(other.folder);
        if (otherFolder == folder || (other.recursive && holds(otherFolder, folder)) ||
            (entry.recursive && holds(folder, otherFolder)))
            return said("Der Ordner %1 wird schon überwacht (%2). Bitte entfernen Sie zuerst den anderen "
                        "Eintrag.")
                .arg(shown, QDir::toNativeSeparators(other.folder));
    }
    return {};
}

QList<WatchEntry> readWatchList(QSettings &settings)
{
    QList<WatchEntry> entries;
    const int count = settings.beginReadArray(u"watch"_s);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        WatchEntry entry;
        entry.folder = settings.value(u"folder"_s).toString();
        entry.recursive = settings.value(u"recursive"_s, false).toBool();
        entry.preset = settings.value(u"preset"_s).toString();
        entry.outputFolder = settings.value(u"output"_s).toString();
        entry.paused = settings.value(u"paused"_s, false).toBool();
        if (!entry.folder.isEmpty())
            entries << entry;
    }
    settings.endArray();
    return entries;
}

bool writeWatchList(QSettings &settings, const QList<WatchEntry> &entries)
{
    settings.remove(u"watch"_s);
    settings.beginWriteArray(u"watch"_s, int(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(u"folder"_s, entries[i].folder);
        settings.setValue(u"recursive"_s, entries[i].recursive);
        settings.setValue(u"preset"_s, entries[i].preset);
        settings.setValue(u"output"_s, entries[i].outputFolder);
        settings.setValue(u"paused"_s, entries[i].paused);
    }
    settings.endArray();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QList<WatchEntry> readWatchList()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, u"quorvid"_s, u"quorvid"_s);
    return readWatchList(settings);
}

bool writeWatchList(const QList<WatchEntry> &entries)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, u"quorvid"_s, u"quorvid"_s);
    return writeWatchList(settings, entries);
}
