// Every option of Quorvid's command line, declared once: the window's start,
// `--run` and `--convert` read them with the same parser, so that the help lists
// each once and an option means the same wherever it is given.
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

struct CommandLineOptions
{
    QCommandLineOption run;
    QCommandLineOption convert;
    QCommandLineOption preset;
    QCommandLineOption outputDir;
    QCommandLineOption listPresets;
    QCommandLineOption jobs;
    QCommandLineOption keepGoing;
    QCommandLineOption overwrite;
    QCommandLineOption watch;
    QCommandLineOption recursive;
    QCommandLineOption settle;
    QCommandLineOption bars;
    QCommandLineOption hdr;
    QCommandLineOption loudness;
    QCommandLineOption subtitles;
    QCommandLineOption join;

    // Options that mean something only with --run, --convert or --watch, and
    // only with --convert or --watch.
    QStringList runOnly() const;
    QStringList convertOnly() const;
    // Options that mean something only with --watch.
    QStringList watchOnly() const;
};

// The options, their texts translated at the first call (after Qt's German
// texts are installed).
const CommandLineOptions &commandLineOptions();

// A parser that knows every option and the file names; help and version are
// added by the caller where it answers them.
void addQuorvidOptions(QCommandLineParser &parser);

#endif
