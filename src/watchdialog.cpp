#include "watchdialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

WatchDialog::WatchDialog(const QList<WatchEntry> &entries, const QStringList &presets,
                         const QString &startFolder, QWidget *parent)
    : QDialog(parent), m_entries(entries), m_startFolder(startFolder)
{
    setupUi(this);
    presetCombo->addItems(presets);
    buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Übernehmen"));
    buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(folderButton, &QPushButton::clicked, this, &WatchDialog::chooseFolder);
    connect(outputButton, &QPushButton::clicked, this, &WatchDialog::chooseOutput);
    connect(addButton, &QPushButton::clicked, this, &WatchDialog::addEntry);
    connect(pauseButton, &QPushButton::clicked, this, &WatchDialog::togglePause);
    connect(removeButton, &QPushButton::clicked, this, &WatchDialog::removeEntry);
    connect(folderList, &QTreeWidget::itemSelectionChanged, this, &WatchDialog::selectionChanged);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showEntries();
}

void WatchDialog::showEntries()
{
    folderList->clear();
    for (const WatchEntry &entry : std::as_const(m_entries))
        new QTreeWidgetItem(folderList,
                            {QDir::toNativeSeparators(entry.folder), entry.recursive ? tr("ja") : tr("nein"),
                             entry.preset, QDir::toNativeSeparators(entry.outputFolder),
                             entry.paused ? tr("pausiert") : tr("wird überwacht")});
    for (int column = 0; column < folderList->columnCount(); ++column)
        folderList->resizeColumnToContents(column);
    selectionChanged();
}

void WatchDialog::selectionChanged()
{
    const QList<QTreeWidgetItem *> selected = folderList->selectedItems();
    const int row = selected.isEmpty() ? -1 : folderList->indexOfTopLevelItem(selected.first());
    pauseButton->setEnabled(row >= 0);
    removeButton->setEnabled(row >= 0);
    pauseButton->setText(row >= 0 && m_entries[row].paused ? tr("Fortsetzen") : tr("Pausieren"));
}

void WatchDialog::chooseFolder()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Ordner zum Überwachen wählen"),
                                          folderEdit->text().isEmpty() ? m_startFolder : folderEdit->text());
    if (!folder.isEmpty())
        folderEdit->setText(QDir::toNativeSeparators(folder));
}

void WatchDialog::chooseOutput()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Ausgabeordner wählen"), outputEdit->text().isEmpty() ? m_startFolder : outputEdit->text());
    if (!folder.isEmpty())
        outputEdit->setText(QDir::toNativeSeparators(folder));
}

void WatchDialog::addEntry()
{
    WatchEntry entry;
    const auto cleaned = [](const QString &typed) {
        return typed.trimmed().isEmpty()
                   ? QString()
                   : QDir::cleanPath(
                         QFileInfo(QDir::fromNativeSeparators(typed.trimmed())).absoluteFilePath());
    };
    entry.folder = cleaned(folderEdit->text());
    entry.recursive = recursiveCheck->isChecked();
    entry.preset = presetCombo->currentText();
    entry.outputFolder = cleaned(outputEdit->text());
    if (const QString problem = watchEntryProblem(entry, m_entries); !problem.isEmpty()) {
        problemLabel->setText(problem);
        return;
    }
    // A new output folder is made, as the command line does; only a folder that
    // cannot be made is a problem.
    if (!QDir().mkpath(entry.outputFolder)) {
        problemLabel->setText(
            tr("Der Ausgabeordner %1 kann nicht angelegt werden. Bitte prüfen Sie den Namen "
               "und die Rechte.")
                .arg(QDir::toNativeSeparators(entry.outputFolder)));
        return;
    }
    problemLabel->clear();
    m_entries << entry;
    folderEdit->clear();
    showEntries();
}

void WatchDialog::togglePause()
{
    const QList<QTreeWidgetItem *> selected = folderList->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = folderList->indexOfTopLevelItem(selected.first());
    m_entries[row].paused = !m_entries[row].paused;
    showEntries();
    folderList->setCurrentItem(folderList->topLevelItem(row));
}

void WatchDialog::removeEntry()
{
    const QList<QTreeWidgetItem *> selected = folderList->selectedItems();
    if (selected.isEmpty())
        return;
    m_entries.removeAt(folderList->indexOfTopLevelItem(selected.first()));
    showEntries();
}
