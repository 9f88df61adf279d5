// Every text of the window readable in full: run under screens of 96 and 120 dpi
// with the desktop's default fonts, in the normal and the maximized window, with
// the panel as each preset and a codec of today leave it, every item of every
// combo box and a track list with long reasons.
#include <QtTest>
#include <QtWidgets>

#include "codecs.h"
#include "framepacer.h"
#include "quorvid.h"
#include "steadylabel.h"
#include "testsupport.h"
#include "tracks.h"

using namespace Qt::StringLiterals;

class FormFitTest : public QObject
{
    Q_OBJECT

private slots:
    void textsHaveRoom_data();
    void textsHaveRoom();
    void trackListShowsEveryColumn();
    void changingFiguresPaintOnlyThemselves_data();
    void changingFiguresPaintOnlyThemselves();
    void quickChangesPaintedTogether_data();
    void quickChangesPaintedTogether();
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
        // A label that wraps needs only its height for the lines it is given.
        if (label->wordWrap())
            return {0, label->heightForWidth(label->width())};
        return {metrics.horizontalAdvance(label->text()), metrics.height()};
    }
    if (qobject_cast<QGroupBox *>(w))
        return {w->minimumSizeHint().width(), 0};
    // Buttons (with their menu arrow), check and radio buttons, spin boxes (their
    // longest value).
    return w->sizeHint();
}

// The width a combo box needs to show one of its items whole, measured as the box
// measures its own contents.
int comboNeeds(QComboBox *combo, const QString &item)
{
    const QFontMetrics metrics(combo->font());
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.currentText = item;
    const QSize text(metrics.boundingRect(item).width(), metrics.height());
    return combo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, combo).width();
}

QStringList cutTexts(MainWindow &window)
{
    QStringList cut;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        const QString text = shownText(w);
        if (text.isEmpty() || !w->isVisibleTo(&window) || w->inherits("QMenu") ||
            qobject_cast<QToolBar *>(w->parentWidget()))
            continue;
        const QSize needed = neededFor(w);
        if (w->width() < needed.width() || w->height() < needed.height())
            cut << u"%1 \"%2\": %3x%4, needs %5x%6"_s.arg(w->objectName(), text)
                       .arg(w->width())
                       .arg(w->height())
                       .arg(needed.width())
                       .arg(needed.height());
        if (auto *combo = qobject_cast<QComboBox *>(w))
            for (int i = 0; i < combo->count(); ++i)
                if (const int width = comboNeeds(combo, combo->itemText(i)); combo->width() < width)
                    cut << u"%1 item \"%2\": %3 wide, needs %4"_s.arg(combo->objectName(), combo->itemText(i))
                               .arg(combo->width())
                               .arg(width);
        // Nor may any of the widgets holding it cut it off.
        for (QWidget *holder = w->parentWidget(); holder && holder != &window;
             holder = holder->parentWidget()) {
            const QRect inHolder(w->mapTo(holder, QPoint(0, 0)), w->size());
            if (!holder->rect().contains(inHolder))
                cut << u"%1 \"%2\" reaches out of %3"_s.arg(w->objectName(), text, holder->objectName());
        }
    }

    // The table's column headers, and the Status column in sight beside Jobs.
    QTableWidget *table = window.batchTableWidget;
    QHeaderView *header = table->horizontalHeader();
    const int margin = 2 * table->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 0; column < 2; ++column) {
        const QString text = table->horizontalHeaderItem(column)->text();
        if (header->sectionSize(column) < header->fontMetrics().horizontalAdvance(text) + margin)
            cut << u"column \"%1\": %2 wide"_s.arg(text).arg(header->sectionSize(column));
    }
    if (header->sectionViewportPosition(1) + header->sectionSize(1) > table->viewport()->width())
        cut << u"column \"Status\" out of sight"_s;
    return cut;
}
} // namespace

void FormFitTest::textsHaveRoom_data()
{
    QTest::addColumn<bool>("maximized");
    QTest::newRow("first size") << false;
    QTest::newRow("maximized window") << true;
}

void FormFitTest::textsHaveRoom()
{
    QFETCH(bool, maximized);
    FakeConverter fake;
    MainWindow window;
    if (maximized)
        window.showMaximized();
    else
        window.showNormal(); // the size the window starts with, not maximized
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    qInfo("screen: %g dpi, window %dx%d", window.screen()->logicalDotsPerInchX(), window.width(),
          window.height());
    const QSize firstSize = window.size();
    // Never smaller than its texts need, even where no window manager holds it so.
    QVERIFY2(
        firstSize.expandedTo(window.minimumSizeHint()) == firstSize,
        qPrintable(u"%1x%2"_s.arg(window.minimumSizeHint().width()).arg(window.minimumSizeHint().height())));
    if (!maximized) {
        window.resize(995, 712); // the form's own size is too small for it
        QTest::qWait(20);
        QCOMPARE(window.size(), firstSize);
    }

    // The panel as it starts, with a codec of today, and as each preset sets it
    // (one bounds the picture: the size box then says so).
    QStringList cut;
    const auto check = [&](const QString &state) {
        QTest::qWait(20);
        for (const QString &text : cutTexts(window))
            cut << state + u": "_s + text;
    };
    check(u"start"_s);
    window.vcodecComboBox->setCurrentIndex(7);
    emit window.vcodecComboBox->activated(7);
    window.qualityComboBox->setCurrentIndex(targetSizeQualityIndex);
    check(u"H.264 to a size"_s);
    for (int i = 1; i < window.presetComboBox->count(); ++i) {
        window.presetComboBox->setCurrentIndex(i);
        emit window.presetComboBox->activated(i);
        check(window.presetComboBox->itemText(i));
    }
    QVERIFY2(cut.isEmpty(), qPrintable(u"\n"_s + cut.join(u'\n')));
    // Nothing of this made the window grow beyond its first size.
    QCOMPARE(window.size(), firstSize);
}

void FormFitTest::trackListShowsEveryColumn()
{
    // A film with subtitles that an MP4 cannot hold: long reasons in the last
    // column, which must be whole once the list is scrolled to its right end; the
    // header stays from one file to the next, so that the rows keep their place.
    FakeConverter fake;
    MainWindow window;
    window.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TrackList *list = window.trackList;
    PanelSettings settings;
    settings.videoCodec = 7;
    settings.audioCodec = 5;
    const auto show = [&](const QList<StreamFacts::Kind> &kinds) {
        MediaFacts facts;
        facts.valid = true;
        for (const StreamFacts::Kind kind : kinds) {
            StreamFacts stream;
            stream.index = int(facts.streams.size());
            stream.kind = kind;
            stream.codec = kind == StreamFacts::Kind::Subtitle ? u"dvd_subtitle"_s : u"h264"_s;
            stream.bitmapSubtitle = kind == StreamFacts::Kind::Subtitle;
            stream.language = u"deu"_s;
            facts.streams << stream;
        }
        list->setFacts(facts);
        list->showPlan(planTracks(facts, settings, u"mp4"_s, {}));
        QTest::qWait(20);
        return list->viewport()->mapTo(&window, QPoint(0, 0)).y();
    };
    const int simpleTop = show({StreamFacts::Kind::Video, StreamFacts::Kind::Audio});
    QVERIFY(!list->isHeaderHidden());
    const int filmTop =
        show({StreamFacts::Kind::Video, StreamFacts::Kind::Audio, StreamFacts::Kind::Subtitle});
    QCOMPARE(filmTop, simpleTop);
    QVERIFY(!list->topLevelItem(2)->text(TrackList::ReasonColumn).isEmpty());

    list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum());
    const int column = TrackList::ReasonColumn;
    const QString reason = list->topLevelItem(2)->text(column);
    const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    const QRect cell = list->visualRect(list->model()->index(2, column));
    QVERIFY2(cell.width() >= list->fontMetrics().horizontalAdvance(reason) + margin,
             qPrintable(u"%1 wide for \"%2\""_s.arg(cell.width()).arg(reason)));
    QVERIFY(cell.right() < list->viewport()->width());
    // All rows stay in sight beside the scroll bar below them.
    QVERIFY(list->visualItemRect(list->topLevelItem(2)).bottom() < list->viewport()->height());
}

// What changes during a run (the job line, the bar, the display, the status line)
// is painted alone: the window and the boxes beneath it are neither painted nor
// laid out again with every figure, which on a desktop cost more than the rest
// of a short job.
void FormFitTest::changingFiguresPaintOnlyThemselves_data()
{
    QTest::addColumn<QString>("changing");
    QTest::newRow("job line") << u"batchJobLabel"_s;
    QTest::newRow("bar") << u"progressBar"_s;
    QTest::newRow("display") << u"lcdNumber"_s;
    QTest::newRow("status line") << u"statusbar"_s;
}

void FormFitTest::changingFiguresPaintOnlyThemselves()
{
    QFETCH(QString, changing);
    FakeConverter fake;
    // The focused line edit's blinking cursor would paint the window beneath.
    QApplication::setCursorFlashTime(0);
    MainWindow window;
    window.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(500); // the first paints of the whole window are over
    QWidget *widget = window.findChild<QWidget *>(changing);
    QVERIFY(widget);
    struct Counter : QObject
    {
        QMap<QObject *, int> paints, layouts;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                ++paints[object];
            else if (event->type() == QEvent::LayoutRequest)
                ++layouts[object];
            return false;
        }
    } counter;
    const QList<QWidget *> beneath{&window, window.centralWidget(),
                                   window.findChild<QWidget *>(u"batchlisteGroupBox"_s)};
    for (QWidget *each : beneath + QList<QWidget *>{widget})
        each->installEventFilter(&counter);
    const QString longLine = u"Job 1234 von 5678 – Batch: noch 123:45:00"_s;
    for (int step = 0; step < 3; ++step) {
        if (auto *line = qobject_cast<SteadyLabel *>(widget))
            line->setText(longLine.left(longLine.size() - step));
        else if (auto *bar = qobject_cast<QProgressBar *>(widget))
            bar->setValue(40 + step);
        else if (auto *lcd = qobject_cast<QLCDNumber *>(widget))
            lcd->display(u"1:2%1"_s.arg(step));
        else
            window.statusBar()->showMessage(u"Konvertiere /tmp/Film %1.mkv"_s.arg(step));
        QTest::qWait(20);
    }
    QTest::qWait(300);
    QVERIFY(counter.paints.value(widget) >= 1); // quick changes are painted together
    for (QWidget *each : beneath) {
        QCOMPARE(counter.paints.value(each), 0);
        QCOMPARE(counter.layouts.value(each), 0);
    }
    // The job line holds a long text whole in the window's first size.
    if (qobject_cast<SteadyLabel *>(widget))
        QVERIFY(widget->fontMetrics().horizontalAdvance(longLine) <= widget->width());
}

void FormFitTest::quickChangesPaintedTogether_data()
{
    QTest::addColumn<bool>("typing"); // a key press before every change
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");
    // Ten changes 10 ms apart: the first at once, the rest when the interval ends.
    QTest::newRow("by the program") << false << 2 << 3;
    // Input is answered at once, every time.
    QTest::newRow("after input") << true << 10 << 11;
}

void FormFitTest::quickChangesPaintedTogether()
{
    QFETCH(bool, typing);
    QFETCH(int, fewest);
    QFETCH(int, most);
    QWidget window;
    auto *label = new QLabel(u"0"_s, &window);
    label->setFixedWidth(200);
    new FramePacer(&window, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300);
    struct Counter : QObject
    {
        int paints = 0;
        QString lastPainted;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if (event->type() == QEvent::Paint) {
                ++paints;
                lastPainted = static_cast<QLabel *>(object)->text();
            }
            return false;
        }
    } counter;
    label->installEventFilter(&counter);
    for (int step = 1; step <= 10; ++step) {
        if (typing)
            QTest::keyClick(window.windowHandle(), Qt::Key_A);
        label->setText(QString::number(step));
        QTest::qWait(10);
    }
    QTest::qWait(300);
    QVERIFY2(counter.paints >= fewest && counter.paints <= most, qPrintable(QString::number(counter.paints)));
    QCOMPARE(counter.lastPainted, u"10"_s); // the last change is never left out
}

QTEST_MAIN(FormFitTest)
#include "tst_formfit.moc"
