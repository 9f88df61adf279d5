#include "commandline.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace {
QString said(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}
} // namespace

QStringList CommandLineOptions::runOnly() const
{
    return {jobs.names().first(), keepGoing.names().first(), overwrite.names().first()};
}

QStringList CommandLineOptions::convertOnly() const
{
    return {preset.names().first(),   outputDir.names().first(), bars.names().first(), hdr.names().first(),
            loudness.names().first(), subtitles.names().first(), join.names().first()};
}

QStringList CommandLineOptions::watchOnly() const
{
    return {recursive.names().first(), settle.names().first()};
}

const CommandLineOptions &commandLineOptions()
{
    static const CommandLineOptions options{
        {u"run"_s, said("Arbeitet die Batchdatei <Liste> ohne Fenster ab."), said("Liste")},
        {u"convert"_s, said("Wandelt die genannten Dateien (Ordner mit allen Unterordnern) ohne Fenster mit "
                            "einer Vorlage um.")},
        {u"preset"_s,
         said("Die Vorlage für --convert oder --watch: ihr Name, ihre Kurzform oder ein eindeutiger Anfang "
              "davon (Groß- und Kleinschreibung gleich; Vorgabe: „Teilen“)."),
         said("Name")},
        {u"output-dir"_s, said("Schreibt mit --convert oder --watch die Ausgabedateien in <Ordner>."),
         said("Ordner")},
        {u"list-presets"_s, said("Nennt die Vorlagen, eingebaute und eigene, eine je Zeile: Kurzform, "
                                 "Tabulator, Name.")},
        {u"jobs"_s, said("Wandelt mit --run, --convert oder --watch <N> Jobs gleichzeitig um."), u"N"_s,
         u"1"_s},
        {u"keep-going"_s, said("Setzt --run oder --convert nach einem fehlgeschlagenen Job fort.")},
        {u"overwrite"_s, said("Überschreibt mit --run oder --convert vorhandene Ausgabedateien.")},
        {u"watch"_s, said("Überwacht die genannten Ordner ohne Fenster und wandelt jede neue Datei mit einer "
                          "Vorlage in den Ausgabeordner um, bis Quorvid beendet wird (Strg+C, SIGTERM).")},
        {u"recursive"_s, said("Überwacht mit --watch auch die Unterordner.")},
        {u"settle"_s,
         said("Nimmt mit --watch eine Datei erst, wenn sich Größe und Zeitstempel <Sekunden> lang nicht "
              "geändert haben (Vorgabe: 5)."),
         said("Sekunden"), u"5"_s},
        {u"bars"_s,
         said("Mit --convert: „remove“ entfernt schwarze Ränder im Bild, „keep“ lässt sie stehen (Vorgabe: "
              "wie die Vorlage)."),
         said("Wahl")},
        {u"hdr"_s,
         said("Mit --convert: „keep“ behält HDR, wo das Ziel es kann (H.265, VP9, AV1), „sdr“ wandelt HDR in "
              "SDR (BT.709) um (Vorgabe: wie die Vorlage)."),
         said("Wahl")},
        {u"loudness"_s,
         said(
             "Mit --convert: gleicht die Lautstärke an, auf -23, -16 oder -14 LUFS, oder „off“ (Vorgabe: wie "
             "die Vorlage)."),
         said("LUFS")},
        {u"subtitles"_s,
         said("Fügt mit --convert der einen genannten Datei die Untertiteldatei <Datei> (.srt, "
              ".ass, .ssa, .vtt) als Untertitelspur hinzu."),
         said("Datei")},
        {u"join"_s,
         said("Verbindet mit --convert die genannten Dateien in der genannten Reihenfolge zu einer "
              "Ausgabedatei.")},
    };
    return options;
}

void addQuorvidOptions(QCommandLineParser &parser)
{
    const CommandLineOptions &o = commandLineOptions();
    parser.setApplicationDescription(said("Quorvid wandelt Video- und Audiodateien mit ffmpeg um."));
    parser.addOptions({o.run, o.convert, o.preset, o.outputDir, o.listPresets, o.jobs, o.keepGoing,
                       o.overwrite, o.watch, o.recursive, o.settle, o.bars, o.hdr, o.loudness, o.subtitles,
                       o.join});
    parser.addPositionalArgument(
        said("Dateien"),
        said("Eine Datei wird geöffnet wie mit „Öffnen“, mehrere Dateien oder Ordner "
             "werden Jobs der Batchliste; mit --convert die Dateien und Ordner, die "
             "umgewandelt werden; mit --watch die überwachten Ordner."),
        said("[Dateien...]"));
}
