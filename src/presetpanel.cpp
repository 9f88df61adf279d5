// The "Vorlage" box above the settings panel and its "Vorlagen" menu: choosing a
// preset sets the panel's widgets; any change afterwards marks it as changed.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

#include "codecs.h"
#include "failurereports.h"
#include "makejob.h"
#include "messagebox.h"
#include "quorvid.h"
#include "sizechoice.h"

using namespace Qt::StringLiterals;

namespace {
const QString changedMark = u" (geändert)"_s;

// While a preset whose size is a limit is chosen and the panel still aims at a
// size, that size stays a limit at the preset's quality; the panel has no
// control of its own for it.
void keepPresetLimit(PanelSettings &settings, const std::optional<Preset> &chosen)
{
    if (chosen && chosen->settings.sizeIsLimit && settings.targetSizeMB > 0) {
        settings.sizeIsLimit = true;
        settings.quality = chosen->settings.quality;
    }
}
// About the longest name of a built-in preset with its change mark, and some.
constexpr int maxPresetNameChars = 60;
} // namespace

void MainWindow::setUpPresets()
{
    // The preset commands sit in a menu button beside the box, where they belong.
    presetMenu = new QMenu(u"Vorlagen"_s, this);
    // A push button keeps room for its menu arrow beside the text; a tool button
    // draws the arrow over the text's end.
    auto *menuButton = new QPushButton(u"Vorlagen"_s, presetWidget);
    menuButton->setObjectName(u"presetMenuButton"_s);
    menuButton->setToolTip(u"Vorlagen speichern, umbenennen, löschen, exportieren und importieren"_s);
    menuButton->setMenu(presetMenu);
    presetHorizontalLayout->addWidget(menuButton);
    presetMenu->addAction(u"Aktuelle Einstellungen als Vorlage speichern..."_s, this,
                          &MainWindow::savePresetAs);
    presetMenu->addAction(u"Vorlage umbenennen..."_s, this, &MainWindow::renameChosenPreset);
    presetMenu->addAction(u"Vorlage löschen"_s, this, &MainWindow::deleteChosenPreset);
    presetMenu->addSeparator();
    presetMenu->addAction(u"Vorlage exportieren..."_s, this, &MainWindow::exportChosenPreset);
    presetMenu->addAction(u"Vorlage importieren..."_s, this, &MainWindow::importPresetFile);
    connect(presetComboBox, &QComboBox::activated, this, &MainWindow::presetChosen);

    // Every control of the panel; queued, so the comparison sees the panel after
    // its own reactions to the change.
    const auto changed = [this] {
        if (!applyingPreset)
            QMetaObject::invokeMethod(this, &MainWindow::showPresetChanged, Qt::QueuedConnection);
    };
    for (QComboBox *box : {vcodecComboBox, fpsComboBox, ratioComboBox, qualityComboBox, acodecComboBox,
                           freqComboBox, abitrateComboBox})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    for (QSpinBox *box : {vauflspinBox, hauflspinBox, vbitrateSpinBox})
        connect(box, &QSpinBox::valueChanged, this, changed);
    connect(targetSizeSpinBox, &QDoubleSpinBox::valueChanged, this, changed);
    for (QAbstractButton *button : std::initializer_list<QAbstractButton *>{
             videoCheckBox, audioCheckBox, dvdButton, originalSizeCheckBox, stereoButton, monoButton})
        connect(button, &QAbstractButton::toggled, this, changed);

    // The box is as wide as its longest built-in name; a very long name of the
    // user's is shortened rather than widening the window.
    presetComboBox->setMaximumWidth(presetComboBox->fontMetrics().averageCharWidth() * maxPresetNameChars);
    // The size box's label holds either of its two texts without moving the row.
    const QFontMetrics metrics = targetSizeLabel->fontMetrics();
    targetSizeLabel->setMinimumWidth(
        std::max(metrics.horizontalAdvance(tr("Zielgröße")), metrics.horizontalAdvance(tr("Höchstgröße"))));
    fillPresetBox(QString());
    reportPresetProblems();
    showSizeChoice();
}

void MainWindow::fillPresetBox(const QString &select)
{
    const PresetFolder user = loadPresetFolder(userPresetFolder());
    presetList = builtInPresets() + user.presets;
    const QSignalBlocker blocker(presetComboBox);
    while (presetComboBox->count() > 1)
        presetComboBox->removeItem(1);
    int chosen = 0;
    for (qsizetype i = 0; i < presetList.size(); ++i) {
        presetComboBox->addItem(presetList[i].name);
        if (!select.isEmpty() && presetList[i].name.compare(select, Qt::CaseInsensitive) == 0)
            chosen = int(i) + 1;
    }
    if (chosen == 0) {
        chosenPreset.reset();
        presetChanged = false;
    }
    presetComboBox->setCurrentIndex(chosen);
}

void MainWindow::reportPresetProblems()
{
    const QList<PresetProblem> problems = loadPresetFolder(userPresetFolder()).problems;
    // Damaged and foreign files are left as they are and never used. They are
    // named when they first appear, and again only when the set of them changed:
    // a box at every start that tells nothing new would teach to click it away.
    const QStringList set = presetProblemSet(problems);
    if (set == remembered.namedPresetProblems())
        return;
    remembered.setNamedPresetProblems(set);
    remembered.save();
    if (problems.isEmpty())
        return;
    const PresetProblemReport report = presetProblemReport(problems, userPresetFolder());
    QTimer::singleShot(0, this, [this, report] {
        showBox(messageFont, QMessageBox::Warning, u"Vorlagen"_s, report.text, report.details);
    });
}

void MainWindow::presetChosen(int index)
{
    if (index <= 0) {
        chosenPreset.reset();
        presetChanged = false;
        showPresetChanged();
        return;
    }
    chosenPreset = presetList.value(index - 1);
    applyPanelSettings(chosenPreset->settings);
    presetChanged = false;
    showPresetChanged();
}

void MainWindow::applyPanelSettings(const PanelSettings &s)
{
    applyingPreset = true;
    // In the order a user would go: video on or off, the codec (whose reactions
    // set their own defaults), the PAL-DVD preset, then the single values.
    videoCheckBox->setChecked(s.videoOn);
    if (dvdButton->isChecked() && !s.dvdPreset) {
        dvdButton->setChecked(false);
        dvdwahl();
    }
    vcodecComboBox->setCurrentIndex(s.videoCodec);
    vcopywahl();
    if (s.dvdPreset) {
        dvdButton->setChecked(true);
        dvdwahl();
    }
    originalSizeCheckBox->setChecked(s.originalSize);
    vauflspinBox->setValue(s.width.toInt());
    hauflspinBox->setValue(s.height.toInt());
    fpsComboBox->setCurrentIndex(s.frameRateIndex);
    ratioComboBox->setCurrentIndex(s.ratio);
    vbitrateSpinBox->setValue(s.videoBitrate.toInt());
    qualityComboBox->setCurrentIndex(s.targetSizeMB > 0 ? targetSizeQualityIndex : s.quality);
    if (s.targetSizeMB > 0)
        targetSizeSpinBox->setValue(s.targetSizeMB);
    audioCheckBox->setChecked(s.audioOn);
    acodecComboBox->setCurrentIndex(s.audioCodec);
    acopywahl();
    freqComboBox->setCurrentIndex(s.sampleRateIndex);
    abitrateComboBox->setCurrentIndex(s.audioBitrateIndex);
    (s.stereo ? stereoButton : monoButton)->setChecked(true);
    refreshFormatControls();
    setOutputFile();
    applyingPreset = false;
}

PanelSettings MainWindow::panelSettings() const
{
    PanelSettings settings = widgetSettings();
    // The fields the panel has no control for come from the preset while it is
    // chosen and unchanged.
    if (chosenPreset && !presetChanged) {
        settings.maxHeight = chosenPreset->settings.maxHeight;
        settings.deinterlace = chosenPreset->settings.deinterlace;
    }
    keepPresetLimit(settings, chosenPreset);
    return settings;
}

void MainWindow::showPresetChanged()
{
    const int index = presetComboBox->currentIndex();
    if (chosenPreset && index > 0) {
        PanelSettings shown = widgetSettings();
        shown.maxHeight = chosenPreset->settings.maxHeight;
        shown.deinterlace = chosenPreset->settings.deinterlace;
        keepPresetLimit(shown, chosenPreset);
        presetChanged = !samePresetSettings(shown, chosenPreset->settings);
    }
    for (int i = 1; i < presetComboBox->count(); ++i)
        presetComboBox->setItemText(i, presetList.value(i - 1).name +
                                           (i == index && presetChanged ? changedMark : QString()));
    showSizeChoice();
    showSizeMeaning();
}

void MainWindow::showSizeMeaning()
{
    // The same box holds a size to fill or, under a preset's limit, one never to
    // exceed; its label and tip say which.
    const PanelSettings settings = panelSettings();
    if (settings.sizeIsLimit) {
        targetSizeLabel->setText(tr("Höchstgröße"));
        targetSizeSpinBox->setToolTip(
            tr("Größte Größe der ganzen Ausgabedatei in MB (1 MB = 1.000.000 Byte). Die Datei wird in der "
               "Qualität der Vorlage umgewandelt; nur wenn sie dabei größer würde, wandelt Quorvid das Video "
               "in zwei Durchgängen so um, dass sie diese Größe knapp unterschreitet."));
    } else {
        targetSizeLabel->setText(tr("Zielgröße"));
        targetSizeSpinBox->setToolTip(
            tr("Größe der ganzen Ausgabedatei in MB (1 MB = 1.000.000 Byte). Das Video wird in zwei "
               "Durchgängen so umgewandelt, dass die Datei diese Größe knapp unterschreitet."));
    }
    targetSizeLabel->setToolTip(targetSizeSpinBox->toolTip());
}

void MainWindow::showSizeChoice()
{
    const StreamFacts *video = firstVideo(openedFacts);
    const SizeChoice choice = sizeChoice(panelSettings().maxHeight, video ? video->shownWidth() : 0,
                                         video ? video->shownHeight() : 0);
    originalSizeCheckBox->setText(choice.text);
    originalSizeCheckBox->setToolTip(choice.toolTip);
    // The Video line keeps room for the check box and its neighbours; it only
    // grows, so that the panel does not jump from one file to the next.
    const int needed = videoCheckBox->sizeHint().width() + AudioVideoGridLayout->horizontalSpacing() +
                       formatWidget->sizeHint().width();
    if (AudioVideoGridLayout->columnMinimumWidth(0) < needed)
        AudioVideoGridLayout->setColumnMinimumWidth(0, needed);
}

void MainWindow::savePresetAs()
{
    const QString proposed = chosenPreset && !chosenPreset->builtIn ? chosenPreset->name : QString();
    bool ok = false;
    const QString name = QInputDialog::getText(this, u"Vorlage speichern"_s, u"Name der Vorlage:"_s,
                                               QLineEdit::Normal, proposed, &ok)
                             .trimmed();
    if (!ok || name.isEmpty())
        return;
    const std::optional<Preset> existing = findPreset(presetList, name);
    if (existing && !existing->builtIn &&
        !askYesNo(messageFont, u"Die Vorlage „%1“ gibt es schon.<br><br>Soll sie durch die aktuellen Einstellungen "
                  u"ersetzt werden?"_s.arg(existing->name.toHtmlEscaped())))
        return;
    if (const QString error = savePreset(userPresetFolder(), {name, false, panelSettings()});
        !error.isEmpty()) {
        showErrorBox(messageFont, error.toHtmlEscaped());
        return;
    }
    fillPresetBox(name);
    chosenPreset = findPreset(presetList, name);
    presetChanged = false;
    showPresetChanged();
}

void MainWindow::renameChosenPreset()
{
    if (!chosenPreset || chosenPreset->builtIn) {
        showErrorBox(messageFont, u"Bitte wählen Sie zuerst eine eigene Vorlage. Eingebaute Vorlagen lassen sich nicht "
                     u"umbenennen."_s);
        return;
    }
    bool ok = false;
    const QString name = QInputDialog::getText(this, u"Vorlage umbenennen"_s, u"Neuer Name:"_s,
                                               QLineEdit::Normal, chosenPreset->name, &ok)
                             .trimmed();
    if (!ok || name.isEmpty() || name == chosenPreset->name)
        return;
    if (const QString error = renamePreset(userPresetFolder(), chosenPreset->name, name); !error.isEmpty()) {
        showErrorBox(messageFont, error.toHtmlEscaped());
        return;
    }
    const bool changed = presetChanged;
    fillPresetBox(name);
    chosenPreset = findPreset(presetList, name);
    presetChanged = changed;
    showPresetChanged();
}

void MainWindow::deleteChosenPreset()
{
    if (!chosenPreset || chosenPreset->builtIn) {
        showErrorBox(messageFont, u"Bitte wählen Sie zuerst eine eigene Vorlage. Eingebaute Vorlagen lassen sich nicht "
                     u"löschen."_s);
        return;
    }
    if (!askYesNo(messageFont, u"Soll die Vorlage „%1“ gelöscht werden?"_s.arg(chosenPreset->name.toHtmlEscaped())))
        return;
    if (const QString error = deletePreset(userPresetFolder(), chosenPreset->name); !error.isEmpty()) {
        showErrorBox(messageFont, error.toHtmlEscaped());
        return;
    }
    // The panel keeps its values; only the name is gone.
    fillPresetBox(QString());
    showPresetChanged();
}

void MainWindow::exportChosenPreset()
{
    if (!chosenPreset) {
        showErrorBox(messageFont, u"Bitte wählen Sie zuerst die Vorlage, die exportiert werden soll."_s);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        this, u"Vorlage exportieren"_s, QDir::homePath() + u'/' + chosenPreset->name + u".json"_s,
        u"Vorlagen (*.json)"_s);
    if (path.isEmpty())
        return;
    Preset exported = *chosenPreset;
    exported.settings = panelSettings();
    if (const QString error = writePresetFile(path, exported); !error.isEmpty())
        showErrorBox(messageFont, error.toHtmlEscaped());
}

void MainWindow::importPresetFile()
{
    const QString path = QFileDialog::getOpenFileName(this, u"Vorlage importieren"_s, QDir::homePath(),
                                                      u"Vorlagen (*.json)"_s);
    if (path.isEmpty())
        return;
    QString name;
    if (const QString error = importPreset(userPresetFolder(), path, &name); !error.isEmpty()) {
        showErrorBox(messageFont, u"Die Vorlage %1 kann nicht importiert werden.<br><br>%2"_s.arg(path.toHtmlEscaped(),
                                                                                     error.toHtmlEscaped()));
        return;
    }
    fillPresetBox(name);
    presetChosen(presetComboBox->currentIndex());
}
