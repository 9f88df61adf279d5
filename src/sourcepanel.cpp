// Files that come into the window: the column of the opened file, dropped
// files, and the refusal of a job the fields do not allow.
#include "dropping.h"
#include "messagebox.h"
#include "quorvid.h"
#include "sourcecolumn.h"

using namespace Qt::StringLiterals;

void MainWindow::setUpSource()
{
    sourceColumn = new SourceColumn(
        *this, look, [this](const QString &source) { return settingsFor(source); }, this);
    // Files dropped onto the upper part of the window open as through "Öffnen";
    // dropped onto the batch list or its buttons they become jobs.
    const auto openDropped = [this](const QList<QUrl> &urls) { takeFiles(selectFromUrls(urls), false); };
    const auto queueDropped = [this](const QList<QUrl> &urls) { takeFiles(selectFromUrls(urls), true); };
    new FileDropTarget(this, openDropped);
    new FileDropTarget(openLineEdit, openDropped);
    new FileDropTarget(batchlisteGroupBox, queueDropped);
    new FileDropTarget(batchConvertGroupBox, queueDropped);
}

bool MainWindow::refuseJob(const QString &source, const QString &target)
{
    const QString refusal =
        jobRefusal(settingsFor(source), look.factsFor(source, isOpenedFile(source)), target);
    if (refusal.isEmpty())
        return false;
    showErrorBox(messageFont, refusal.toHtmlEscaped());
    return true;
}
