#include "runfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <optional>

#include <sys/stat.h>

#include "filterfiles.h"

using namespace Qt::StringLiterals;

namespace {
// What the converter's command line knows, from the measured table.
struct OptionTable
{
    enum Kind { Unknown, Value, Flag, Bool };
    QHash<QString, Kind> own;
    QSet<QString> libraryOptions;           // codec, format, scaler and resampler options
    QHash<QString, QStringList> extensions; // muxer -> file name extensions

    static const OptionTable &get()
    {
        // Read on the first check, never at start-up.
        static const OptionTable table = load();
        return table;
    }

private:
    static OptionTable load()
    {
        OptionTable table;
        QFile file(u":/converter/converteroptions.txt"_s);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return table; // every option unknown: every run is refused, none let through unseen
        QTextStream stream(&file);
        for (QString line; stream.readLineInto(&line);) {
            if (line.startsWith(u'#'))
                continue;
            const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
            const QString kind = words.value(0);
            if (words.size() < 2)
                continue;
            if (kind == u"value"_s)
                table.own.insert(words[1], Value);
            else if (kind == u"flag"_s)
                table.own.insert(words[1], Flag);
            else if (kind == u"bool"_s)
                table.own.insert(words[1], Bool);
            else if (kind == u"avoption"_s)
                table.libraryOptions.insert(words[1]);
            else
                table.extensions.insert(kind, words.mid(1));
        }
        return table;
    }
};

QString quoted(const QString &text)
{
    return u"„"_s + text + u"“"_s;
}

// A name as the converter's file layer sees it: no file at all (standard output,
// a pipe, the null device), a file, or a protocol (a network address and such).
struct Target
{
    enum Kind { NoFile, File, Protocol } kind = File;
    QString path;   // for File: without "file:"
    QString scheme; // for Protocol
};

Target targetOf(const QString &name)
{
    if (name == u"-"_s || name.startsWith(u"pipe:"_s) || name == u"/dev/null"_s || name == u"/dev/stdout"_s ||
        name == u"/dev/stderr"_s)
        return {Target::NoFile, {}, {}};
    // As the converter finds a protocol: letters, digits, "+-." up to a ":".
    qsizetype length = 0;
    while (length < name.size() &&
           (name[length].isLetterOrNumber() || name[length] == u'+' || name[length] == u'-' ||
            name[length] == u'.') &&
           name[length].unicode() < 128)
        ++length;
    if (length >= name.size() || name[length] != u':')
        return {Target::File, name, {}};
    const QString scheme = name.left(length);
    if (scheme == u"file"_s)
        return targetOf(name.mid(length + 1)).kind == Target::NoFile ? Target{Target::NoFile, {}, {}}
                                                                     : Target{Target::File, name.mid(5), {}};
    return {Target::Protocol, {}, scheme};
}

// A file name with "%d", "%03d" (numbered) or, with `dated`, "%Y" and the like
// as a regular expression over the whole name.
QString namePattern(const QString &name, bool numbered, bool dated)
{
    QString pattern;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != u'%' || i + 1 >= name.size()) {
            pattern += QRegularExpression::escape(name.mid(i, 1));
            continue;
        }
        qsizetype j = i + 1;
        while (j < name.size() && name[j].isDigit())
            ++j;
        if (j < name.size() && name[j] == u'%' && j == i + 1) {
            pattern += u"%"_s;
        } else if (j < name.size() && numbered && (name[j] == u'd' || name[j] == u'v')) {
            pattern += name[j] == u'd' ? u"[0-9]+"_s : u"[^/]*"_s;
        } else if (j < name.size() && dated && name[j].isLetter()) {
            pattern += u"[^/]*"_s;
        } else {
            pattern += QRegularExpression::escape(name.mid(i, j - i + 1));
        }
        i = j;
    }
    return pattern;
}

// A name with its folder resolved as far as it exists: links followed, "." and ".."
// taken; the file itself need not exist yet.
QString resolved(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(info.path()).canonicalFilePath();
    return folder.isEmpty() ? path : folder + u'/' + info.fileName();
}

class RunReader
{
public:
    RunReader(const QString &workFolder, RunFiles &files) : m_folder(workFolder), m_files(files) {}

    void read(const QStringList &run, const QString &reportSetting);

private:
    // Options since the last input or output: they belong to the next one.
    struct Group
    {
        QString format;
        QHash<QString, QString> options;
        bool pass = false;
    };

    void option(const QString &name, const QString &value);
    void input(const QString &name);
    void output(const QString &name, const QString &format, const QHash<QString, QString> &options,
                const QString &origin, int depth);
    void teeOutputs(const QString &slaves, int depth);
    void graph(const QString &text, const QString &origin);
    QString guessedFormat(const QString &name) const;

    void add(bool writes, const QString &name, const QString &origin, bool numbered = false,
             const QString &tail = QString(), bool dated = false);
    // A file whose name the converter makes up: `namePattern` is a regular
    // expression for the file's name in the folder of `name`.
    void addMadeUp(bool writes, const QString &name, const QString &namePattern, const QString &origin);
    // Every file in the folder of `name` (`inside`: in the folder `name` itself).
    void addFolder(const QString &name, bool inside, const QString &origin);
    void unclear(const QString &why)
    {
        if (m_files.unclear.isEmpty())
            m_files.unclear = why;
    }
    QString absolute(const QString &name) const
    {
        return QDir::cleanPath(QDir::isAbsolutePath(name) ? name : m_folder + u'/' + name);
    }

    QString m_folder;
    RunFiles &m_files;
    Group m_group;
    bool m_vstats = false;
    bool m_report = false;
};

void RunReader::add(bool writes, const QString &name, const QString &origin, bool numbered,
                    const QString &tail, bool dated)
{
    const QString file = QFileInfo(targetOf(name).path).fileName();
    const bool madeUp = (numbered || dated) && file.contains(u'%');
    if (!madeUp && tail.isEmpty())
        addMadeUp(writes, name, QString(), origin);
    else
        addMadeUp(writes, name,
                  (madeUp ? namePattern(file, numbered, dated) : QRegularExpression::escape(file)) + tail,
                  origin);
}

void RunReader::addMadeUp(bool writes, const QString &name, const QString &namePattern, const QString &origin)
{
    const Target target = targetOf(name);
    if (target.kind == Target::NoFile)
        return;
    if (target.kind == Target::Protocol) {
        // What is read from elsewhere cannot be a file here; what is written there
        // cannot be checked.
        if (writes)
            unclear(u"%1 %2 geht über das Protokoll %3 statt in eine Datei; was dort geschrieben wird, lässt "
                    "sich nicht prüfen"_s.arg(origin, quoted(name), quoted(target.scheme)));
        return;
    }
    FileUse use;
    use.path = absolute(target.path);
    use.origin = origin;
    if (!namePattern.isEmpty()) {
        // The folder both as written and with its links followed.
        const QString folder = QFileInfo(use.path).path();
        QStringList alternatives{QRegularExpression::escape(folder + u'/') + namePattern,
                                 QRegularExpression::escape(resolved(folder) + u'/') + namePattern};
        alternatives.removeDuplicates();
        use.pattern = u"^(?:"_s + alternatives.join(u'|') + u")$"_s;
    }
    (writes ? m_files.writes : m_files.reads).append(use);
}

void RunReader::addFolder(const QString &name, bool inside, const QString &origin)
{
    const Target target = targetOf(name);
    if (target.kind != Target::File) {
        addMadeUp(true, name, QString(), origin);
        return;
    }
    const QString path = absolute(target.path);
    addMadeUp(true, inside ? path + u"/x"_s : path, inside ? u".*"_s : u"[^/]*"_s, origin);
}

void RunReader::read(const QStringList &run, const QString &reportSetting)
{
    const OptionTable &table = OptionTable::get();
    qsizetype afterDashes = -2;
    for (qsizetype i = 0; i < run.size();) {
        const QString &word = run[i++];
        if (word == u"--"_s) {
            afterDashes = i;
            continue;
        }
        // Words that are no option end an output's options: they name the output.
        if (!word.startsWith(u'-') || word.size() == 1 || afterDashes + 1 == i) {
            const QString format = m_group.format.isEmpty() ? guessedFormat(word) : m_group.format;
            if (format != u"null"_s)
                output(word, format, m_group.options, u"die Ausgabe"_s, 0);
            if (m_group.pass) {
                // Pass statistics: PREFIX-N.log for the Nth stream, with ".temp",
                // ".mbtree" and the like while the encoder writes them.
                const QString prefix = m_group.options.value(u"passlogfile"_s, u"ffmpeg2pass"_s);
                add(true, prefix, u"die Option -passlogfile"_s, false, uR"(-[0-9]+\.log.*)"_s);
            }
            m_group = Group();
            continue;
        }
        const QString name = word.mid(1);
        if (name == u"i"_s) {
            // The one option that ends an input's options, like a name ends an output's.
            if (i >= run.size())
                break;
            input(run[i++]);
            m_group = Group();
            continue;
        }
        const QString base = name.section(u':', 0, 0);
        const OptionTable::Kind kind = table.own.value(base, OptionTable::Unknown);
        if (kind == OptionTable::Value) {
            if (i >= run.size())
                break; // the converter stops at a missing value before it writes anything
            option(base, run[i++]);
        } else if (kind == OptionTable::Flag || kind == OptionTable::Bool) {
            if (base == u"vstats"_s)
                m_vstats = true;
            else if (base == u"report"_s)
                m_report = true;
        } else if (i < run.size() && table.libraryOptions.contains(base)) {
            m_group.options.insert(base, run[i]);
            option(base, run[i++]);
        } else if (!(base.startsWith(u"no"_s) && table.own.value(base.mid(2)) == OptionTable::Bool)) {
            unclear(
                u"die Option %1 kennt ffmpeg nicht; ob ihr Wert eine Datei ist, lässt sich nicht sagen"_s.arg(
                    quoted(word)));
            return;
        }
    }
    if (m_vstats)
        addMadeUp(true, u"vstats.log"_s, uR"(vstats_[0-9]{6}\.log)"_s, u"die Option -vstats"_s);
    if (m_report || !reportSetting.isNull()) {
        // FFREPORT=file=NAME:level=N; %p is the program, %t the time of the start.
        QString name = u"%p-%t.log"_s;
        qsizetype at = 0;
        while (at < reportSetting.size()) {
            const QString pair = takeToken(reportSetting, at, u":");
            if (at < reportSetting.size())
                ++at;
            if (pair.startsWith(u"file="_s))
                name = pair.mid(5);
        }
        const QString file = QFileInfo(name).fileName();
        QString pattern;
        for (qsizetype c = 0; c < file.size(); ++c) {
            const QStringView two = QStringView(file).mid(c, 2);
            if (two == u"%p" || two == u"%t" || two == u"%%") {
                pattern += two == u"%p" ? u"ffmpeg"_s : two == u"%t" ? u"[0-9]{8}-[0-9]{6}"_s : u"%"_s;
                ++c;
            } else {
                pattern += QRegularExpression::escape(file.mid(c, 1));
            }
        }
        addMadeUp(true, name, pattern, u"der Bericht (-report, FFREPORT)"_s);
    }
}

void RunReader::option(const QString &name, const QString &value)
{
    const QString origin = u"die Option -"_s + name;
    if (name == u"f"_s) {
        m_group.format = value;
    } else if (name == u"pass"_s) {
        m_group.pass = true;
    } else if (name == u"passlogfile"_s) {
        m_group.options.insert(name, value);
    } else if (name == u"vf"_s || name == u"af"_s || name == u"filter"_s || name == u"filter_complex"_s ||
               name == u"lavfi"_s) {
        graph(value, u'-' + name);
    } else if (name == u"filter_script"_s || name == u"filter_complex_script"_s) {
        add(false, value, origin);
        // The graph is in the file: what it writes is known only from its text.
        const std::optional<QByteArray> text = smallFile(absolute(targetOf(value).path));
        if (text)
            graph(QString::fromUtf8(*text), u'-' + name);
        else
            unclear(
                u"das Filterskript %1 lässt sich nicht lesen; was es schreibt, lässt sich nicht sagen"_s.arg(
                    quoted(value)));
    } else if (name == u"attach"_s || name == u"fpre"_s) {
        add(false, value, origin);
    } else if (name == u"vstats_file"_s || name == u"progress"_s || name == u"sdp_file"_s) {
        add(true, value, origin);
    } else if (name == u"dump_attachment"_s) {
        if (value.isEmpty())
            unclear(u"-dump_attachment ohne Dateinamen schreibt unter Namen aus der Eingabe"_s);
        add(true, value, origin);
    } else if (name == u"x264-params"_s || name == u"x264opts"_s || name == u"x265-params"_s ||
               name == u"svtav1-params"_s) {
        for (const NamedFile &file : encoderParameterFiles(value, origin))
            add(file.writes, file.name, file.origin, false, file.tail);
    }
}

void RunReader::input(const QString &name)
{
    const QString format = m_group.format;
    if (format == u"lavfi"_s) {
        graph(name, u"-f lavfi -i"_s);
        return;
    }
    if (name.startsWith(u"concat:"_s)) {
        for (const QString &part : name.mid(7).split(u'|'))
            add(false, part, u"die Eingabe (-i concat:)"_s);
        return;
    }
    const QString suffix = QFileInfo(name).suffix().toLower();
    const bool pictures =
        format == u"image2"_s ||
        (format.isEmpty() && OptionTable::get().extensions.value(u"image2"_s).contains(suffix));
    add(false, name, u"die Eingabe (-i)"_s, pictures);
    if (format == u"concat"_s) {
        // The list names the files read, relative to the list's own folder.
        const QString path = absolute(targetOf(name).path);
        if (const std::optional<QByteArray> text = smallFile(path)) {
            static const QRegularExpression entry(uR"(^\s*file\s+(.+?)\s*$)"_s);
            const QString folder = QFileInfo(path).path();
            for (const QString &line : QString::fromUtf8(*text).split(u'\n')) {
                const QRegularExpressionMatch match = entry.match(line);
                qsizetype at = 0;
                const QString file = match.hasMatch() ? takeToken(match.captured(1), at, u"") : QString();
                if (!file.isEmpty())
                    add(false, QDir::isAbsolutePath(file) ? file : folder + u'/' + file,
                        u"die Liste von -f concat"_s);
            }
        }
    }
}

QString RunReader::guessedFormat(const QString &name) const
{
    // The muxers that write more than the one named file, as the converter picks
    // them by the name's extension.
    const QString suffix = QFileInfo(targetOf(name).path).suffix().toLower();
    const QHash<QString, QStringList> &extensions = OptionTable::get().extensions;
    for (auto it = extensions.cbegin(); it != extensions.cend(); ++it)
        if (!suffix.isEmpty() && it.value().contains(suffix))
            return it.key();
    return {};
}

void RunReader::output(const QString &name, const QString &format, const QHash<QString, QString> &options,
                       const QString &origin, int depth)
{
    if (depth > 4) {
        unclear(u"die Ausgabe %1 ist zu tief verschachtelt, um sie zu prüfen"_s.arg(quoted(name)));
        return;
    }
    const auto on = [&](const QString &option) {
        const QString value = options.value(option);
        return !value.isEmpty() && value != u"0"_s && value != u"false"_s;
    };
    const bool dated = on(u"strftime"_s) || on(u"use_localtime"_s);
    if (format == u"tee"_s) {
        teeOutputs(name, depth);
    } else if (format == u"fifo"_s) {
        const QString inner = options.value(u"fifo_format"_s);
        output(name, inner.isEmpty() ? guessedFormat(name) : inner, options, origin, depth + 1);
    } else if (format == u"image2"_s) {
        add(true, name, origin, true, QString(), dated);
    } else if (format == u"segment"_s || format == u"ssegment"_s || format == u"stream_segment"_s) {
        add(true, name, origin, true, QString(), dated);
        add(true, options.value(u"segment_list"_s), u"die Option -segment_list"_s, false, uR"((\.tmp)?)"_s);
    } else if (format == u"hls"_s) {
        add(true, name, origin, false, uR"((\.tmp)?)"_s);
        // Segments beside the playlist unless named; the first one of fragmented
        // MP4 segments, and the master playlist, beside the playlist.
        const QString path = targetOf(name).path;
        const QFileInfo playlist(path);
        const QString folder = playlist.path() + u'/';
        const bool mp4 = options.value(u"hls_segment_type"_s) == u"fmp4"_s;
        QString segments = options.value(u"hls_segment_filename"_s);
        if (segments.isEmpty())
            segments = folder + playlist.completeBaseName() + (dated ? u"-%s"_s : u"%d"_s) +
                       (mp4 ? u".m4s"_s : u".ts"_s);
        add(true, segments, u"die Segmente von -f hls"_s, true, uR"((\.tmp)?)"_s, dated);
        if (mp4)
            add(true, folder + options.value(u"hls_fmp4_init_filename"_s, u"init.mp4"_s),
                u"die Option -hls_fmp4_init_filename"_s, true);
        if (!options.value(u"master_pl_name"_s).isEmpty())
            add(true, folder + options.value(u"master_pl_name"_s), u"die Option -master_pl_name"_s, true);
    } else if (format == u"dash"_s || format == u"webm_chunk"_s) {
        // Segments and manifests under names of the muxer's own, beside the output.
        addFolder(name, false, origin + u" (-f "_s + format + u')');
    } else if (format == u"hds"_s || format == u"smoothstreaming"_s) {
        addFolder(name, true, origin + u" (-f "_s + format + u')');
    } else {
        add(true, name, origin);
    }
}

void RunReader::teeOutputs(const QString &slaves, int depth)
{
    // "[f=mp4:onfail=ignore]a.mp4|[f=segment]b%03d.ts|c.mkv": options in brackets,
    // parted by ":"; those the tee muxer does not take go to the slave's muxer.
    qsizetype at = 0;
    while (at < slaves.size()) {
        const QString slave = takeToken(slaves, at, u"|");
        if (at < slaves.size())
            ++at;
        QHash<QString, QString> options;
        qsizetype p = 0;
        if (slave.startsWith(u'[')) {
            p = 1;
            while (p < slave.size() && slave[p] != u']') {
                const qsizetype equals = slave.indexOf(u'=', p);
                if (equals < 0)
                    break;
                const QString key = slave.mid(p, equals - p).trimmed();
                p = equals + 1;
                options.insert(key, takeToken(slave, p, u":]"));
                if (p < slave.size() && slave[p] == u':')
                    ++p;
            }
            ++p;
        }
        const QString file = slave.mid(p);
        const QString format = options.value(u"f"_s, guessedFormat(file));
        if (format != u"null"_s)
            output(file, format, options, u"ein Ziel von -f tee"_s, depth + 1);
    }
}

void RunReader::graph(const QString &text, const QString &origin)
{
    for (const NamedFile &file : filterGraphFiles(text))
        add(file.writes, file.name, file.origin + u" in "_s + origin, file.numbered, file.tail);
}

QString sentence(const QString &text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}
} // namespace

RunFiles runFiles(const QStringList &run, const QString &workFolder, const QString &reportSetting)
{
    RunFiles files;
    RunReader(workFolder, files).read(run, reportSetting);
    return files;
}

bool sameFileUse(const FileUse &a, const FileUse &b)
{
    if (a.pattern.isEmpty() && b.pattern.isEmpty()) {
        if (a.path == b.path || resolved(a.path) == resolved(b.path))
            return true;
        // A hard link or a bind mount: only the device and the inode tell.
        struct stat statA, statB;
        return ::stat(QFile::encodeName(a.path).constData(), &statA) == 0 &&
               ::stat(QFile::encodeName(b.path).constData(), &statB) == 0 && statA.st_dev == statB.st_dev &&
               statA.st_ino == statB.st_ino;
    }
    if (!a.pattern.isEmpty() && !b.pattern.isEmpty())
        return a.pattern == b.pattern;
    const FileUse &madeUp = a.pattern.isEmpty() ? b : a;
    const FileUse &file = a.pattern.isEmpty() ? a : b;
    const QRegularExpression pattern(madeUp.pattern);
    return pattern.match(file.path).hasMatch() || pattern.match(resolved(file.path)).hasMatch();
}

QString jobWorkFolder(const Job &job)
{
    return job.needsWorkFolder() ? QDir::tempPath() + u"/quorvid-Arbeitsordner"_s : QDir::currentPath();
}

WriteVerdict checkWrites(const Job &job, const QString &workFolder)
{
    WriteVerdict verdict;
    const QString report =
        qEnvironmentVariableIsSet("FFREPORT") ? qEnvironmentVariable("FFREPORT") : QString();
    // The limit runs too: any of them may be started.
    const QList<QStringList> runs = job.allRuns();
    QList<RunFiles> files;
    QList<FileUse> reads;
    for (const QStringList &run : runs) {
        files << runFiles(run, workFolder, report);
        reads += files.last().reads;
    }
    // The files of a join and the subtitle files copied into the private folder.
    for (const QString &read : job.readsBesideRuns())
        reads << FileUse{QDir::cleanPath(QDir(workFolder).absoluteFilePath(read)), QString(), u"-i"_s};
    const auto runName = [&](qsizetype run) {
        return runs.size() > 1 ? u"Lauf %1 von %2: "_s.arg(run + 1).arg(runs.size()) : QString();
    };
    const QString input = QDir::cleanPath(QDir(workFolder).absoluteFilePath(job.input));
    for (qsizetype run = 0; run < files.size(); ++run) {
        for (const FileUse &write : files[run].writes) {
            for (const FileUse &read : reads) {
                if (!sameFileUse(write, read))
                    continue;
                verdict.refused = true;
                verdict.sameAsInput =
                    write.origin == u"die Ausgabe"_s && !job.input.isEmpty() && write.pattern.isEmpty() &&
                    read.path == input &&
                    write.path == QDir::cleanPath(QDir(workFolder).absoluteFilePath(runOutput(runs[run])));
                verdict.reason =
                    runName(run) +
                    (write.pattern.isEmpty() ? u"%1 %2 ist dieselbe Datei wie %3 %4, die der Job liest."_s
                                             : u"%1 %2 kann %3 %4 treffen, die der Job liest."_s)
                        .arg(sentence(write.origin), quoted(write.path), read.origin, quoted(read.path));
                return verdict;
            }
        }
    }
    for (qsizetype run = 0; run < files.size(); ++run) {
        if (!files[run].unclear.isEmpty()) {
            verdict.refused = true;
            verdict.reason = runName(run) + sentence(files[run].unclear) + u'.';
            return verdict;
        }
    }
    return verdict;
}
