#include "joindialog.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "messagebox.h"
#include "presets.h"

using namespace Qt::StringLiterals;

JoinDialog::JoinDialog(const PanelSettings &settings, QFont &font, const QString &startFolder,
                       QWidget *parent)
    : QDialog(parent), m_settings(settings), m_font(font), m_startFolder(startFolder)
{
    setupUi(this);
    buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Verbinden"));
    buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(addButton, &QPushButton::clicked, this, &JoinDialog::addFiles);
    connect(removeButton, &QPushButton::clicked, this, &JoinDialog::removeFile);
    connect(upButton, &QPushButton::clicked, this, [this] { move(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { move(1); });
    connect(fileList, &QListWidget::itemSelectionChanged, this, &JoinDialog::selectionChanged);
    connect(fileList->model(), &QAbstractItemModel::rowsMoved, this, &JoinDialog::selectionChanged);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &JoinDialog::goOn);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The order of a join is what matters here; the pictures are not looked at.
    m_survey.setBarsLook(false);
    connect(&m_survey, &MediaSurvey::surveyed, this,
            [this](const QString &path, const MediaFacts &facts) { m_facts.insert(path, facts); });
    connect(&m_survey, &MediaSurvey::finished, this, &JoinDialog::decide);
    selectionChanged();
}

QStringList JoinDialog::files() const
{
    QStringList files;
    for (int row = 0; row < fileList->count(); ++row)
        files << fileList->item(row)->data(Qt::UserRole).toString();
    return files;
}

QList<MediaFacts> JoinDialog::facts() const
{
    QList<MediaFacts> facts;
    for (const QString &file : files())
        facts << m_facts.value(file);
    return facts;
}

void JoinDialog::addFiles()
{
    const QStringList chosen =
        QFileDialog::getOpenFileNames(this, tr("Dateien zum Verbinden wählen"), m_startFolder);
    for (const QString &file : chosen) {
        auto *item = new QListWidgetItem(QDir::toNativeSeparators(file), fileList);
        item->setData(Qt::UserRole, file);
        m_startFolder = QFileInfo(file).path();
    }
    if (!chosen.isEmpty())
        fileList->setCurrentRow(fileList->count() - 1);
    selectionChanged();
}

void JoinDialog::removeFile()
{
    delete fileList->takeItem(fileList->currentRow());
    selectionChanged();
}

void JoinDialog::move(int step)
{
    const int row = fileList->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= fileList->count())
        return;
    fileList->insertItem(to, fileList->takeItem(row));
    fileList->setCurrentRow(to);
}

void JoinDialog::selectionChanged()
{
    const int row = fileList->currentItem() ? fileList->currentRow() : -1;
    removeButton->setEnabled(row >= 0);
    upButton->setEnabled(row > 0);
    downButton->setEnabled(row >= 0 && row + 1 < fileList->count());
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(fileList->count() >= 2);
}

void JoinDialog::setBusy(bool busy)
{
    // While the files are looked at, the list stays as it is.
    for (QWidget *widget : {static_cast<QWidget *>(fileList), static_cast<QWidget *>(addButton),
                            static_cast<QWidget *>(removeButton), static_cast<QWidget *>(upButton),
                            static_cast<QWidget *>(downButton)})
        widget->setEnabled(!busy);
    buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!busy);
    stateLabel->setText(busy ? tr("Die Dateien werden untersucht …") : QString());
    if (!busy)
        selectionChanged();
}

void JoinDialog::goOn()
{
    QStringList unknown;
    for (const QString &file : files())
        if (!m_facts.contains(file) && !unknown.contains(file))
            unknown << file;
    if (unknown.isEmpty()) {
        decide();
        return;
    }
    setBusy(true);
    m_survey.add(unknown);
}

void JoinDialog::decide()
{
    setBusy(false);
    const QStringList chosen = files();
    const QList<MediaFacts> known = facts();
    if (const QString refusal = joinRefusal(m_settings, chosen, known); !refusal.isEmpty()) {
        showErrorBox(
            m_font,
            tr("<b>Die Dateien lassen sich so nicht verbinden.</b><br><br>%1").arg(refusal.toHtmlEscaped()));
        return;
    }
    const JoinQuestion question = joinQuestion(chosen, known);
    if (question.ask) {
        m_font.setPointSize(12);
        QMessageBox box(QMessageBox::Question, u"Quorvid"_s, question.text,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        box.setFont(m_font);
        box.button(QMessageBox::Yes)->setText(tr("Mit Stille auffüllen"));
        box.button(QMessageBox::No)->setText(tr("Nur gemeinsame Spuren"));
        box.button(QMessageBox::Cancel)->setText(tr("Abbrechen"));
        box.setDefaultButton(QMessageBox::Cancel);
        const int answer = box.exec();
        if (answer == QMessageBox::Cancel)
            return;
        m_audio = answer == QMessageBox::Yes ? JoinAudio::AllTracks : JoinAudio::CommonTracks;
    }
    accept();
}

std::optional<Job> joinedJob(const PanelSettings &settings, QFont &font, const QString &startFolder,
                             QWidget *window)
{
    // The subtitle choices belong to the opened file, not to a join.
    PanelSettings joined = settings;
    joined.subtitleFiles.clear();
    joined.burnIn = {};
    JoinDialog dialog(joined, font, startFolder, window);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.files();
    const QString target = joinOutputName(files.first(), QString(), outputSuffix(settings));
    return joinJob(joined, files, dialog.facts(), target, dialog.audio());
}
