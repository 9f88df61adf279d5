#include "germannumbers.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace {
// Turns a typed point into the decimal comma before the field reads it: with the
// German locale a point would be a thousands mark, which the field refuses, and
// "2.5" would silently become 25.
class PointAsDecimalComma : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->text() != u"."_s)
            return false;
        QKeyEvent comma(QEvent::KeyPress, Qt::Key_Comma, key->modifiers() & ~Qt::KeypadModifier, u","_s,
                        key->isAutoRepeat(), key->count());
        QCoreApplication::sendEvent(watched, &comma);
        return true;
    }
};
} // namespace

QLocale germanNumbers()
{
    QLocale german(QLocale::German, QLocale::Germany);
    german.setNumberOptions(QLocale::RejectGroupSeparator);
    return german;
}

QString germanNumber(double value, int decimals)
{
    return germanNumbers().toString(value, 'f', decimals);
}

void useGermanNumbers(QWidget *root)
{
    const QLocale german = germanNumbers();
    for (QAbstractSpinBox *field : root->findChildren<QAbstractSpinBox *>()) {
        field->setLocale(german);
        if (auto *decimal = qobject_cast<QDoubleSpinBox *>(field))
            decimal->installEventFilter(new PointAsDecimalComma(decimal));
    }
}
