#ifndef STEADYLABEL_H
#define STEADYLABEL_H

#include <QWidget>

// A one-line text that changes often (the batch's "Job 3 von 20 – Batch: noch
// …"). Unlike a label, a new text lays nothing out again (its size hint does not
// follow the text, and a label's new text would lay out the whole window), and
// it paints its own background, so the box beneath it is not painted again with
// it. A text longer than its room is cut off with "…".
class SteadyLabel : public QWidget
{
    Q_OBJECT

public:
    explicit SteadyLabel(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};

#endif
