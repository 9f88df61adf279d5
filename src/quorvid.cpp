#include "quorvid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "batchtable.h"
#include "buildinfo.h"
#include "codecs.h"
#include "converter.h"
#include "dropping.h"
#include "failurereports.h"
#include "formatcontrols.h"
#include "formfit.h"
#include "framepacer.h"
#include "germannumbers.h"
#include "lazyicon.h"
#include "manual.h"
#include "messagebox.h"
#include "terminaltext.h"

using namespace Qt::StringLiterals;

#ifndef QUORVID_HOMEPAGE
#define QUORVID_HOMEPAGE "https://quorvid.example.org"
#endif

namespace {
// How long closing the window waits for a stopped converter before killing it.
constexpr int converterStopTimeoutMs = 10000;

// The toolbar's and menu's pictures, read when they are first painted.
void giveActionsIcons(Ui::MainWindow &form)
{
    const std::pair<QAction *, const char16_t *> icons[] = {
        {form.actionOpenFile, u"fileopen"},          {form.actionMoreFiles, u"project_open"},
        {form.actionSaveFile, u"filesave"},          {form.actionBatchdateiLaden, u"view_text"},
        {form.actionBatchdateiSpeichern, u"revert"}, {form.actionClose, u"fileclose"}};
    for (const auto &[action, name] : icons)
        action->setIcon(lazyIcon(u":/symbols/symbols/%1.png"_s.arg(name), QSize(32, 32)));
}
} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setupUi(this);
    giveActionsIcons(*this);
    // What changes while a run goes paints its own background: the window beneath
    // it is not painted again with every figure.
    for (QWidget *changing : {static_cast<QWidget *>(progressBar), static_cast<QWidget *>(lcdNumber),
                              static_cast<QWidget *>(statusBar())})
        changing->setAutoFillBackground(true);
    // What a run changes is painted at most four times a second: the bar and the
    // remaining time move as smoothly as the runner reads the converter's report.
    new FramePacer(this, 250);
    presetChooser = new PresetChooser(
        *this, this, messageFont, remembered, [this] { return widgetSettings(); },
        [this](const PanelSettings &settings) { applyPanelSettings(settings); });
    connect(presetChooser, &PresetChooser::presetShown, this, [this] {
        showSizeChoice();
        showSizeMeaning();
    });
    // The number fields follow the German interface, not the system's locale.
    useGermanNumbers(this);
    setWindowTitle(u"Quorvid "_s + QStringLiteral(QUORVID_VERSION));
    // The form places these by hand; at other fonts and resolutions than it was
    // drawn for, their texts need more room. Inner boxes first, then their frames.
    for (QWidget *container :
         {static_cast<QWidget *>(channelButtonGroup), static_cast<QWidget *>(videoFrame),
          static_cast<QWidget *>(audioFrame), static_cast<QWidget *>(singleConvertGroupBox),
          static_cast<QWidget *>(batchConvertGroupBox)})
        giveTextsRoom(container);
    QTimer::singleShot(0, this, &MainWindow::ffmpegtest);

    // The output suffix of each codec item, from the codec table. "copy" keeps the
    // input's own suffix: its placeholder never reaches a file name.
    for (const VideoCodec &codec : videoCodecs())
        videoExtensions << (codec.suffix.isEmpty() ? u".cop"_s : codec.suffix);
    for (const AudioCodec &codec : audioCodecs())
        audioExtensions << (codec.suffix.isEmpty() ? u".cop"_s : codec.suffix);

    // The table shows the batch list's jobs and their states.
    new BatchTable(batchTableWidget, &batchJobs);

    connect(actionOpenFile, &QAction::triggered, this, &MainWindow::openDialog);
    connect(actionSaveFile, &QAction::triggered, this, &MainWindow::saveDialog);
    connect(convertButton, &QPushButton::clicked, this, &MainWindow::SingleConvert);
    connect(cancelButton, &QPushButton::clicked, this, &MainWindow::abgebrochen);
    connect(&infoProcess, &QProcess::readyReadStandardError, this, &MainWindow::Information);
    connect(&singleRunner, &JobRunner::outputArrived, this, &MainWindow::updateprocbar);
    connect(&singleRunner, &JobRunner::jobEnded, this, [this](int, const JobEnd &end) {
        if (end.unstarted)
            processError();
        else
            procbeendet(end);
    });
    connect(vcodecComboBox, &QComboBox::currentIndexChanged, this, &MainWindow::setOutputFile);
    connect(acodecComboBox, &QComboBox::currentIndexChanged, this, &MainWindow::setOutputFile);
    connect(vcodecComboBox, &QComboBox::activated, this, &MainWindow::vcopywahl);
    connect(acodecComboBox, &QComboBox::currentIndexChanged, this, &MainWindow::acopywahl);
    connect(dvdButton, &QRadioButton::clicked, this, &MainWindow::dvdwahl);
    connect(videoCheckBox, &QCheckBox::stateChanged, this, &MainWindow::VideoOnOff);
    connect(audioCheckBox, &QCheckBox::stateChanged, this, &MainWindow::AudioOnOff);
    connect(actionMoreFiles, &QAction::triggered, this, &MainWindow::filesDialog);
    connect(insertJobButton, &QPushButton::clicked, this, &MainWindow::insertBatch);
    connect(delJobButton, &QPushButton::clicked, this, &MainWindow::delJob);
    connect(batchConvertButton, &QPushButton::clicked, this, &MainWindow::batchFirstStart);
    connect(batchStopButton, &QPushButton::clicked, this, &MainWindow::batchstop);
    connect(actionBatchdateiLaden, &QAction::triggered, this, &MainWindow::batchLoad);
    connect(actionBatchdateiSpeichern, &QAction::triggered, this, &MainWindow::batchSave);
    connect(actionToolbarOnOff, &QAction::triggered, this, &MainWindow::ToolbarOnOff);
    connect(actionAbout, &QAction::triggered, this, &MainWindow::showAutor);
    connect(actionManual, &QAction::triggered, this, &MainWindow::showHelp);

    // Beyond the wiring above: the end of an info run shows why a file could not be
    // read, and typing an output name makes it the user's own choice.
    connect(&infoProcess, &QProcess::finished, this, [this] { infoFinished(); });
    connect(saveLineEdit, &QLineEdit::textEdited, this, [this] { outputChosenByUser = true; });
    setUpSource();
    setUpBatchExtras();
    setUpTracks();
    // After the connections of the first codecs, so that their reactions run first.
    formatControls = new FormatControls(*this, this);
    showSizeChoice();

    // The window as the user left it last time, else maximized. Shown last, once
    // every widget is in place, and never smaller than their texts need: the
    // size it returns to from maximized is the one it has here, and not every
    // desktop holds a window to its minimum size.
    resize(size().expandedTo(minimumSizeHint()));
    if (const QByteArray geometry = remembered.windowGeometry();
        !geometry.isEmpty() && restoreGeometry(geometry))
        show();
    else
        showMaximized();
}

void MainWindow::ffmpegtest()
{
    if (converterInstalled())
        return;
    showBox(messageFont, QMessageBox::Critical, u"Quorvid Fehler"_s,
            tr("<b>Fehler: ffmpeg nicht gefunden!</b><br><br>Quorvid benötigt für den "
               "Betrieb<br>das Programm ffmpeg.<br>Bitte installieren Sie die Anwendung "
               "mit<br><b>apt-get install ffmpeg</b>.<br>Quorvid wird geschlossen."));
    QCoreApplication::exit(2);
}

void MainWindow::reportConverterFailure(const JobEnd &end, const Notice &notice)
{
    lcdNumber->display(u"Error"_s);
    alertIfInactive(this, notice);
    const QString cause = namedCause(end);
    if (end.outcome == RunOutcome::Crashed) {
        showErrorBox(messageFont, tr("<b>ffmpeg ist abgestürzt!</b><br><br>Bitte versuchen sie die "
                                     "Konvertierung<br>erneut zu starten."));
    } else if (!cause.isEmpty()) {
        // A cause the runner named (a full disk, an incomplete output): the user
        // reads it, not the hint to check the settings, and the bar does not
        // suggest that the job nearly succeeded.
        setPercent(0);
        showErrorBox(messageFont, namedCauseBoxText(cause), ffmpegOutput);
        statusBar()->showMessage(tr("Fehler: %1").arg(cause));
        return;
    } else {
        showErrorBox(messageFont,
                     tr("<b>ffmpeg meldete einen Fehler!</b><br><br>Bitte überprüfen sie die "
                        "Einstellungen für die Umwandlung <br>anhand der Fehlerbeschreibung in "
                        "den Details.<br>"),
                     ffmpegOutput);
    }
    statusBar()->showMessage(tr("Fehler!"), 5000);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const bool converting = singleRunner.isRunning() || batchRunner.isRunning();
    if (converting &&
        !askYesNo(messageFont, tr("Eine Konvertierung läuft noch.<br><br>Soll sie abgebrochen und Quorvid "
                                  "geschlossen werden?"))) {
        event->ignore();
        return;
    }
    stopConvertersQuietly();
    // Nothing is reported when the settings cannot be written: closing goes on.
    remembered.setWindowGeometry(saveGeometry());
    remembered.save();
    // Closed by the user: a clean end, the list is not offered again.
    keptList.clear();
    event->accept();
}

MainWindow::~MainWindow()
{
    // A window destroyed without closing (by its owner) must not leave a converter
    // running, nor let a dying process call back into a half-destroyed window.
    stopConvertersQuietly();
    keptList.clear();
}

void MainWindow::stopConvertersQuietly()
{
    // Stop every converter and wait for it, so that none outlives the window. The
    // signals stay quiet meanwhile: a closing window reports no outcome.
    singleRunner.stopQuietly(converterStopTimeoutMs);
    batchRunner.stopQuietly(converterStopTimeoutMs);
    for (QProcess *process : {&infoProcess}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->blockSignals(true);
        process->terminate();
        if (!process->waitForFinished(converterStopTimeoutMs)) {
            process->kill();
            process->waitForFinished(converterStopTimeoutMs);
        }
    }
}

void MainWindow::showHelp()
{
    const QString manual =
        manualFile(QCoreApplication::applicationDirPath(), QStringLiteral(QUORVID_MANUAL_FROM_PROGRAM));
    QUrl url(manual);
    url.setScheme(u"file"_s);
    const bool opened = QDesktopServices::openUrl(url);
    showNormal();
    if (opened)
        return;
    // No program on this desktop opens local files: say where the manual lies so
    // that the user can open it in a browser.
    showBox(messageFont, QMessageBox::Information, u"Quorvid"_s,
            tr("<b>Die Anleitung konnte nicht geöffnet werden.</b><br><br>Auf diesem Desktop ist "
               "kein Programm zum Öffnen von Dateien eingerichtet.<br>Bitte öffnen Sie die "
               "Anleitung selbst in einem Webbrowser:<br><br>%1")
                .arg(QDir::toNativeSeparators(manual).toHtmlEscaped()));
}

void MainWindow::showAutor()
{
    const QString address = QStringLiteral(QUORVID_HOMEPAGE);
    QString shown = address;
    shown.remove(QRegularExpression(u"^[a-z]+://"_s));
    QMessageBox::about(
        this, tr("Über Quorvid %1").arg(QStringLiteral(QUORVID_VERSION)),
        tr("<h2>Quorvid %1</h2>").arg(QStringLiteral(QUORVID_VERSION)) +
            tr("<p style=\" font-family:'Sans Serif'; font-size:12pt;\">Geschrieben von Pellandor "
               "2011/2012.</p>") +
            u"<p align=\"center\"><img src=\":/pics/pellandor.jpg\" /></p>"_s +
            u"<p align=\"center\" style=\" font-family:'Sans Serif'; font-size:14pt;\"><a href=\""_s +
            address + u"\">"_s + shown + u"</a></p>"_s +
            tr("<p style=\" font-family:'Sans Serif'; font-size:12pt;\">Quorvid ist ein grafisches "
               "Frontend für ffmpeg.<br>Es ermöglicht die Konvertierung einzelner Files oder "
               "auch<br>ganzer Listen von Files.</p>"));
}

void MainWindow::ToolbarOnOff()
{
    toolBar->setVisible(actionToolbarOnOff->isChecked());
}
