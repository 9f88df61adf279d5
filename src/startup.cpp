#include "startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

#include "buildinfo.h"

using namespace Qt::StringLiterals;

bool installQtGermanTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(u"qtbase_de"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

bool asksTerminalOnly(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false; // only file names follow
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argument, option) == 0)
                return true;
    }
    return false;
}

CommandLine readCommandLine(const QStringList &arguments)
{
    QCoreApplication::setApplicationName(u"quorvid"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVID_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Quorvid wandelt Video- und Audiodateien mit ffmpeg um."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({
        {u"run"_s,
         QCoreApplication::translate("CommandLine", "Arbeitet die Batchdatei <Liste> ohne Fenster ab."),
         QCoreApplication::translate("CommandLine", "Liste")},
        {u"jobs"_s, QCoreApplication::translate("CommandLine", "Wandelt mit --run <N> Jobs gleichzeitig um."),
         u"N"_s},
        {u"keep-going"_s,
         QCoreApplication::translate("CommandLine", "Setzt --run nach einem fehlgeschlagenen Job fort.")},
        {u"overwrite"_s,
         QCoreApplication::translate("CommandLine", "Überschreibt mit --run vorhandene Ausgabedateien.")},
    });
    parser.addPositionalArgument(
        QCoreApplication::translate("CommandLine", "Dateien"),
        QCoreApplication::translate("CommandLine",
                                    "Eine Datei wird geöffnet wie mit „Öffnen“, mehrere Dateien "
                                    "oder Ordner werden Jobs der Batchliste."),
        QCoreApplication::translate("CommandLine", "[Dateien...]"));

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Fail;
        line.message = parser.errorText();
        return line;
    }
    if (parser.isSet(help) || parser.isSet(u"help-all"_s)) {
        line.action = CommandLine::Print;
        line.message = parser.helpText();
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Print;
        line.message = u"quorvid "_s + QStringLiteral(QUORVID_VERSION) + u'\n';
        return line;
    }
    line.files = parser.positionalArguments();
    return line;
}
