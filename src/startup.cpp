#include "startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "commandline.h"
#include "terminaltext.h"

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

namespace {
// Reads the command line; without `withTexts` the help text is left out, as Qt
// builds it from the application object, which may not exist yet.
CommandLine judgeCommandLine(const QStringList &arguments, bool withTexts)
{
    QCoreApplication::setApplicationName(u"quorvid"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVID_VERSION));

    QCommandLineParser parser;
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    addQuorvidOptions(parser);
    const QStringList runOnly = commandLineOptions().runOnly();
    const QStringList convertOnly = commandLineOptions().convertOnly();

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Fail;
        line.message = parser.errorText();
        return line;
    }
    if (parser.isSet(help) || parser.isSet(u"help-all"_s)) {
        line.action = CommandLine::Print;
        if (withTexts)
            line.message = parser.helpText();
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Print;
        line.message = u"quorvid "_s + QStringLiteral(QUORVID_VERSION) + u'\n';
        return line;
    }
    // A run's options without a run would be dropped in silence; the user meant
    // something the window does not do.
    const std::pair<QStringList, const char *> onlyWith[] = {
        {runOnly,
         QT_TRANSLATE_NOOP("CommandLine", "Die Option --%1 gilt nur zusammen mit --run. Bitte geben "
                                          "Sie die Batchdatei mit --run LISTE.btc an oder die Dateien "
                                          "mit --convert DATEI....")},
        {convertOnly,
         QT_TRANSLATE_NOOP("CommandLine", "Die Option --%1 gilt nur zusammen mit --convert. Bitte "
                                          "nennen Sie die Dateien mit --convert DATEI....")},
        {commandLineOptions().watchOnly(),
         QT_TRANSLATE_NOOP("CommandLine",
                           "Die Option --%1 gilt nur zusammen mit --watch. Bitte nennen Sie die "
                           "Ordner mit --watch ORDNER....")}};
    for (const auto &[options, text] : onlyWith) {
        for (const QString &option : options) {
            if (parser.isSet(option)) {
                line.action = CommandLine::Fail;
                line.message = QCoreApplication::translate("CommandLine", text).arg(option);
                return line;
            }
        }
    }
    line.files = parser.positionalArguments();
    return line;
}
} // namespace

CommandLine readCommandLine(const QStringList &arguments)
{
    return judgeCommandLine(arguments, true);
}

bool opensWindow(const QStringList &arguments)
{
    return judgeCommandLine(arguments, false).action == CommandLine::OpenWindow;
}

QStringList withoutWindowSystemOptions(const QStringList &arguments)
{
    // Qt's window system, its widgets and its X11 connection take these, with one
    // dash or two, wherever they stand.
    static const QStringList withValue = u"platform platformpluginpath platformtheme plugin qwindowgeometry "
                                         u"geometry qwindowtitle title qwindowicon icon session display name "
                                         u"visual style stylesheet"_s.split(u' ');
    static const QStringList alone = u"reverse nograb dograb widgetcount sync"_s.split(u' ');
    static const QStringList joined = {u"style="_s, u"stylesheet="_s, u"qmljsdebugger="_s};

    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        QStringView name = argument;
        if (i == 0 || !name.startsWith(u'-')) {
            kept << argument;
            continue;
        }
        name = name.mid(name.startsWith(u"--") ? 2 : 1);
        if (withValue.contains(name)) {
            ++i; // its value goes with it
            continue;
        }
        if (alone.contains(name) || std::any_of(joined.begin(), joined.end(),
                                                [name](const QString &p) { return name.startsWith(p); }))
            continue;
        kept << argument;
    }
    return kept;
}

namespace {
// A message Qt wrote while the display was being reached, kept with its context.
struct HeldMessage
{
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};

std::mutex heldMutex;
std::vector<HeldMessage> heldMessages;
QtMessageHandler previousHandler = nullptr;

void holdDuringDisplayStart(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        const std::lock_guard<std::mutex> lock(heldMutex);
        heldMessages.push_back({type, context.file, context.function, context.category, context.line, text});
        return;
    }
    // Qt found no usable display and would abort now.
    const QByteArray display = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY");
    QString message;
    if (display.isEmpty() && wayland.isEmpty()) {
        message = QCoreApplication::translate(
            "CommandLine", "quorvid: Das Fenster kann nicht geöffnet werden: Es gibt keine grafische Anzeige "
                           "(DISPLAY ist nicht gesetzt).\nBitte starten Sie Quorvid in einer grafischen "
                           "Sitzung. Eine Batchliste wandelt Quorvid auch ohne Fenster um: quorvid --run "
                           "LISTE.btc\n");
    } else {
        // Something is there but cannot be used: Qt's own lines tell the details.
        message =
            QCoreApplication::translate(
                "CommandLine", "quorvid: Das Fenster kann nicht geöffnet werden: Die grafische Anzeige "
                               "„%1“ ist nicht erreichbar oder Qt kann sie nicht benutzen.\nBitte prüfen "
                               "Sie, ob sie läuft und ob Sie darauf zugreifen dürfen. Meldungen von Qt:\n")
                .arg(QString::fromLocal8Bit(display.isEmpty() ? wayland : display));
        const std::lock_guard<std::mutex> lock(heldMutex);
        QStringList lines;
        for (const HeldMessage &held : heldMessages)
            lines << held.text.split(u'\n', Qt::SkipEmptyParts);
        lines << text.split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : std::as_const(lines))
            message += u"  "_s + line + u'\n';
    }
    const QByteArray bytes = printableText(message.toUtf8(), LineBreaks::Keep);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    // Not exit(): the application object is half made, its cleanup would crash.
    std::_Exit(1);
}
} // namespace

void watchDisplayStart()
{
    previousHandler = qInstallMessageHandler(holdDuringDisplayStart);
}

void stopWatchingDisplayStart()
{
    qInstallMessageHandler(previousHandler);
    std::vector<HeldMessage> held;
    {
        const std::lock_guard<std::mutex> lock(heldMutex);
        held.swap(heldMessages);
    }
    for (const HeldMessage &message : held) {
        const QMessageLogContext context(message.file.constData(), message.line, message.function.constData(),
                                         message.category.constData());
        if (previousHandler)
            previousHandler(message.type, context, message.text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(message.type, context, message.text)));
    }
}
