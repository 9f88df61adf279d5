#include "picturesound.h"

#include <QCoreApplication>

#include "commandline.h"
#include "loudness.h"
#include "makejob.h"

using namespace Qt::StringLiterals;

namespace {
QString said(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}
} // namespace

QString applyPictureSoundOptions(const QCommandLineParser &parser, PanelSettings &settings)
{
    const CommandLineOptions &o = commandLineOptions();
    PanelSettings chosen = settings;
    if (parser.isSet(o.bars)) {
        const QString value = parser.value(o.bars).trimmed().toLower();
        if (value != u"remove"_s && value != u"keep"_s)
            return said("--bars erwartet „remove“ (schwarze Ränder entfernen) oder „keep“ (stehen lassen).");
        chosen.removeBars = value == u"remove"_s;
    }
    if (parser.isSet(o.hdr)) {
        const QString value = parser.value(o.hdr).trimmed().toLower();
        if (value != u"keep"_s && value != u"sdr"_s)
            return said("--hdr erwartet „keep“ (HDR behalten, wo das Ziel es kann) oder „sdr“ (in SDR "
                        "umwandeln).");
        chosen.keepHdr = value == u"keep"_s;
    }
    if (parser.isSet(o.loudness)) {
        const QString value = parser.value(o.loudness).trimmed().toLower();
        bool number = false;
        const int lufs = value.toInt(&number);
        if (value == u"off"_s)
            chosen.loudnessTarget = 0;
        else if (number && lufs != 0 && loudnessTargets().contains(lufs))
            chosen.loudnessTarget = lufs;
        else
            return said("--loudness erwartet -23, -16 oder -14 (LUFS) oder „off“.");
    }
    // Without a window nobody can be asked: sound that is copied cannot be
    // normalised, and a call (or preset) asking for both is refused.
    if (const QString problem = loudnessCopyProblem(chosen); !problem.isEmpty())
        return problem;
    settings = chosen;
    return {};
}

bool looksBeforeJobs(const PanelSettings &settings)
{
    return dependsOnSource(settings) || (settings.videoOn && settings.videoCodec != 0);
}

bool looksForBars(const PanelSettings &settings)
{
    return settings.videoOn && settings.videoCodec != 0 && settings.removeBars;
}
