// The window as built: every object's class, parent, place and starting state,
// the menus, the toolbar, the tab order, the batch table header and the
// extension lists.
#include <QtTest>
#include <QtWidgets>

#include "quorvid.h"

using namespace Qt::StringLiterals;

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { delete window; }
    void objects_data();
    void objects();
    void windowState();
    void menusAndToolbar();
    void tabOrder();
    void infoBoxIsNoTrap();
    void batchTableHeader();
    void extensionLists();

private:
    MainWindow *window = nullptr;
};

void FormTest::initTestCase()
{
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

// Where an object sits: "grid:layout:row,column,rows,columns", "geom:x,y,w,h",
// "box:layout:index", or "-" for no check.
static QString placementOf(QWidget *window, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    QLayout *layoutObject = qobject_cast<QLayout *>(object);
    const QList<QLayout *> all = window->findChildren<QLayout *>();
    for (QLayout *layout : all) {
        const int index =
            widget ? layout->indexOf(widget) : (layoutObject ? layout->indexOf(layoutObject) : -1);
        if (index < 0)
            continue;
        if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
            int r, c, rs, cs;
            grid->getItemPosition(index, &r, &c, &rs, &cs);
            return u"grid:%1:%2,%3,%4,%5"_s.arg(layout->objectName()).arg(r).arg(c).arg(rs).arg(cs);
        }
        return u"box:%1:%2"_s.arg(layout->objectName()).arg(index);
    }
    if (widget) {
        const QRect g = widget->geometry();
        return u"geom:%1,%2,%3,%4"_s.arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    }
    return u"-"_s;
}

static QString propertyText(QObject *object, const QString &name)
{
    if (name == u"font.pointSize")
        return QString::number(object->property("font").value<QFont>().pointSize());
    if (name == u"items") {
        auto *combo = qobject_cast<QComboBox *>(object);
        QStringList items;
        for (int i = 0; combo && i < combo->count(); ++i)
            items << combo->itemText(i);
        return items.join(u'|');
    }
    if (name == u"icon")
        return object->property("icon").value<QIcon>().isNull() ? u"none"_s : u"set"_s;
    if (name == u"policy") {
        const QSizePolicy p = object->property("sizePolicy").value<QSizePolicy>();
        return u"%1,%2"_s.arg(int(p.horizontalPolicy())).arg(int(p.verticalPolicy()));
    }
    const QVariant value = object->property(name.toLatin1().constData());
    if (value.typeId() == QMetaType::QSize) {
        const QSize s = value.toSize();
        return u"%1x%2"_s.arg(s.width()).arg(s.height());
    }
    if (value.typeId() == QMetaType::QRect) {
        const QRect r = value.toRect();
        return u"%1,%2,%3,%4"_s.arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? u"true"_s : u"false"_s;
    if (value.metaType().flags() & QMetaType::IsEnumeration)
        return QString::number(value.toInt());
    return value.toString();
}

void FormTest::objects_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("placement");
    QTest::addColumn<QString>("properties");

    const QString fixed = u"policy=%1,%1"_s.arg(int(QSizePolicy::Fixed));
    auto row = [](const char *name, const char *cls, const char *parent, const QString &place,
                  const QString &props = QString()) {
        QTest::newRow(name) << QString::fromLatin1(cls) << QString::fromLatin1(parent) << place << props;
    };
    row("actionOpenFile", "QAction", "MainWindow", u"-"_s,
        u"text=Ö&ffnen;icon=set;font.pointSize=10;shortcut=Ctrl+O"_s);
    row("actionMoreFiles", "QAction", "MainWindow", u"-"_s,
        u"text=Öffne &Dateien...;icon=set;shortcut=Ctrl+Shift+O"_s);
    row("actionSaveFile", "QAction", "MainWindow", u"-"_s, u"text=S&peichern;icon=set"_s);
    row("actionAbout", "QAction", "MainWindow", u"-"_s, u"text=Ü&ber...;icon=none"_s);
    row("actionBatchdateiLaden", "QAction", "MainWindow", u"-"_s, u"text=Batchdatei &laden...;icon=set"_s);
    row("actionBatchdateiSpeichern", "QAction", "MainWindow", u"-"_s,
        u"text=&Batchdatei speichern...;icon=set"_s);
    row("actionClose", "QAction", "MainWindow", u"-"_s, u"text=&Schließen;icon=set;shortcut=Ctrl+Q"_s);
    row("actionManual", "QAction", "MainWindow", u"-"_s,
        u"text=&Anleitung;icon=none;font.pointSize=10;shortcut=F1"_s);
    row("actionToolbarOnOff", "QAction", "MainWindow", u"-"_s,
        u"text=&Toolbar;toolTip=Toolbar An/Aus;checkable=true;checked=true"_s);
    row("centralwidget", "QWidget", "MainWindow", u"-"_s);
    row("inputLabel", "QLabel", "centralwidget", u"grid:gridLayout:0,0,1,1"_s,
        u"text=Input;font.pointSize=12"_s);
    row("openLineEdit", "QLineEdit", "centralwidget", u"grid:gridLayout:0,1,1,3"_s, u"text="_s);
    row("rightLine", "QFrame", "centralwidget", u"grid:gridLayout:0,4,9,2"_s,
        u"frameShape=%1;frameShadow=%2"_s.arg(int(QFrame::VLine)).arg(int(QFrame::Sunken)));
    row("singleConvertGroupBox", "QGroupBox", "centralwidget", u"grid:gridLayout:2,7,1,1"_s,
        u"title=Single Convert;minimumHeight=100"_s);
    row("convertButton", "QPushButton", "singleConvertGroupBox", u"geom:10,20,94,28"_s,
        u"text=&Convert Single;enabled=false"_s);
    row("cancelButton", "QPushButton", "singleConvertGroupBox", u"geom:10,60,94,28"_s,
        u"text=&Stop;enabled=true"_s);
    row("outputLabel", "QLabel", "centralwidget", u"grid:gridLayout:4,0,1,1"_s,
        u"text=Output;font.pointSize=12"_s);
    row("saveLineEdit", "QLineEdit", "centralwidget", u"grid:gridLayout:4,1,1,3"_s, u"text="_s);
    row("progressBar", "QProgressBar", "centralwidget", u"grid:gridLayout:5,1,1,1"_s,
        u"value=0;minimum=0;maximum=100"_s);
    row("timeRemainingLabel", "QLabel", "centralwidget", u"grid:gridLayout:5,2,1,1"_s,
        u"text=TIME REMAINING"_s);
    row("lcdNumber", "QLCDNumber", "centralwidget", u"grid:gridLayout:5,3,1,1"_s,
        u"minimumSize=111x31;digitCount=7;segmentStyle=%1"_s.arg(int(QLCDNumber::Flat)));
    row("middleLine", "QFrame", "centralwidget", u"grid:gridLayout:6,0,1,4"_s,
        u"frameShape=%1"_s.arg(int(QFrame::HLine)));
    row("batchlisteGroupBox", "QGroupBox", "centralwidget", u"grid:gridLayout:7,0,2,4"_s,
        u"title=Batchliste;minimumSize=0x80"_s);
    row("batchTableWidget", "QTableWidget", "batchlisteGroupBox", u"grid:batchGridLayout:0,0,1,1"_s,
        u"rowCount=0;columnCount=2"_s);
    row("batchConvertGroupBox", "QGroupBox", "centralwidget", u"grid:gridLayout:5,7,3,1"_s,
        u"title=Batch Convert;minimumHeight=190"_s);
    row("batchStopButton", "QPushButton", "batchConvertGroupBox", u"geom:10,150,94,28"_s,
        u"text=Sto&p Batch"_s);
    row("batchConvertButton", "QPushButton", "batchConvertGroupBox", u"geom:10,110,94,28"_s,
        u"text=Start &Batch;enabled=false"_s);
    row("insertJobButton", "QPushButton", "batchConvertGroupBox", u"geom:10,19,94,28"_s,
        u"text=Job h&inzufügen;enabled=true"_s);
    row("delJobButton", "QPushButton", "batchConvertGroupBox", u"geom:10,56,94,28"_s,
        u"text=Job(s) &löschen"_s);
    row("miniLine", "QFrame", "batchConvertGroupBox", u"geom:3,89,107,20"_s,
        u"frameShape=%1"_s.arg(int(QFrame::HLine)));
    row("infoTextEdit", "QTextEdit", "centralwidget", u"grid:gridLayout:1,1,1,3"_s, u"maximumHeight=70"_s);
    row("infoLabel", "QLabel", "centralwidget", u"grid:gridLayout:1,0,1,1"_s,
        u"text=Info;font.pointSize=12;alignment=%1"_s.arg(int(Qt::AlignCenter)));
    row("AudioVideoGridLayout", "QGridLayout", "gridLayout", u"grid:gridLayout:2,1,2,3"_s, u"spacing=10"_s);
    row("videoCheckBox", "QCheckBox", "centralwidget", u"grid:AudioVideoGridLayout:0,0,1,1"_s,
        u"text=Video;checked=true;font.pointSize=12"_s);
    row("audioCheckBox", "QCheckBox", "centralwidget", u"grid:AudioVideoGridLayout:0,1,1,1"_s,
        u"text=Audio;checked=true;font.pointSize=12"_s);
    row("videoFrame", "QFrame", "centralwidget", u"grid:AudioVideoGridLayout:1,0,1,1"_s,
        u"enabled=true;minimumHeight=130;maximumHeight=130"_s);
    row("dvdButton", "QRadioButton", "videoFrame", u"geom:110,10,77,24"_s,
        u"text=PAL-DVD;checked=false;policy=%1,%2"_s.arg(int(QSizePolicy::Minimum))
            .arg(int(QSizePolicy::Fixed)));
    row("layoutWidget", "QWidget", "videoFrame", u"geom:230,10,159,27"_s);
    row("bitrateLabel", "QLabel", "layoutWidget", u"box:bitrateHorizontalLayout:0"_s, u"text=Bitrate"_s);
    row("vbitrateSpinBox", "QSpinBox", "layoutWidget", u"box:bitrateHorizontalLayout:1"_s,
        u"enabled=false;minimum=0;maximum=10000;value=8000;"_s + fixed);
    row("vkilobitLabel", "QLabel", "layoutWidget", u"box:bitrateHorizontalLayout:2"_s, u"text=Kilobit/s"_s);
    row("layoutWidget2", "QWidget", "videoFrame", u"geom:60,50,163,27"_s);
    row("sizeLabel", "QLabel", "layoutWidget2", u"box:sizeHorizontalLayout:0"_s, u"text=Size"_s);
    row("vauflspinBox", "QSpinBox", "layoutWidget2", u"box:sizeHorizontalLayout:1"_s,
        u"enabled=false;maximum=1920;singleStep=2;value=320"_s);
    row("xLabel", "QLabel", "layoutWidget2", u"box:sizeHorizontalLayout:2"_s, u"text=X;font.pointSize=12"_s);
    row("hauflspinBox", "QSpinBox", "layoutWidget2", u"box:sizeHorizontalLayout:3"_s,
        u"enabled=false;maximum=1080;singleStep=2;value=240"_s);
    row("layoutWidget3", "QWidget", "videoFrame", u"geom:260,50,70,26"_s);
    row("fpsLabel", "QLabel", "layoutWidget3", u"box:fpsHorizontalLayout:0"_s, u"text=fps"_s);
    row("fpsComboBox", "QComboBox", "layoutWidget3", u"box:fpsHorizontalLayout:1"_s,
        u"items=30|25|24|Original;currentIndex=1;enabled=false;"_s + fixed);
    row("layoutWidget4", "QWidget", "videoFrame", u"geom:70,90,144,26"_s);
    row("codecLabel", "QLabel", "layoutWidget4", u"box:codecHorizontalLayout:0"_s, u"text=Codec"_s);
    row("vcodecComboBox", "QComboBox", "layoutWidget4", u"box:codecHorizontalLayout:1"_s,
        u"items=copy|huffyuv|mjpeg|mpeg1video|mpeg2video|mpeg4|flv|h264|h265|vp9|av1;currentIndex=0;enabled=true"_s);
    row("layoutWidget5", "QWidget", "videoFrame", u"geom:250,90,93,26"_s);
    row("ratioLabel", "QLabel", "layoutWidget5", u"box:ratioHorizontalLayout:0"_s, u"text=Ratio"_s);
    row("ratioComboBox", "QComboBox", "layoutWidget5", u"box:ratioHorizontalLayout:1"_s,
        u"items=4:3|16:9|Original;currentIndex=0;enabled=false"_s);
    // The controls of today's codecs, on the line of the "Video" check box.
    row("formatWidget", "QWidget", "centralwidget", u"grid:AudioVideoGridLayout:0,0,1,1"_s);
    row("originalSizeCheckBox", "QCheckBox", "formatWidget", u"box:formatHorizontalLayout:0"_s,
        u"text=Originalgröße;enabled=false;checked=false"_s);
    row("qualityLabel", "QLabel", "formatWidget", u"box:formatHorizontalLayout:1"_s,
        u"text=Qualität;enabled=false"_s);
    row("qualityComboBox", "QComboBox", "formatWidget", u"box:formatHorizontalLayout:2"_s,
        u"items=Bitrate|sehr hoch|hoch|mittel|niedrig|sehr niedrig|Zielgröße;currentIndex=0;enabled=false"_s);
    row("audioFrame", "QFrame", "centralwidget", u"grid:AudioVideoGridLayout:1,1,1,1"_s,
        u"minimumHeight=130;maximumHeight=130"_s);
    row("channelButtonGroup", "QGroupBox", "audioFrame", u"geom:22,45,121,70"_s,
        u"title=Channel;enabled=false"_s);
    row("monoButton", "QRadioButton", "channelButtonGroup", u"geom:30,20,71,20"_s,
        u"text=Mono;checked=false"_s);
    row("stereoButton", "QRadioButton", "channelButtonGroup", u"geom:30,40,70,20"_s,
        u"text=Stereo;checked=true"_s);
    row("layoutWidget6", "QWidget", "audioFrame", u"geom:12,12,133,26"_s);
    row("acodecLabel", "QLabel", "layoutWidget6", u"box:acodecHorizontalLayout:0"_s, u"text=Codec "_s);
    row("acodecComboBox", "QComboBox", "layoutWidget6", u"box:acodecHorizontalLayout:1"_s,
        u"items=copy|wav|mp3|mp2|ac3|aac|opus|flac|vorbis;currentIndex=0;enabled=true;minimumWidth=80"_s);
    row("layoutWidget7", "QWidget", "audioFrame", u"geom:163,12,130,26"_s);
    row("abitrateLabel", "QLabel", "layoutWidget7", u"box:abitrateHorizontalLayout:0"_s, u"text=Bitrate"_s);
    row("abitrateComboBox", "QComboBox", "layoutWidget7", u"box:abitrateHorizontalLayout:1"_s,
        u"items=256k|224k|192k|128k|64k;currentIndex=1;enabled=false;minimumWidth=80"_s);
    row("layoutWidget8", "QWidget", "audioFrame", u"geom:171,71,118,25"_s);
    row("freqLabel", "QLabel", "layoutWidget8", u"box:freqHorizontalLayout:0"_s, u"text=Freq"_s);
    row("freqComboBox", "QComboBox", "layoutWidget8", u"box:freqHorizontalLayout:1"_s,
        u"items=48 KHz|44,1 KHz|22,05 KHz;currentIndex=1;enabled=false;minimumSize=80x23"_s);
    row("menubar", "QMenuBar", "MainWindow", u"-"_s);
    row("menuDatei", "QMenu", "menubar", u"-"_s, u"title=&Datei;font.pointSize=10"_s);
    row("menuAnsicht", "QMenu", "menubar", u"-"_s, u"title=&Ansicht"_s);
    row("menuHilfe", "QMenu", "menubar", u"-"_s, u"title=&Hilfe"_s);
    row("statusbar", "QStatusBar", "MainWindow", u"-"_s);
    row("toolBar", "QToolBar", "MainWindow", u"-"_s, u"windowTitle=toolBar;visible=true"_s);
}

void FormTest::objects()
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, placement);
    QFETCH(QString, properties);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    QObject *object = window->findChild<QObject *>(name);
    if (name == window->objectName())
        object = window;
    QVERIFY2(object, qPrintable(name));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    QVERIFY(object->parent());
    QCOMPARE(object->parent()->objectName(), parentName);
    if (placement.startsWith(u"geom:")) {
        // Widgets placed by hand keep their place and size, or move right or down
        // and grow where their texts need more room in the fonts at hand.
        const QStringList want = placement.mid(5).split(u',');
        const QStringList have = placementOf(window, object).mid(5).split(u',');
        QCOMPARE(have.size(), 4);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(have[i].toInt() >= want[i].toInt(), qPrintable(u"%1 at %2, expected at least %3"_s.arg(
                                                             name, have.join(u','), want.join(u','))));
    } else if (placement != u"-") {
        QCOMPARE(placementOf(window, object), placement);
    }
    for (const QString &item : properties.split(u';', Qt::SkipEmptyParts)) {
        const QString key = item.section(u'=', 0, 0);
        const QString expected = item.section(u'=', 1);
        QVERIFY2(propertyText(object, key) == expected, qPrintable(u"%1: %2 is '%3', expected '%4'"_s.arg(
                                                            name, key, propertyText(object, key), expected)));
    }
}

void FormTest::windowState()
{
    QCOMPARE(window->windowTitle(), u"Quorvid 2.2"_s);
    QVERIFY(window->isMaximized());
    QCOMPARE(window->font().pointSize(), 10);
    const QPalette p = window->palette();
    QCOMPARE(p.color(QPalette::Active, QPalette::Text), QColor(0, 0, 0));
    QCOMPARE(p.color(QPalette::Inactive, QPalette::ButtonText), QColor(0, 0, 0));
    QCOMPARE(p.color(QPalette::Disabled, QPalette::Text), QColor(130, 130, 130));
    QCOMPARE(p.color(QPalette::Disabled, QPalette::ButtonText), QColor(130, 130, 130));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    QCOMPARE(window->findChild<QLCDNumber *>(u"lcdNumber"_s)->intValue(), 0);
    QVERIFY(window->findChild<QTextEdit *>(u"infoTextEdit"_s)->toPlainText().isEmpty());
    // The spacers hold the right-hand column.
    auto *grid = window->findChild<QGridLayout *>(u"gridLayout"_s);
    QList<int> spacerHeights;
    for (int i = 0; i < grid->count(); ++i)
        if (QSpacerItem *s = grid->itemAt(i)->spacerItem()) {
            QCOMPARE(s->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
            spacerHeights << s->sizeHint().height();
        }
    QCOMPARE(spacerHeights, (QList<int>{59, 249, 40}));
}

static QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (QAction *a : actions)
        names << (a->isSeparator() ? u"|"_s : a->objectName());
    return names;
}

void FormTest::menusAndToolbar()
{
    QStringList bar;
    for (QAction *a : window->menuBar()->actions())
        bar << a->menu()->objectName();
    QCOMPARE(bar, (QStringList{u"menuDatei"_s, u"menuAnsicht"_s, u"menuHilfe"_s}));
    const QStringList file{u"actionOpenFile"_s,
                           u"actionMoreFiles"_s,
                           u"actionSaveFile"_s,
                           u"|"_s,
                           u"actionBatchdateiLaden"_s,
                           u"actionBatchdateiSpeichern"_s,
                           u"|"_s,
                           u"actionClose"_s};
    // The file menu also offers the list as a shell script; the toolbar does not.
    QStringList fileMenu = file;
    fileMenu.insert(fileMenu.indexOf(u"actionBatchdateiSpeichern"_s) + 1, u"actionBatchlisteAlsSkript"_s);
    // And files joined into one.
    fileMenu.insert(fileMenu.indexOf(u"actionBatchlisteAlsSkript"_s) + 1, u"actionDateienVerbinden"_s);
    // And the watched folders.
    fileMenu.insert(fileMenu.indexOf(u"actionClose"_s), u"actionOrdnerUeberwachen"_s);
    fileMenu.insert(fileMenu.indexOf(u"actionClose"_s), u"|"_s);
    QCOMPARE(actionNames(window->findChild<QMenu *>(u"menuDatei"_s)->actions()), fileMenu);
    QCOMPARE(actionNames(window->findChild<QMenu *>(u"menuAnsicht"_s)->actions()),
             QStringList{u"actionToolbarOnOff"_s});
    QCOMPARE(actionNames(window->findChild<QMenu *>(u"menuHilfe"_s)->actions()),
             (QStringList{u"actionManual"_s, u"|"_s, u"actionAbout"_s}));
    auto *toolBar = window->findChild<QToolBar *>(u"toolBar"_s);
    QCOMPARE(actionNames(toolBar->actions()), file);
    QCOMPARE(window->toolBarArea(toolBar), Qt::TopToolBarArea);
}

void FormTest::tabOrder()
{
    const QStringList expected =
        QStringLiteral(
            "openLineEdit infoTextEdit videoCheckBox dvdButton vbitrateSpinBox vauflspinBox hauflspinBox "
            "fpsComboBox vcodecComboBox ratioComboBox audioCheckBox acodecComboBox abitrateComboBox "
            "monoButton "
            "stereoButton freqComboBox saveLineEdit batchTableWidget convertButton cancelButton "
            "insertJobButton "
            "delJobButton batchConvertButton batchStopButton")
            .split(u' ');
    QWidget *w = window->findChild<QWidget *>(expected.first());
    for (int i = 1; i < expected.size(); ++i) {
        // Skip the inner widgets of compound widgets (spin box line edits and the like).
        QWidget *next = w->nextInFocusChain();
        while (next->objectName().isEmpty() || !expected.contains(next->objectName()))
            next = next->nextInFocusChain();
        QCOMPARE(next->objectName(), expected[i]);
        w = next;
    }
}

// The information box only shows what the converter said: typing changes nothing
// and Tab moves on.
void FormTest::infoBoxIsNoTrap()
{
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto *info = window->findChild<QTextEdit *>(u"infoTextEdit"_s);
    info->setFocus();
    QTRY_VERIFY(info->hasFocus());
    QTest::keyClicks(info, u"typed"_s);
    QTest::keyClick(info, Qt::Key_Tab);
    QVERIFY(info->toPlainText().isEmpty());
    QCOMPARE(QApplication::focusWidget(), window->findChild<QWidget *>(u"videoCheckBox"_s));
}

void FormTest::batchTableHeader()
{
    auto *table = window->findChild<QTableWidget *>(u"batchTableWidget"_s);
    // Jobs takes the width beside Status, which stays in sight.
    QCOMPARE(table->horizontalHeader()->sectionSize(1), 60);
    QCOMPARE(table->horizontalHeader()->sectionSize(0) + 60, table->viewport()->width());
    QCOMPARE(table->horizontalHeaderItem(0)->text(), u"Jobs"_s);
    QCOMPARE(table->horizontalHeaderItem(1)->text(), u"Status"_s);
    QCOMPARE(table->rowCount(), 0);
}

void FormTest::extensionLists()
{
    // Read through the naming: each codec index gives its list entry as suffix.
    auto *open = window->findChild<QLineEdit *>(u"openLineEdit"_s);
    auto *save = window->findChild<QLineEdit *>(u"saveLineEdit"_s);
    auto *vcodec = window->findChild<QComboBox *>(u"vcodecComboBox"_s);
    auto *acodec = window->findChild<QComboBox *>(u"acodecComboBox"_s);
    auto *video = window->findChild<QCheckBox *>(u"videoCheckBox"_s);
    open->setText(u"/nowhere/clip.xyz"_s);
    const QStringList videoSuffixes{u"-Kopie.xyz"_s, u".avi"_s, u".avi"_s, u".mpg"_s,  u".mpg"_s, u".mp4"_s,
                                    u".flv"_s,       u".mp4"_s, u".mp4"_s, u".webm"_s, u".mkv"_s};
    // Index 0 last: setting the index it already has changes nothing.
    for (int i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}) {
        vcodec->setCurrentIndex(i);
        QCOMPARE(QFileInfo(save->text()).fileName(), u"clip"_s + videoSuffixes[i]);
    }
    video->setChecked(false);
    const QStringList audioSuffixes{u"-Kopie.xyz"_s, u".wav"_s,  u".mp3"_s,  u".mp2"_s, u".ac3"_s,
                                    u".m4a"_s,       u".opus"_s, u".flac"_s, u".ogg"_s};
    for (int i = acodec->count() - 1; i >= 0; --i) {
        acodec->setCurrentIndex(i);
        QCOMPARE(QFileInfo(save->text()).fileName(), u"clip"_s + audioSuffixes[i]);
    }
}

QTEST_MAIN(FormTest)
#include "tst_form.moc"
