#include "presetchooser.h"

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
#include "remembered.h"
#include "sizechoice.h"
#include "ui_mainwindow.h"

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

PresetChooser::PresetChooser(Ui::MainWindow &form, QWidget *window, QFont &font, Remembered &remembered,
                             std::function<PanelSettings()> readPanel,
                             std::function<void(const PanelSettings &)> applyPanel)
    : QObject(window), m_form(form), m_window(window), m_font(font), m_remembered(remembered),
      m_readPanel(std::move(readPanel)), m_applyPanel(std::move(applyPanel))
{
    // The preset commands sit in a menu button beside the box, where they belong.
    auto *menu = new QMenu(u"Vorlagen"_s, m_window);
    // A push button keeps room for its menu arrow beside the text; a tool button
    // draws the arrow over the text's end.
    auto *menuButton = new QPushButton(u"Vorlagen"_s, m_form.presetWidget);
    menuButton->setObjectName(u"presetMenuButton"_s);
    menuButton->setToolTip(u"Vorlagen speichern, umbenennen, löschen, exportieren und importieren"_s);
    menuButton->setMenu(menu);
    m_form.presetHorizontalLayout->addWidget(menuButton);
    menu->addAction(u"Aktuelle Einstellungen als Vorlage speichern..."_s, this, &PresetChooser::saveAs);
    menu->addAction(u"Vorlage umbenennen..."_s, this, &PresetChooser::renameChosen);
    menu->addAction(u"Vorlage löschen"_s, this, &PresetChooser::deleteChosen);
    menu->addSeparator();
    menu->addAction(u"Vorlage exportieren..."_s, this, &PresetChooser::exportChosen);
    menu->addAction(u"Vorlage importieren..."_s, this, &PresetChooser::importFile);
    connect(m_form.presetComboBox, &QComboBox::activated, this, &PresetChooser::choose);

    // Every control of the panel; queued, so the comparison sees the panel after
    // its own reactions to the change.
    const auto changed = [this] {
        if (!m_applying)
            QMetaObject::invokeMethod(this, &PresetChooser::showChanged, Qt::QueuedConnection);
    };
    for (QComboBox *box :
         {m_form.vcodecComboBox, m_form.fpsComboBox, m_form.ratioComboBox, m_form.qualityComboBox,
          m_form.acodecComboBox, m_form.freqComboBox, m_form.abitrateComboBox, m_form.loudnessComboBox})
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    for (QSpinBox *box : {m_form.vauflspinBox, m_form.hauflspinBox, m_form.vbitrateSpinBox})
        connect(box, &QSpinBox::valueChanged, this, changed);
    connect(m_form.targetSizeSpinBox, &QDoubleSpinBox::valueChanged, this, changed);
    for (QAbstractButton *button : std::initializer_list<QAbstractButton *>{
             m_form.videoCheckBox, m_form.audioCheckBox, m_form.dvdButton, m_form.originalSizeCheckBox,
             m_form.stereoButton, m_form.monoButton, m_form.removeBarsCheckBox, m_form.keepHdrCheckBox})
        connect(button, &QAbstractButton::toggled, this, changed);

    // The box is as wide as its longest built-in name; a very long name of the
    // user's is shortened rather than widening the window.
    m_form.presetComboBox->setMaximumWidth(m_form.presetComboBox->fontMetrics().averageCharWidth() *
                                           maxPresetNameChars);
    // The size box's label holds either of its two texts without moving the row.
    const QFontMetrics metrics = m_form.targetSizeLabel->fontMetrics();
    m_form.targetSizeLabel->setMinimumWidth(
        std::max(metrics.horizontalAdvance(tr("Zielgröße")), metrics.horizontalAdvance(tr("Höchstgröße"))));
    fill(QString());
    reportProblems();
}

PanelSettings PresetChooser::complete(PanelSettings settings) const
{
    // The fields the panel has no control for come from the preset while it is
    // chosen and unchanged.
    if (m_chosen && !m_changed) {
        settings.maxHeight = m_chosen->settings.maxHeight;
        settings.deinterlace = m_chosen->settings.deinterlace;
    }
    keepPresetLimit(settings, m_chosen);
    return settings;
}

void PresetChooser::fill(const QString &select)
{
    const PresetFolder user = loadPresetFolder(userPresetFolder());
    m_presets = builtInPresets() + user.presets;
    const QSignalBlocker blocker(m_form.presetComboBox);
    while (m_form.presetComboBox->count() > 1)
        m_form.presetComboBox->removeItem(1);
    int chosen = 0;
    for (qsizetype i = 0; i < m_presets.size(); ++i) {
        m_form.presetComboBox->addItem(m_presets[i].name);
        if (!select.isEmpty() && m_presets[i].name.compare(select, Qt::CaseInsensitive) == 0)
            chosen = int(i) + 1;
    }
    if (chosen == 0) {
        m_chosen.reset();
        m_changed = false;
    }
    m_form.presetComboBox->setCurrentIndex(chosen);
}

void PresetChooser::reportProblems()
{
    const QList<PresetProblem> problems = loadPresetFolder(userPresetFolder()).problems;
    // Damaged and foreign files are left as they are and never used. They are
    // named when they first appear, and again only when the set of them changed:
    // a box at every start that tells nothing new would teach to click it away.
    const QStringList set = presetProblemSet(problems);
    if (set == m_remembered.namedPresetProblems())
        return;
    m_remembered.setNamedPresetProblems(set);
    m_remembered.save();
    if (problems.isEmpty())
        return;
    const PresetProblemReport report = presetProblemReport(problems, userPresetFolder());
    QTimer::singleShot(0, this, [this, report] {
        showBox(m_font, QMessageBox::Warning, u"Vorlagen"_s, report.text, report.details);
    });
}

void PresetChooser::choose(int index)
{
    if (index <= 0) {
        m_chosen.reset();
        m_changed = false;
        showChanged();
        return;
    }
    m_chosen = m_presets.value(index - 1);
    m_applying = true;
    m_applyPanel(m_chosen->settings);
    m_applying = false;
    m_changed = false;
    showChanged();
}

void PresetChooser::showChanged()
{
    const int index = m_form.presetComboBox->currentIndex();
    if (m_chosen && index > 0) {
        PanelSettings shown = m_readPanel();
        shown.maxHeight = m_chosen->settings.maxHeight;
        shown.deinterlace = m_chosen->settings.deinterlace;
        keepPresetLimit(shown, m_chosen);
        m_changed = !samePresetSettings(shown, m_chosen->settings);
    }
    for (int i = 1; i < m_form.presetComboBox->count(); ++i)
        m_form.presetComboBox->setItemText(i, m_presets.value(i - 1).name +
                                                  (i == index && m_changed ? changedMark : QString()));
    emit presetShown();
}

void PresetChooser::saveAs()
{
    const QString proposed = m_chosen && !m_chosen->builtIn ? m_chosen->name : QString();
    bool ok = false;
    const QString name = QInputDialog::getText(m_window, u"Vorlage speichern"_s, u"Name der Vorlage:"_s,
                                               QLineEdit::Normal, proposed, &ok)
                             .trimmed();
    if (!ok || name.isEmpty())
        return;
    const std::optional<Preset> existing = findPreset(m_presets, name);
    if (existing && !existing->builtIn &&
        !askYesNo(m_font,
                  u"Die Vorlage „%1“ gibt es schon.<br><br>Soll sie durch die aktuellen Einstellungen "
                  u"ersetzt werden?"_s.arg(existing->name.toHtmlEscaped())))
        return;
    if (const QString error = savePreset(userPresetFolder(), {name, false, complete(m_readPanel())});
        !error.isEmpty()) {
        showErrorBox(m_font, error.toHtmlEscaped());
        return;
    }
    fill(name);
    m_chosen = findPreset(m_presets, name);
    m_changed = false;
    showChanged();
}

void PresetChooser::renameChosen()
{
    if (!m_chosen || m_chosen->builtIn) {
        showErrorBox(m_font,
                     u"Bitte wählen Sie zuerst eine eigene Vorlage. Eingebaute Vorlagen lassen sich nicht "
                     u"umbenennen."_s);
        return;
    }
    bool ok = false;
    const QString name = QInputDialog::getText(m_window, u"Vorlage umbenennen"_s, u"Neuer Name:"_s,
                                               QLineEdit::Normal, m_chosen->name, &ok)
                             .trimmed();
    if (!ok || name.isEmpty() || name == m_chosen->name)
        return;
    if (const QString error = renamePreset(userPresetFolder(), m_chosen->name, name); !error.isEmpty()) {
        showErrorBox(m_font, error.toHtmlEscaped());
        return;
    }
    const bool changed = m_changed;
    fill(name);
    m_chosen = findPreset(m_presets, name);
    m_changed = changed;
    showChanged();
}

void PresetChooser::deleteChosen()
{
    if (!m_chosen || m_chosen->builtIn) {
        showErrorBox(m_font,
                     u"Bitte wählen Sie zuerst eine eigene Vorlage. Eingebaute Vorlagen lassen sich nicht "
                     u"löschen."_s);
        return;
    }
    if (!askYesNo(m_font, u"Soll die Vorlage „%1“ gelöscht werden?"_s.arg(m_chosen->name.toHtmlEscaped())))
        return;
    if (const QString error = deletePreset(userPresetFolder(), m_chosen->name); !error.isEmpty()) {
        showErrorBox(m_font, error.toHtmlEscaped());
        return;
    }
    // The panel keeps its values; only the name is gone.
    fill(QString());
    showChanged();
}

void PresetChooser::exportChosen()
{
    if (!m_chosen) {
        showErrorBox(m_font, u"Bitte wählen Sie zuerst die Vorlage, die exportiert werden soll."_s);
        return;
    }
    const QString path = QFileDialog::getSaveFileName(m_window, u"Vorlage exportieren"_s,
                                                      QDir::homePath() + u'/' + m_chosen->name + u".json"_s,
                                                      u"Vorlagen (*.json)"_s);
    if (path.isEmpty())
        return;
    Preset exported = *m_chosen;
    exported.settings = complete(m_readPanel());
    if (const QString error = writePresetFile(path, exported); !error.isEmpty())
        showErrorBox(m_font, error.toHtmlEscaped());
}

void PresetChooser::importFile()
{
    const QString path = QFileDialog::getOpenFileName(m_window, u"Vorlage importieren"_s, QDir::homePath(),
                                                      u"Vorlagen (*.json)"_s);
    if (path.isEmpty())
        return;
    QString name;
    if (const QString error = importPreset(userPresetFolder(), path, &name); !error.isEmpty()) {
        showErrorBox(m_font, u"Die Vorlage %1 kann nicht importiert werden.<br><br>%2"_s.arg(
                                 path.toHtmlEscaped(), error.toHtmlEscaped()));
        return;
    }
    fill(name);
    choose(m_form.presetComboBox->currentIndex());
}
