// The column beside the information about the opened file: a picture of it, and
// the part of it to convert ("Von" / "Bis") with what the fields mean for the
// job, told before anything runs.
#ifndef SOURCECOLUMN_H
#define SOURCECOLUMN_H

#include <QObject>

#include <functional>

#include "makejob.h"
#include "stillpicture.h"

class SourceLook;
namespace Ui {
class MainWindow;
}

class SourceColumn : public QObject
{
    Q_OBJECT

public:
    // `settingsFor` gives the settings a job for a file would be made with.
    SourceColumn(Ui::MainWindow &form, const SourceLook &look,
                 std::function<PanelSettings(const QString &)> settingsFor, QObject *parent);

    // Another file was opened: its picture and the part of the previous one go.
    void forget();
    // The picture at the part's start, at once or after a pause in typing.
    void showStill(bool soon);
    // A time or a size that cannot be, or where a copy really begins.
    void showRangeNote();

private:
    Ui::MainWindow &m_form;
    const SourceLook &m_look;
    std::function<PanelSettings(const QString &)> m_settingsFor;
    // The picture of the opened file, taken in the background.
    StillPicture m_still;
};

#endif
