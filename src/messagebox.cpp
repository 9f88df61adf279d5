#include "messagebox.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include "terminaltext.h"

QMessageBox::StandardButton execBox(const BoxContent &content, QFont &font)
{
    font.setPointSize(12);
    QMessageBox box;
    box.setStandardButtons(content.buttons);
    if (content.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(content.defaultButton);
    if (QAbstractButton *yes = box.button(QMessageBox::Yes))
        yes->setText(QCoreApplication::translate("MainWindow", "&Ja"));
    if (QAbstractButton *no = box.button(QMessageBox::No))
        no->setText(QCoreApplication::translate("MainWindow", "&Nein"));
    box.setFont(font);
    box.setIcon(content.icon);
    box.setWindowTitle(content.title);
    box.setText(printableText(content.text, LineBreaks::Keep));
    if (!content.details.isEmpty())
        box.setDetailedText(content.details);
    return QMessageBox::StandardButton(box.exec());
}

void showErrorBox(QFont &font, const QString &text, const QString &details)
{
    showBox(font, QMessageBox::Critical, QStringLiteral("Quorvid Fehler"), text, details);
}

void showBox(QFont &font, QMessageBox::Icon icon, const QString &title, const QString &text,
             const QString &details)
{
    execBox({icon, title, text, details}, font);
}

bool askYesNo(QFont &font, const QString &text)
{
    return execBox({QMessageBox::Question, QStringLiteral("Quorvid"), text, QString(),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
                   font) == QMessageBox::Yes;
}
