#include "listfiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

#include "batchfile.h"
#include "joblist.h"
#include "messagebox.h"
#include "runfiles.h"
#include "scriptexport.h"
#include "wholefile.h"

using namespace Qt::StringLiterals;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}
} // namespace

std::optional<QList<Job>> readListFile(const QString &chosen, QFont &font)
{
    QFile file(chosen);
    const auto refuse = [&](const QString &reason) {
        showErrorBox(font,
                     tr("<b>Die Batchdatei konnte nicht gelesen werden!</b><br><br>%1<br><br>Die "
                        "Batchliste bleibt unverändert.")
                         .arg(QDir::toNativeSeparators(chosen).toHtmlEscaped()),
                     reason);
    };
    if (QFileInfo(chosen).isDir()) {
        refuse(tr("Das ist ein Ordner; bitte wählen Sie eine Batchdatei (.btc)."));
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        refuse(file.errorString());
        return std::nullopt;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const BatchList list = readBatchList(file);
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed || !list.error.isEmpty()) {
        QApplication::restoreOverrideCursor();
        refuse(readFailed ? file.errorString() : list.error);
        return std::nullopt;
    }
    QApplication::restoreOverrideCursor();
    return list.jobs;
}

QString writeListFile(const QString &chosen, const QList<Job> &jobs, QFont &font)
{
    const QString name = batchFileName(chosen);
    bool extended = false;
    const QByteArray content = batchListContent(jobs, &extended);

    // The previous file stays intact until the new one is completely written.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QSaveFile file(name);
    const bool written = writeWholeFile(file, content);
    QApplication::restoreOverrideCursor();
    if (!written) {
        showErrorBox(
            font,
            tr("<b>Die Batchdatei konnte nicht gespeichert werden!</b><br><br>%1<br><br>"
               "Grund: %2<br><br>Eine bereits vorhandene Datei ist unverändert geblieben. "
               "Bitte wählen Sie einen anderen Ort oder schaffen Sie Platz.")
                .arg(QDir::toNativeSeparators(name).toHtmlEscaped(), file.errorString().toHtmlEscaped()),
            file.errorString());
        return QString();
    }
    if (!extended)
        return QString();
    return tr("Die Batchliste wurde in der erweiterten Form gespeichert, weil Jobs "
              "darin stehen, die die einfache Form nicht fassen kann (Kommas oder "
              "Zeilenumbrüche in Namen, mehrere Durchgänge). Ältere Quorvid-Versionen "
              "können sie nicht laden.");
}

QString exportListScript(JobList &list, QWidget *parent, QFont &font, const QString &batchFilePath)
{
    QList<Job> jobs;
    QList<int> rows;
    for (int row = 0; row < list.size(); ++row) {
        if (const Job job = list.job(row); !job.isEmpty()) {
            jobs << job;
            rows << row;
        }
    }
    if (jobs.isEmpty()) {
        showErrorBox(font, tr("Die Batchliste ist leer.<br><br>Bitte fügen Sie zuerst Jobs hinzu."));
        return QString();
    }
    // A script runs what Quorvid would refuse to run just the same: such a job is
    // named here, before any file is chosen.
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        const WriteVerdict verdict = checkWrites(jobs[i], jobWorkFolder(jobs[i]));
        if (!verdict.refused)
            continue;
        const QString reason =
            verdict.sameAsInput ? tr("Eingabe und Ausgabe sind dieselbe Datei") : verdict.reason;
        list.setState(rows[i], ListedState::Refused, reason);
        showErrorBox(
            font, tr("<b>Das Skript wird nicht gespeichert!</b><br><br>%1<br><br>Job: %2<br><br>Der Job "
                     "würde eine Datei überschreiben, die er liest, oder was er schreibt, lässt sich nicht "
                     "prüfen. Bitte ändern oder löschen Sie ihn.")
                      .arg(reason.toHtmlEscaped(), jobs[i].text().toHtmlEscaped()));
        return QString();
    }
    const QString start = batchFilePath.isEmpty() ? QDir::homePath() : QFileInfo(batchFilePath).path();
    const QString chosen = QFileDialog::getSaveFileName(parent, tr("Batchliste als Skript exportieren"),
                                                        QDir(start).filePath(u"batchliste.sh"_s),
                                                        tr("Shell-Skript (*.sh);;Alle Dateien (*)"));
    if (chosen.isEmpty())
        return QString();
    const QByteArray content = batchScript(jobs);
    const QString error = writeWholeFile(chosen, content);
    if (error.isEmpty())
        QFile::setPermissions(chosen,
                              QFile::permissions(chosen) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    if (!error.isEmpty()) {
        showErrorBox(font,
                     tr("<b>Das Skript konnte nicht gespeichert werden!</b><br><br>%1<br><br>Bitte "
                        "wählen Sie einen anderen Ort.")
                         .arg(QDir::toNativeSeparators(chosen).toHtmlEscaped()),
                     error);
        return QString();
    }
    return QCoreApplication::translate("MainWindow", "Skript mit %n Job(s) gespeichert.", nullptr,
                                       int(jobs.size()));
}
