#include "messagebox.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include "terminaltext.h"

QMessageBox::StandardButton execBox(const BoxSpec &spec, QFont &font)
{
    font.setPointSize(12);
    QMessageBox box;
    box.setStandardButtons(spec.buttons);
    if (spec.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(spec.defaultButton);
    if (QAbstractButton *yes = box.button(QMessageBox::Yes))
        yes->setText(QCoreApplication::translate("MainWindow", "&Ja"));
    if (QAbstractButton *no = box.button(QMessageBox::No))
        no->setText(QCoreApplication::translate("MainWindow", "&Nein"));
    box.setFont(font);
    box.setIcon(spec.icon);
    box.setWindowTitle(spec.title);
    box.setText(printableText(spec.text, LineBreaks::Keep));
    if (!spec.details.isEmpty())
        box.setDetailedText(spec.details);
    return QMessageBox::StandardButton(box.exec());
}
