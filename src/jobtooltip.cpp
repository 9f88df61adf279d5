#include "jobtooltip.h"

#include <QCoreApplication>
#include <QDir>

#include "germannumbers.h"
#include "job.h"
#include "timerange.h"

using namespace Qt::StringLiterals;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("JobToolTip", text);
}

// The value of the last occurrence of any of the options after the last "-i":
// the options that shape the output.
QString valueOf(const QStringList &run, std::initializer_list<QString> options)
{
    QString value;
    const qsizetype start = run.lastIndexOf(u"-i"_s) + 2;
    for (qsizetype i = std::max<qsizetype>(start, 0); i + 1 < run.size() - 1; ++i)
        for (const QString &option : options)
            if (run[i] == option)
                value = run[i + 1];
    return value;
}

bool has(const QStringList &run, const QString &option)
{
    const qsizetype start = std::max<qsizetype>(run.lastIndexOf(u"-i"_s) + 2, 0);
    return run.indexOf(option, start) >= 0;
}

// "192k" as "192 kbit/s"; anything else as it stands.
QString bitrate(const QString &value)
{
    if (value.endsWith(u'k', Qt::CaseInsensitive))
        return value.chopped(1) + u" kbit/s"_s;
    return value;
}

QString videoPart(const QStringList &run)
{
    if (has(run, u"-vn"_s))
        return tr("kein Video");
    if (valueOf(run, {u"-target"_s}) == u"pal-dvd"_s)
        return tr("Video: PAL-DVD");
    const QString codec = valueOf(run, {u"-vcodec"_s, u"-c:v"_s});
    if (codec == u"copy"_s)
        return tr("Video: unverändert übernommen");
    QStringList parts;
    parts << (codec.isEmpty() ? tr("wie ffmpeg es wählt") : codec);
    if (const QString size = valueOf(run, {u"-s"_s}); !size.isEmpty())
        parts << QString(size).replace(u'x', u'×');
    if (const QString rate = valueOf(run, {u"-r"_s}); !rate.isEmpty())
        parts << tr("%1 Bilder/s").arg(rate);
    if (const QString crf = valueOf(run, {u"-crf"_s}); !crf.isEmpty()) {
        parts << u"CRF "_s + crf;
        if (const QString cap = valueOf(run, {u"-maxrate"_s}); !cap.isEmpty())
            parts << tr("höchstens %1").arg(bitrate(cap));
    } else if (const QString rateValue = valueOf(run, {u"-b:v"_s, u"-b"_s}); !rateValue.isEmpty())
        parts << bitrate(rateValue);
    return tr("Video: %1").arg(parts.join(u", "_s));
}

QString audioPart(const QStringList &run)
{
    if (has(run, u"-an"_s))
        return tr("kein Ton");
    const QString codec = valueOf(run, {u"-acodec"_s, u"-c:a"_s});
    if (codec == u"copy"_s)
        return tr("Ton: unverändert übernommen");
    QStringList parts;
    parts << (codec.isEmpty() ? tr("wie ffmpeg es wählt") : codec);
    if (const QString rate = valueOf(run, {u"-ab"_s, u"-b:a"_s}); !rate.isEmpty())
        parts << bitrate(rate);
    if (const QString hertz = valueOf(run, {u"-ar"_s}); !hertz.isEmpty())
        parts << germanNumber(hertz.toDouble() / 1000, hertz.endsWith(u"000"_s) ? 0 : 1) + u" kHz"_s;
    if (const QString channels = valueOf(run, {u"-ac"_s}); channels == u"1"_s)
        parts << tr("Mono");
    else if (channels == u"2"_s)
        parts << tr("Stereo");
    return tr("Ton: %1").arg(parts.join(u", "_s));
}

// A run as a reader checks it: the program, then its arguments, each with
// spaces in quotes.
QString runText(const QStringList &run)
{
    QStringList shown{u"ffmpeg"_s};
    for (const QString &argument : run)
        shown << (argument.contains(u' ') || argument.isEmpty() ? u'"' + argument + u'"' : argument);
    return shown.join(u' ');
}
} // namespace

QStringList jobProducts(const Job &job)
{
    if (job.runs.isEmpty())
        return {};
    const QStringList &run = job.runs.last();
    QStringList parts{videoPart(run), audioPart(run)};
    if (job.sizeLimit > 0)
        parts << tr("höchstens %1 MB").arg(germanNumber(double(job.sizeLimit) / 1e6, 2));
    const TimeRange range = rangeOfRun(run);
    if (!range.isEmpty()) {
        QString part = tr("Teil: ab %1").arg(formatClockTime(range.from.value_or(0)));
        if (const std::optional<double> length = range.length())
            part += tr(", %1 s lang").arg(germanNumber(*length, *length == std::floor(*length) ? 0 : 2));
        parts << part;
    }
    return parts;
}

QString jobToolTip(const Job &job)
{
    if (job.isEmpty())
        return {};
    const auto line = [](const QString &label, const QString &text) -> QString {
        return u"<b>"_s + label + u"</b> "_s + text.toHtmlEscaped();
    };
    QStringList lines;
    lines << line(tr("Eingabe:"), QDir::toNativeSeparators(job.input))
          << line(tr("Ausgabe:"), QDir::toNativeSeparators(job.output))
          << line(tr("Ergebnis:"), jobProducts(job).join(u"; "_s));
    if (job.runs.size() == 1) {
        lines << line(tr("Aufruf:"), runText(job.runs.first()));
    } else {
        lines << u"<b>"_s + tr("%1 Durchgänge:").arg(job.runs.size()) + u"</b>"_s;
        for (qsizetype i = 0; i < job.runs.size(); ++i)
            lines << u"%1. "_s.arg(i + 1) + runText(job.runs[i]).toHtmlEscaped();
    }
    // Rich text: the tooltip wraps long lines instead of running off the screen.
    return u"<qt>"_s + lines.join(u"<br>"_s) + u"</qt>"_s;
}
