// The main window: every widget of the form, the three converter processes and
// the slots behind the menus, buttons and processes.
#ifndef QUORVID_H
#define QUORVID_H

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "batchqueue.h"
#include "converter.h"
#include "job.h"
#include "joblist.h"
#include "jobrunner.h"
#include "keptlist.h"
#include "mediainfo.h"
#include "notification.h"
#include "presetchooser.h"
#include "progress.h"
#include "remembered.h"
#include "sourcelook.h"
#include "stillpicture.h"
#include "tracklist.h"
#include "ui_mainwindow.h"

class FormatControls;
class SourceColumn;
class SubtitlePanel;
class WatchFeed;

struct FileSelection;

class MainWindow : public QMainWindow, public Ui::MainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Files handed over at start (command line, "Öffnen mit"): one opens as
    // through "Öffnen", several become batch jobs, unusable ones are named in a
    // box. Done once the converter check has passed.
    void openFiles(const QStringList &paths);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QStringList videoExtensions;
    QStringList audioExtensions;
    QProcess infoProcess;
    QFont messageFont;
    double frameRate = 0;
    QString ffmpegOutput;
    int jobCount = 0;
    int currentJob = 0;
    QString batchFilePath;

    // Reader of the info run's standard error; the conversions' converters are
    // the runners'.
    InfoCollector infoCollector;
    // The progress display follows each conversion at most ten times a second.
    static constexpr int progressRefreshMs = 100;
    RefreshLimiter singleRefresh{progressRefreshMs, [this] { updateprocbar(); }};
    RefreshLimiter batchRefresh{progressRefreshMs, [this] { updatebatchbar(); }};
    // True once the user chose or typed the output name; an automatically derived
    // name is not carried over to the next opened input.
    bool outputChosenByUser = false;
    // Folders and geometry kept between runs.
    Remembered remembered;
    // The background look at the opened file and at files on their way into the
    // list; "Zeilensprung entfernen" shows its decision for the opened file until
    // the user sets it.
    SourceLook look{messageFont};
    bool deinterlaceChosen = false;
    // Run the single conversion and the batch list's jobs; the window shows what
    // they report.
    // The size the single conversion aims at (0: none), to tell when it came out larger.
    double singleAimedMB = 0;
    JobRunner singleRunner;
    JobRunner batchRunner;
    // The batch list's jobs and their states; the table shows them, and they are
    // kept on disk for a restart.
    JobList batchJobs;
    KeptList keptList{&batchJobs, messageFont};

private slots:
    void openDialog();
    void saveDialog();
    void SingleConvert();
    void updateprocbar();
    void procbeendet(const JobEnd &end);
    void abgebrochen();
    void processError();
    void dvdwahl();
    void vcopywahl();
    void acopywahl();
    void ffmpegtest();
    void VideoOnOff();
    void AudioOnOff();
    QString getOutputFile(QString Eingabe, QString Ausgabe);
    void setOutputFile();
    void filesDialog();
    void insertBatch();
    void delJob();
    void batchFirstStart();
    void batchConvert();
    void updatebatchbar();
    void batchbeendet(int job, const JobEnd &end);
    void batchError(int job);
    void batchstop();
    void batchLoad();
    void batchSave();
    QStringList createArguments(QString sourceFile, QString targetFile);
    void Information();
    void ToolbarOnOff();
    void showAutor();
    void showHelp();

private:
    // The job the panel makes for a source and target (with what the look at the
    // opened file found, and the user's track choice).
    Job jobFor(const QString &source, const QString &target, bool wholeFile = false);
    // What a job for a source is made of: the panel's settings (with the track
    // ticks where the source is the opened file) and what the look found in it.
    bool isOpenedFile(const QString &source) const;
    PanelSettings settingsFor(const QString &source) const;
    void setUpSource();
    bool refuseJob(const QString &source, const QString &target);
    // Tracks (trackpanel.cpp): the list beside the information box, the look at
    // opened and added files.
    void setUpTracks();
    void showTracks();
    // True when a job for the opened file may be made now: it does not depend on
    // what the file holds, or the look at it has ended (when it failed, the user
    // decided to go on). Otherwise the press waits for the look and is carried
    // out at its end; a name typed into the field is opened first.
    bool lookAllows(bool convert);
    void lookEnded(bool convertWaited, bool addJobWaited);
    // A converter that crashed or reported an error: LCD word, desktop notice,
    // error box (with the collected output for an error) and status text; a
    // cause the runner named is shown instead of the general text.
    void reportConverterFailure(const JobEnd &end, const Notice &notice);
    // Ends every running converter and waits for it, without reporting outcomes.
    void stopConvertersQuietly();
    void showProgress(const ProgressReading &reading);
    // Sets the progress bar and leaves its painting to the next pass of the event
    // loop, together with everything else that changed.
    void setPercent(int percent);
    void infoFinished();
    void updateStartButton();
    // The batch list made anew from chosen files, sorted, one job per file.
    void replaceBatchList(QStringList files);
    // Jobs for more files, added at the end of the list with the current settings.
    void appendBatchList(QStringList files);
    // Jobs added at the end of the list, taken on by a running batch.
    void addJobs(QList<Job> jobs);
    // Jobs made from chosen files with the current settings, sorted.
    QList<Job> jobsForFiles(QStringList files);
    // What "Öffnen" does once a file was chosen.
    void openInput(const QString &path);
    // Dropped or given files: one opens as the input unless they go to the
    // batch list; several, and folders, become jobs.
    void takeFiles(const FileSelection &selection, bool ontoBatchList);
    // Reading and writing a batch file once it was chosen; failures are reported
    // in a box and leave the list and any existing file as they were.
    void loadBatchList(const QString &chosen);
    void saveBatchList(const QString &chosen);

    // The batch run beyond one job at a time (batchrun.cpp).
    // Where every run ends, whatever its outcome, with its counts.
    void endBatchRun();
    void showBatchProgress();
    void setUpBatchExtras();
    // The controls a running batch locks, and their release at its end.
    void setBatchRunning(bool running);
    // The controls for the codecs of today.
    FormatControls *formatControls = nullptr;
    // The picture of the opened file and the meaning of "Von" / "Bis".
    SourceColumn *sourceColumn = nullptr;
    // Watched folders whose files join the batch list.
    WatchFeed *watchFeed = nullptr;
    // The subtitle files added to the opened file and the track burned in.
    SubtitlePanel *subtitlePanel = nullptr;
    // The compatibility question for a job of the panel's settings.
    bool confirmJob(const Job &job, bool forBatch);

    // The panel (settings.cpp): what its widgets show; that completed by a chosen,
    // unchanged preset, from which arguments and jobs are made; and the widgets
    // set from a preset.
    PanelSettings widgetSettings() const;
    PanelSettings panelSettings() const;
    void applyPanelSettings(const PanelSettings &settings);
    // The "Originalgröße" box says what size the output of the opened file gets
    // when a preset bounds it; the size box whether it holds a size or a limit.
    void showSizeChoice();
    void showSizeMeaning();
    // The "Vorlage" box and its menu.
    PresetChooser *presetChooser = nullptr;

    // The benchmarks reach the helpers and processes without file dialogs.
    friend class BenchAccess;
};

#endif
