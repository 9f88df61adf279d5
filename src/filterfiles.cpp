#include "filterfiles.h"

#include <QFile>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
bool isWhiteSpace(QChar c)
{
    return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r';
}

// The filters that name files, measured with "ffmpeg -h filter=NAME": the order of
// their options up to the last file option (aliases joined by "|"), since a value
// without a key goes to the option at its position; then the options that write
// and read files, and the file a filter uses when none is named.
struct FilterFileOptions
{
    const char *filters;
    const char *order;
    const char *writes;
    const char *reads;
    const char *defaultWrite;
    const char *defaultRead;
};

const FilterFileOptions filterTable[] = {
    {"metadata ametadata", "mode key value function expr file direct", "file", "", nullptr, nullptr},
    {"ssim", "stats_file|f eof_action shortest repeatlast", "stats_file", "", nullptr, nullptr},
    {"psnr", "stats_file|f stats_version output_max", "stats_file", "", nullptr, nullptr},
    {"vidstabdetect", "result shakiness", "result", "", "transforms.trf", nullptr},
    {"vidstabtransform", "input smoothing", "", "input", nullptr, "transforms.trf"},
    {"vmafmotion", "stats_file", "stats_file", "", nullptr, nullptr},
    {"libvmaf", "model_path log_path log_fmt", "log_path", "model_path", nullptr, nullptr},
    {"deshake", "x y w h rx ry edge blocksize contrast search filename", "filename", "", nullptr, nullptr},
    {"signature", "detectmode nb_inputs filename format", "filename", "", nullptr, nullptr},
    {"firequalizer", "gain gain_entry delay accuracy wfunc fixed multi zero_phase scale dumpfile", "dumpfile",
     "", nullptr, nullptr},
    {"curves", "preset master|m red|r green|g blue|b all psfile plot", "plot", "psfile", nullptr, nullptr},
    {"paletteuse", "dither bayer_scale diff_mode new alpha_threshold use_alpha debug_kdtree", "debug_kdtree",
     "", nullptr, nullptr},
    {"asr", "rate hmm dict lm lmctl lmname logfn", "logfn", "lm", nullptr, nullptr},
    {"movie amovie", "filename format_name|f", "", "filename", nullptr, nullptr},
    {"subtitles ass", "filename|f", "", "filename", nullptr, nullptr},
    {"sendcmd asendcmd", "commands|c filename|f", "", "filename", nullptr, nullptr},
    {"drawtext", "fontfile text textfile", "", "fontfile textfile", nullptr, nullptr},
    {"lut3d lut1d", "file", "", "file", nullptr, nullptr},
    {"selectivecolor",
     "correction_method reds yellows greens cyans blues magentas whites neutrals blacks psfile", "", "psfile",
     nullptr, nullptr},
    {"removelogo", "filename|f", "", "filename", nullptr, nullptr},
    {"cover_rect", "cover", "", "cover", nullptr, nullptr},
    {"find_rect", "object", "", "object", nullptr, nullptr},
    {"sofalizer", "sofa", "", "sofa", nullptr, nullptr},
    {"arnndn", "model|m", "", "model", nullptr, nullptr},
    {"fieldhint", "hint", "", "hint", nullptr, nullptr},
};

const FilterFileOptions *filterEntry(const QString &filter)
{
    for (const FilterFileOptions &entry : filterTable)
        if (QString::fromLatin1(entry.filters).split(u' ').contains(filter))
            return &entry;
    return nullptr;
}

bool isKeyCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'_' || c == u'/' || c == u'.';
}

// "key=" at `at`: the key, and `at` past the "="; nothing (and `at` unchanged)
// when the text there is a value without a key.
QString takeKey(QStringView text, qsizetype &at)
{
    qsizetype p = at;
    while (p < text.size() && isWhiteSpace(text[p]))
        ++p;
    const qsizetype start = p;
    while (p < text.size() && isKeyCharacter(text[p]))
        ++p;
    const qsizetype end = p;
    while (p < text.size() && isWhiteSpace(text[p]))
        ++p;
    if (p >= text.size() || text[p] != u'=')
        return {};
    at = p + 1;
    return text.mid(start, end - start).toString();
}

// The options of one filter, read as the converter gives them to the filter.
void addFilterFiles(const QString &filter, const QString &arguments, QList<NamedFile> &files)
{
    const FilterFileOptions *entry = filterEntry(filter.section(u'@', 0, 0));
    if (!entry)
        return;
    const QStringList order = QString::fromLatin1(entry->order).split(u' ');
    const QStringList writes = QString::fromLatin1(entry->writes).split(u' ', Qt::SkipEmptyParts);
    const QStringList reads = QString::fromLatin1(entry->reads).split(u' ', Qt::SkipEmptyParts);
    const auto add = [&](const QString &option, const QString &value) {
        if (value.isEmpty())
            return;
        const bool writing = writes.contains(option);
        if (!writing && !reads.contains(option))
            return;
        files.append({value, writing, u"der Filter %1 (%2)"_s.arg(filter, option), filter == u"signature"_s,
                      QString()});
    };
    QStringList named;
    qsizetype position = 0; // -1: unknown after a key not in the order
    qsizetype at = 0;
    while (at < arguments.size()) {
        const QString key = takeKey(arguments, at);
        const QString value = takeToken(arguments, at, u":");
        if (at < arguments.size())
            ++at;
        QString option;
        if (!key.isEmpty()) {
            const auto found = std::find_if(order.cbegin(), order.cend(), [&](const QString &names) {
                return names.split(u'|').contains(key);
            });
            position = found == order.cend() ? -1 : (found - order.cbegin()) + 1;
            option = found == order.cend() ? key : found->section(u'|', 0, 0);
        } else if (position >= 0) {
            option = order.value(position++).section(u'|', 0, 0);
        } else {
            // A value without a key after a key of unknown position: it may be
            // any of the filter's files.
            for (const QString &candidate : writes + reads)
                add(candidate, value);
            continue;
        }
        named << option;
        add(option, value);
    }
    if (entry->defaultWrite && !named.contains(writes.value(0)))
        add(writes.value(0), QString::fromLatin1(entry->defaultWrite));
    if (entry->defaultRead && !named.contains(reads.value(0)))
        add(reads.value(0), QString::fromLatin1(entry->defaultRead));
}

// Link labels "[name]" before or after a filter.
bool skipLabels(QStringView graph, qsizetype &at)
{
    while (at < graph.size() && graph[at] == u'[') {
        ++at;
        const QString label = takeToken(graph, at, u"]");
        if (label.isEmpty() || at >= graph.size())
            return false;
        ++at;
        while (at < graph.size() && isWhiteSpace(graph[at]))
            ++at;
    }
    return true;
}
} // namespace

QString takeToken(QStringView text, qsizetype &at, QStringView terms)
{
    while (at < text.size() && isWhiteSpace(text[at]))
        ++at;
    QString token;
    qsizetype kept = 0; // quoted or escaped up to here: never trimmed
    while (at < text.size() && !terms.contains(text[at])) {
        const QChar c = text[at++];
        if (c == u'\\' && at < text.size()) {
            token += text[at++];
            kept = token.size();
        } else if (c == u'\'') {
            while (at < text.size() && text[at] != u'\'')
                token += text[at++];
            if (at < text.size()) {
                ++at;
                kept = token.size();
            }
        } else {
            token += c;
        }
    }
    while (token.size() > kept && isWhiteSpace(token.back()))
        token.chop(1);
    return token;
}

QList<NamedFile> filterGraphFiles(const QString &graph)
{
    QList<NamedFile> files;
    qsizetype at = 0;
    while (at < graph.size() && isWhiteSpace(graph[at]))
        ++at;
    // Scaler flags for the whole graph come first and name no file.
    if (QStringView(graph).mid(at).startsWith(u"sws_flags=")) {
        const qsizetype end = graph.indexOf(u';', at);
        if (end < 0)
            return files;
        at = end + 1;
    }
    while (at < graph.size()) {
        while (at < graph.size() && isWhiteSpace(graph[at]))
            ++at;
        if (!skipLabels(graph, at))
            break;
        const QString filter = takeToken(graph, at, u"=,;[");
        if (filter.isEmpty())
            break;
        QString arguments;
        if (at < graph.size() && graph[at] == u'=') {
            ++at;
            arguments = takeToken(graph, at, u"[],;");
        }
        addFilterFiles(filter, arguments, files);
        if (!skipLabels(graph, at))
            break;
        while (at < graph.size() && isWhiteSpace(graph[at]))
            ++at;
        if (at >= graph.size() || (graph[at] != u',' && graph[at] != u';'))
            break;
        ++at;
    }
    return files;
}

QList<NamedFile> encoderParameterFiles(const QString &parameters, const QString &option)
{
    // Keys that name files: statistics of the passes (written in the first, read in
    // the second; the encoder adds ".temp", ".cutree", ".mbtree" and renames),
    // logs, reconstructed pictures, analysis data; and files the encoder reads.
    static const QStringList writing{u"stats"_s, u"csv"_s, u"analysis-save"_s, u"recon"_s, u"dump-yuv"_s};
    static const QStringList reading{u"analysis-load"_s, u"qpfile"_s,      u"zonefile"_s,
                                     u"dhdr10-info"_s,   u"lambda-file"_s, u"cqmfile"_s};
    QList<NamedFile> files;
    qsizetype at = 0;
    while (at < parameters.size()) {
        const QString key = takeKey(parameters, at);
        const QString value = takeToken(parameters, at, u":");
        if (at < parameters.size())
            ++at;
        if (value.isEmpty())
            continue;
        const QString origin = u"%1 (%2)"_s.arg(option, key);
        if (writing.contains(key))
            files.append({value, true, origin, false, key == u"stats"_s ? uR"((\..*)?)"_s : QString()});
        else if (reading.contains(key))
            files.append({value, false, origin, false, QString()});
    }
    return files;
}

std::optional<QByteArray> smallFile(const QString &path)
{
    constexpr qsizetype limit = 1 << 20;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    QByteArray text(regular ? limit + 1 : 0, '\0');
    qsizetype got = 0;
    bool failed = !regular;
    while (!failed && got <= limit) {
        const ssize_t n = ::read(fd, text.data() + got, size_t(limit + 1 - got));
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        got += n;
    }
    ::close(fd);
    if (failed || got > limit)
        return std::nullopt;
    text.resize(got);
    return text;
}
