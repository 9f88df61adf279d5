// Subtitle files beside the videos: which names are subtitle files, the text
// encodings real files come in, the language a name tells ("film.de.srt",
// "film.ger.srt", "film.deu.forced.srt"), and the files beside a video with its
// base name.
#ifndef SUBTITLEFILES_H
#define SUBTITLEFILES_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "arguments.h"

// The encodings subtitle files are written in. Windows-1252 and ISO-8859-1 are
// told apart by the bytes 0x80 to 0x9F, which are letters and marks only in the
// former.
enum class TextEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Windows1252, Latin1 };

TextEncoding detectTextEncoding(const QByteArray &bytes);
// "UTF-8", "UTF-16 LE", "Windows-1252", ...
QString encodingName(TextEncoding encoding);
// The text, without a byte-order mark.
QString decodeText(const QByteArray &bytes, TextEncoding encoding);
// True when the converter would misread the file: everything but UTF-8.
bool needsUtf8Copy(TextEncoding encoding);

// ".srt", ".ass", ".ssa" and ".vtt" in any case.
bool isSubtitleFileName(const QString &path);
// The converter's codec name of the file's format: "subrip", "ass", "webvtt".
QString subtitleFileCodec(const QString &path);

// The three-letter tag (ISO 639-2, the bibliographic form Matroska uses, e.g.
// "ger") of a two- or three-letter code or an English or German name of a
// language; empty when it is none known.
QString languageTag(const QString &code);

// What the name of a subtitle file tells: its language (the last part before
// the suffix that names one, flags such as "forced" or "sdh" passed over) and
// whether it holds forced subtitles only.
struct SubtitleNameHints
{
    QString language;
    bool forced = false;
};
SubtitleNameHints subtitleNameHints(const QString &path);

// The subtitle files in the video's folder whose names begin with the video's
// base name and a dot ("film.mkv": "film.srt", "film.de.srt"), sorted by name.
QStringList subtitlesBeside(const QString &video);

// An added subtitle of the file, with the language and the forced mark its name
// tells.
AddedSubtitle addedSubtitle(const QString &path);

// Why the file cannot be added as subtitles (not there, no regular file, not
// readable, too large, no text); empty when it can. German.
QString subtitleFileRefusal(const QString &path);

// The file's text as UTF-8 without a byte-order mark, for the converter; the
// German reason in *error when it cannot be read.
QByteArray utf8SubtitleText(const QString &path, QString *error);

#endif
