// The "Vorlage" box above the settings panel and its "Vorlagen" menu: the presets
// behind the box, the one chosen, and whether the panel still holds it. Choosing
// a preset sets the panel; any change afterwards marks the preset as changed.
#ifndef PRESETCHOOSER_H
#define PRESETCHOOSER_H

#include <QList>
#include <QObject>

#include <functional>
#include <optional>

#include "presets.h"

class QFont;
class QWidget;
class Remembered;
namespace Ui {
class MainWindow;
}

class PresetChooser : public QObject
{
    Q_OBJECT

public:
    // `form` is the window's form, `window` the parent of the dialogs, `font` the
    // message font; `readPanel` tells what the panel's widgets show, and
    // `applyPanel` sets them from a preset.
    PresetChooser(Ui::MainWindow &form, QWidget *window, QFont &font, Remembered &remembered,
                  std::function<PanelSettings()> readPanel,
                  std::function<void(const PanelSettings &)> applyPanel);

    // The panel's settings completed with what a chosen, unchanged preset holds
    // beyond the panel's controls (height bound, deinterlacing, a size as limit).
    PanelSettings complete(PanelSettings shown) const;

signals:
    // A preset was chosen or the panel moved away from it: what depends on the
    // preset (the size box's meaning) is to be shown again.
    void presetShown();

private:
    void fill(const QString &select);
    // Names the damaged or foreign files of the presets' folder, once at start.
    void reportProblems();
    void choose(int index);
    void showChanged();
    void saveAs();
    void renameChosen();
    void deleteChosen();
    void exportChosen();
    void importFile();

    Ui::MainWindow &m_form;
    QWidget *m_window;
    QFont &m_font;
    Remembered &m_remembered;
    std::function<PanelSettings()> m_readPanel;
    std::function<void(const PanelSettings &)> m_applyPanel;
    // The presets behind the box's items after "(keine)".
    QList<Preset> m_presets;
    std::optional<Preset> m_chosen;
    bool m_changed = false;
    bool m_applying = false;
};

#endif
