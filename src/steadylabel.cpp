#include "steadylabel.h"

#include <QPainter>

SteadyLabel::SteadyLabel(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void SteadyLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    update();
}

QSize SteadyLabel::sizeHint() const
{
    // Room for a typical text at the font, whatever it shows now.
    return QSize(fontMetrics().averageCharWidth() * 30, fontMetrics().height());
}

QSize SteadyLabel::minimumSizeHint() const
{
    return QSize(0, fontMetrics().height());
}

void SteadyLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_text, Qt::ElideRight, width()));
}
