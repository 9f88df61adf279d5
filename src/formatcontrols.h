// The settings panel's controls for the codecs of today: the "Original" size, the
// quality mode and the target size, kept enabled exactly when the argument
// builder reads them, and their defaults when a codec of the other group is
// chosen.
#ifndef FORMATCONTROLS_H
#define FORMATCONTROLS_H

#include <QObject>

namespace Ui {
class MainWindow;
}

class FormatControls : public QObject
{
    Q_OBJECT

public:
    // Connects to the form's controls after the window's own connections, so
    // that the reactions of the first codecs run first.
    FormatControls(Ui::MainWindow &form, QObject *parent);

    // The enabled states follow the codec, the PAL-DVD preset and the quality mode.
    void refresh();

private:
    void videoCodecChanged();

    Ui::MainWindow &m_form;
    // The video codec chosen before the current one: crossing between the first
    // codecs and those of today sets the defaults of the new group.
    int m_previousCodec = 0;
};

#endif
