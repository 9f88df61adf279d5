#include "subtitlefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Subtitle files of many megabytes are no subtitles: refused rather than read.
constexpr qint64 largestSubtitleFile = 20 * 1024 * 1024;

// Windows-1252 where it differs from ISO-8859-1: 0x80 to 0x9F. The five bytes
// it leaves undefined keep their ISO-8859-1 meaning.
// clang-format off
const char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The languages subtitle files are named with: ISO 639-1, 639-2 bibliographic
// (what is written) and terminology, and names in English and German.
struct Language
{
    const char16_t *two;
    const char16_t *bibliographic;
    const char16_t *terminology;
    const char16_t *names;
};
const Language languages[] = {
    {u"de", u"ger", u"deu", u"german deutsch"},
    {u"en", u"eng", u"eng", u"english englisch"},
    {u"fr", u"fre", u"fra", u"french französisch francais français"},
    {u"es", u"spa", u"spa", u"spanish spanisch español espanol"},
    {u"it", u"ita", u"ita", u"italian italienisch italiano"},
    {u"nl", u"dut", u"nld", u"dutch niederländisch nederlands"},
    {u"pt", u"por", u"por", u"portuguese portugiesisch"},
    {u"ru", u"rus", u"rus", u"russian russisch"},
    {u"pl", u"pol", u"pol", u"polish polnisch"},
    {u"cs", u"cze", u"ces", u"czech tschechisch"},
    {u"sk", u"slo", u"slk", u"slovak slowakisch"},
    {u"sl", u"slv", u"slv", u"slovenian slowenisch"},
    {u"hu", u"hun", u"hun", u"hungarian ungarisch"},
    {u"ro", u"rum", u"ron", u"romanian rumänisch"},
    {u"bg", u"bul", u"bul", u"bulgarian bulgarisch"},
    {u"hr", u"hrv", u"hrv", u"croatian kroatisch"},
    {u"sr", u"srp", u"srp", u"serbian serbisch"},
    {u"uk", u"ukr", u"ukr", u"ukrainian ukrainisch"},
    {u"el", u"gre", u"ell", u"greek griechisch"},
    {u"tr", u"tur", u"tur", u"turkish türkisch"},
    {u"sv", u"swe", u"swe", u"swedish schwedisch"},
    {u"da", u"dan", u"dan", u"danish dänisch"},
    {u"no", u"nor", u"nor", u"norwegian norwegisch"},
    {u"nb", u"nob", u"nob", u""},
    {u"fi", u"fin", u"fin", u"finnish finnisch"},
    {u"is", u"ice", u"isl", u"icelandic isländisch"},
    {u"et", u"est", u"est", u"estonian estnisch"},
    {u"lv", u"lav", u"lav", u"latvian lettisch"},
    {u"lt", u"lit", u"lit", u"lithuanian litauisch"},
    {u"ja", u"jpn", u"jpn", u"japanese japanisch"},
    {u"zh", u"chi", u"zho", u"chinese chinesisch"},
    {u"ko", u"kor", u"kor", u"korean koreanisch"},
    {u"ar", u"ara", u"ara", u"arabic arabisch"},
    {u"he", u"heb", u"heb", u"hebrew hebräisch"},
    {u"fa", u"per", u"fas", u"persian persisch farsi"},
    {u"hi", u"hin", u"hin", u"hindi"},
    {u"th", u"tha", u"tha", u"thai"},
    {u"vi", u"vie", u"vie", u"vietnamese vietnamesisch"},
    {u"id", u"ind", u"ind", u"indonesian indonesisch"},
    {u"ca", u"cat", u"cat", u"catalan katalanisch"},
};
// clang-format on

// Parts of a name that mark the kind of subtitles, not their language.
const QStringList flags{u"forced"_s, u"sdh"_s, u"cc"_s, u"hi"_s, u"default"_s, u"full"_s, u"erzwungen"_s};

bool validUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// UTF-16 without a byte-order mark: many zero bytes, all on one side.
std::optional<TextEncoding> unmarkedUtf16(const QByteArray &bytes)
{
    qsizetype even = 0, odd = 0;
    const qsizetype n = std::min<qsizetype>(bytes.size(), 4096) & ~qsizetype(1);
    for (qsizetype i = 0; i < n; i += 2) {
        even += bytes[i] == 0;
        odd += bytes[i + 1] == 0;
    }
    if (n >= 8 && odd > n / 4 && even == 0)
        return TextEncoding::Utf16LE;
    if (n >= 8 && even > n / 4 && odd == 0)
        return TextEncoding::Utf16BE;
    return std::nullopt;
}
} // namespace

TextEncoding detectTextEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8Bom;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BE;
    if (const auto utf16 = unmarkedUtf16(bytes))
        return *utf16;
    if (validUtf8(bytes))
        return TextEncoding::Utf8;
    const bool high = std::any_of(bytes.cbegin(), bytes.cend(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x80 && b <= 0x9F;
    });
    return high ? TextEncoding::Windows1252 : TextEncoding::Latin1;
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return u"UTF-8"_s;
    case TextEncoding::Utf8Bom:
        return u"UTF-8 mit BOM"_s;
    case TextEncoding::Utf16LE:
        return u"UTF-16 LE"_s;
    case TextEncoding::Utf16BE:
        return u"UTF-16 BE"_s;
    case TextEncoding::Windows1252:
        return u"Windows-1252"_s;
    case TextEncoding::Latin1:
        return u"ISO-8859-1"_s;
    }
    return {};
}

QString decodeText(const QByteArray &bytes, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        return QString::fromUtf8(encoding == TextEncoding::Utf8Bom ? bytes.mid(3) : bytes);
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        QStringDecoder decoder(encoding == TextEncoding::Utf16LE ? QStringDecoder::Utf16LE
                                                                 : QStringDecoder::Utf16BE);
        const bool marked = bytes.startsWith(encoding == TextEncoding::Utf16LE ? "\xFF\xFE" : "\xFE\xFF");
        return decoder.decode(marked ? bytes.mid(2) : bytes);
    }
    case TextEncoding::Windows1252:
    case TextEncoding::Latin1: {
        QString text = QString::fromLatin1(bytes);
        if (encoding == TextEncoding::Windows1252)
            for (QChar &c : text)
                if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
                    c = QChar(windows1252High[c.unicode() - 0x80]);
        return text;
    }
    }
    return {};
}

bool needsUtf8Copy(TextEncoding encoding)
{
    return encoding != TextEncoding::Utf8 && encoding != TextEncoding::Utf8Bom;
}

bool isSubtitleFileName(const QString &path)
{
    return !subtitleFileCodec(path).isEmpty();
}

QString subtitleFileCodec(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"srt"_s)
        return u"subrip"_s;
    if (suffix == u"ass"_s || suffix == u"ssa"_s)
        return u"ass"_s;
    if (suffix == u"vtt"_s)
        return u"webvtt"_s;
    return {};
}

QString languageTag(const QString &code)
{
    const QString lower = code.trimmed().toLower();
    if (lower.isEmpty())
        return {};
    for (const Language &l : languages) {
        if (lower == QStringView(l.two) || lower == QStringView(l.bibliographic) ||
            lower == QStringView(l.terminology) ||
            (lower.size() > 3 && QStringView(l.names).split(u' ').contains(QStringView(lower))))
            return QString::fromUtf16(l.bibliographic);
    }
    return {};
}

SubtitleNameHints subtitleNameHints(const QString &path)
{
    SubtitleNameHints hints;
    // "film.deu.forced.srt": the parts between the first and the suffix, read from
    // the end; the first part is the film's own name.
    QStringList parts = QFileInfo(path).completeBaseName().split(u'.');
    for (qsizetype i = parts.size() - 1; i >= 1; --i) {
        const QString part = parts[i].toLower();
        if (flags.contains(part)) {
            hints.forced = hints.forced || part == u"forced"_s || part == u"erzwungen"_s;
            continue;
        }
        // Anything else ends the hints: a part of the film's own name.
        if (!hints.language.isEmpty())
            break;
        hints.language = languageTag(part);
        if (hints.language.isEmpty())
            break;
    }
    return hints;
}

QStringList subtitlesBeside(const QString &video)
{
    const QFileInfo info(video);
    const QString base = info.completeBaseName() + u'.';
    QStringList found;
    const QFileInfoList entries = info.dir().entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &entry : entries)
        if (entry.fileName().startsWith(base) && isSubtitleFileName(entry.fileName()) && entry.isFile())
            found << entry.absoluteFilePath();
    return found;
}

AddedSubtitle addedSubtitle(const QString &path)
{
    const SubtitleNameHints hints = subtitleNameHints(path);
    AddedSubtitle added;
    added.path = QFileInfo(path).absoluteFilePath();
    added.language = hints.language;
    added.forced = hints.forced;
    return added;
}

QString subtitleFileRefusal(const QString &path)
{
    const QFileInfo info(path);
    const QString name = QDir::toNativeSeparators(path);
    if (!info.exists())
        return u"Die Untertiteldatei %1 gibt es nicht."_s.arg(name);
    if (!info.isFile())
        return u"%1 ist keine gewöhnliche Datei. Bitte wählen Sie eine Untertiteldatei (.srt, .ass, .ssa "
               u"oder .vtt)."_s.arg(name);
    if (!isSubtitleFileName(path))
        return u"%1 ist keine Untertiteldatei, die Quorvid kennt. Bitte wählen Sie eine Datei mit der Endung "
               u".srt, .ass, .ssa oder .vtt."_s.arg(name);
    if (info.size() > largestSubtitleFile)
        return u"%1 ist mit %2 MB zu groß für eine Untertiteldatei. Bitte prüfen Sie, ob Sie die richtige "
               u"Datei "
               u"gewählt haben."_s.arg(name)
                   .arg(info.size() / (1024 * 1024));
    QString error;
    const QByteArray text = utf8SubtitleText(path, &error);
    if (!error.isEmpty())
        return error;
    if (text.contains('\0'))
        return u"%1 enthält keinen Text. Bitte wählen Sie eine Untertiteldatei (.srt, .ass, .ssa oder "
               u".vtt)."_s.arg(name);
    // The converter reads a file without cues as no subtitles at all and fails.
    if (text.trimmed().isEmpty())
        return u"%1 ist leer. Bitte wählen Sie eine Untertiteldatei, die Untertitel enthält."_s.arg(name);
    return {};
}

QByteArray utf8SubtitleText(const QString &path, QString *error)
{
    QFile file(path);
    if (QFileInfo(path).size() > largestSubtitleFile || !file.open(QIODevice::ReadOnly)) {
        *error = u"Die Untertiteldatei %1 kann nicht gelesen werden%2. Bitte prüfen Sie die Datei und ihre "
                 u"Rechte."_s.arg(QDir::toNativeSeparators(path), file.error() != QFileDevice::NoError
                                                                      ? u" ("_s + file.errorString() + u')'
                                                                      : QString());
        return {};
    }
    const QByteArray bytes = file.read(largestSubtitleFile + 1);
    const TextEncoding encoding = detectTextEncoding(bytes);
    if (encoding == TextEncoding::Utf8)
        return bytes;
    return decodeText(bytes, encoding).toUtf8();
}
