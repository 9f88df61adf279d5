// Every text of the window readable in full: run under screens of 96 and 120 dpi
// with the desktop's default fonts, in the normal and the maximized window.
#include <QtTest>
#include <QtWidgets>

#include "quorvid.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

class FormFitTest : public QObject
{
    Q_OBJECT

private slots:
    void textsHaveRoom_data();
    void textsHaveRoom();
};

namespace {
QString shownText(QWidget *w)
{
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *box = qobject_cast<QGroupBox *>(w))
        return box->title();
    if (auto *combo = qobject_cast<QComboBox *>(w))
        return combo->currentText();
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(w))
        return spin->text();
    return QString();
}

// The room a widget needs for its text, as its style measures it in its font.
QSize neededFor(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w)) {
        const QFontMetrics metrics(label->font());
        return {metrics.horizontalAdvance(label->text()), metrics.height()};
    }
    if (qobject_cast<QGroupBox *>(w))
        return {w->minimumSizeHint().width(), 0};
    // Buttons, check and radio buttons, combo boxes (their longest item), spin
    // boxes (their longest value).
    return w->sizeHint();
}
} // namespace

void FormFitTest::textsHaveRoom_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::newRow("normal window") << false;
    QTest::newRow("maximized window") << true;
}

void FormFitTest::textsHaveRoom()
{
    QFETCH(bool, maximized);
    FakeConverter fake;
    MainWindow window;
    if (maximized) {
        window.showMaximized();
    } else {
        window.showNormal();
        window.resize(995, 712);
    }
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    qInfo("screen: %g dpi, window %dx%d", window.screen()->logicalDotsPerInchX(), window.width(),
          window.height());

    QStringList cut;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        const QString text = shownText(w);
        if (text.isEmpty() || !w->isVisibleTo(&window) || w->inherits("QToolButton") || w->inherits("QMenu"))
            continue;
        const QSize needed = neededFor(w);
        if (w->width() < needed.width() || w->height() < needed.height())
            cut << u"%1 \"%2\": %3x%4, needs %5x%6"_s.arg(w->objectName(), text)
                       .arg(w->width())
                       .arg(w->height())
                       .arg(needed.width())
                       .arg(needed.height());
        // Nor may any of the widgets holding it cut it off.
        for (QWidget *holder = w->parentWidget(); holder && holder != &window;
             holder = holder->parentWidget()) {
            const QRect inHolder(w->mapTo(holder, QPoint(0, 0)), w->size());
            if (!holder->rect().contains(inHolder))
                cut << u"%1 \"%2\" reaches out of %3"_s.arg(w->objectName(), text, holder->objectName());
        }
    }

    // The table's column headers, and the Status column in sight beside Jobs.
    auto *table = window.findChild<QTableWidget *>(u"batchTableWidget"_s);
    QHeaderView *header = table->horizontalHeader();
    const int margin = 2 * table->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 0; column < 2; ++column) {
        const QString text = table->horizontalHeaderItem(column)->text();
        if (header->sectionSize(column) < header->fontMetrics().horizontalAdvance(text) + margin)
            cut << u"column \"%1\": %2 wide"_s.arg(text).arg(header->sectionSize(column));
    }
    if (header->sectionViewportPosition(1) + header->sectionSize(1) > table->viewport()->width())
        cut << u"column \"Status\" out of sight"_s;

    QVERIFY2(cut.isEmpty(), qPrintable(u"\n"_s + cut.join(u'\n')));
}

QTEST_MAIN(FormFitTest)
#include "tst_formfit.moc"
