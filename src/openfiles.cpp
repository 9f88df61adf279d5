// Files that reach the window from outside its file dialogs: dropped onto it,
// or named on the command line (also by a file manager's "Öffnen mit").
#include <QApplication>
#include <QTimer>

#include "converter.h"
#include "dropping.h"
#include "makejob.h"
#include "messagebox.h"
#include "quorvid.h"

using namespace Qt::StringLiterals;

namespace {
// A long list in a box would reach beyond the screen: the first names, then how
// many more there are.
QString nameList(const QStringList &names)
{
    constexpr int shown = 10;
    QStringList lines;
    for (const QString &name : names.mid(0, shown))
        lines << name.toHtmlEscaped();
    if (names.size() > shown)
        lines << QCoreApplication::translate("MainWindow", "… und %1 weitere").arg(names.size() - shown);
    return lines.join(u"<br>"_s);
}
} // namespace

void MainWindow::openFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    // After the converter check, which runs first: without a converter the
    // program ends instead.
    QTimer::singleShot(0, this, [this, paths] {
        if (converterInstalled())
            takeFiles(selectFromPaths(paths), false);
    });
}

void MainWindow::takeFiles(const FileSelection &selection, bool ontoBatchList)
{
    if (!ontoBatchList && !selection.folderGiven && selection.files.size() == 1)
        openInput(selection.files.first());
    else if (!selection.files.isEmpty()) {
        if (dependsOnSource(panelSettings()))
            look.lookAtBatch(selection.files, false);
        else
            appendBatchList(selection.files);
    }

    // What could not be taken is named afterwards, so that the rest is not held
    // up by the box.
    QStringList problems;
    if (!selection.unusable.isEmpty())
        problems << tr("<b>Diese Dateien wurden nicht gefunden oder können nicht gelesen werden:</b><br>%1"
                       "<br>Bitte prüfen Sie den Namen und die Zugriffsrechte.")
                        .arg(nameList(selection.unusable));
    if (!selection.unnamed.isEmpty() || !selection.irregular.isEmpty())
        problems
            << tr("<b>Diese Dateien wurden nicht übernommen:</b><br>%1<br>Ihre Namen sind kein gültiges "
                  "UTF-8, oder sie sind keine gewöhnlichen Dateien (benannte Pipes, Geräte). Bitte benennen "
                  "Sie sie um oder kopieren Sie ihren Inhalt in gewöhnliche Dateien.")
                   .arg(nameList(selection.unnamed + selection.irregular));
    if (!selection.remote.isEmpty())
        problems
            << tr("<b>Diese Adressen sind keine Dateien auf diesem Rechner:</b><br>%1<br>Quorvid kann nur "
                  "lokale Dateien umwandeln. Bitte speichern Sie die Dateien zuerst auf diesem Rechner.")
                   .arg(nameList(selection.remote));
    if (problems.isEmpty() && selection.files.isEmpty() && selection.folderGiven)
        problems << tr("<b>Im Ordner wurden keine Video- oder Audiodateien gefunden.</b><br>Bitte wählen Sie "
                       "einen Ordner, der Mediendateien enthält.");
    if (!problems.isEmpty())
        showErrorBox(messageFont, problems.join(u"<br><br>"_s));
}
