// Names shown as they are, never obeyed: file names and the converter's words can
// hold any byte, escape sequences included, and a terminal would act on them.
#ifndef TERMINALTEXT_H
#define TERMINALTEXT_H

#include <QByteArray>
#include <QString>

#include <cstdio>

// Whether a line break stays one (for whole messages) or is shown as "\n" (for a
// name inside a line).
enum class LineBreaks { Escape, Keep };

// The bytes as UTF-8 that shows every character and obeys none: C0 controls and
// DEL become "\e", "\t", "\r", "\x01" and so on, C1 controls (U+0080 to U+009F)
// "\x9b", the characters that reverse or break the text (bidirectional overrides
// and isolates, line and paragraph separators) "\u202e", and each byte that is not
// valid UTF-8 a "?". Everything else, a backslash too, stays as it is, so the
// result of this function is its own result again.
QByteArray printableText(const QByteArray &bytes, LineBreaks lineBreaks = LineBreaks::Escape);

// The same for text already decoded; a lone surrogate becomes "?".
QString printableText(const QString &text, LineBreaks lineBreaks = LineBreaks::Escape);

// Writes the text to the stream as printableText shows it (line breaks kept),
// after `control`: the caller's own control sequence, the only bytes written as
// they are. Flushed at once.
void printOnTerminal(std::FILE *stream, const QString &text, const char *control = "");

#endif
