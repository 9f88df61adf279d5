#include "terminaltext.h"

namespace {
// Characters that are visible but change how the rest of the line is drawn: they
// could make "clip\u202eivz.sh" read as a harmless name.
bool reordersText(char32_t c)
{
    return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

void appendEscape(QByteArray &out, char32_t c)
{
    // The usual short names where a reader knows them, the number otherwise.
    if (c >= 0x07 && c <= 0x0d) {
        out += '\\';
        out += "abtnvfr"[c - 0x07];
        return;
    }
    if (c == 0x1b) {
        out += "\\e";
        return;
    }
    const int digits = c <= 0xff ? 2 : 4;
    out += digits == 2 ? "\\x" : "\\u";
    out += QByteArray::number(uint(c), 16).rightJustified(digits, '0');
}

// The code point of the UTF-8 sequence starting at `at`, and its length; a length
// of 0 when the bytes there are no valid, shortest-form sequence.
std::pair<char32_t, int> decodeAt(const unsigned char *bytes, qsizetype size, qsizetype at)
{
    const unsigned char lead = bytes[at];
    int length = 0;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3;
    else if (lead >= 0xf0 && lead <= 0xf4)
        length = 4;
    else
        return {0, 0};
    // The lead byte's own bits, and the least code point that needs this length.
    char32_t c = lead & (0x7f >> length);
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (at + length > size)
        return {0, 0};
    for (int k = 1; k < length; ++k) {
        const unsigned char next = bytes[at + k];
        if ((next & 0xc0) != 0x80)
            return {0, 0};
        c = (c << 6) | (next & 0x3f);
    }
    // Overlong forms and surrogates are not UTF-8, nor is anything past U+10FFFF.
    if (c < smallest[length] || (c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff)
        return {0, 0};
    return {c, length};
}
} // namespace

QByteArray printableText(const QByteArray &bytes, LineBreaks lineBreaks)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    QByteArray out;
    out.reserve(size);
    for (qsizetype i = 0; i < size;) {
        const unsigned char byte = data[i];
        if (byte < 0x80) {
            if (byte == '\n' && lineBreaks == LineBreaks::Keep)
                out += '\n';
            else if (byte < 0x20 || byte == 0x7f)
                appendEscape(out, byte);
            else
                out += char(byte);
            ++i;
            continue;
        }
        const auto [c, length] = decodeAt(data, size, i);
        if (length == 0) {
            out += '?';
            ++i;
        } else {
            if (c <= 0x9f || reordersText(c))
                appendEscape(out, c);
            else
                out.append(bytes.data() + i, length);
            i += length;
        }
    }
    return out;
}

QString printableText(const QString &text, LineBreaks lineBreaks)
{
    // Qt writes a lone surrogate as "?", so the bytes are valid UTF-8 but for that.
    return QString::fromUtf8(printableText(text.toUtf8(), lineBreaks));
}

void printOnTerminal(std::FILE *stream, const QString &text, const char *control)
{
    const QByteArray bytes = printableText(text.toUtf8(), LineBreaks::Keep);
    std::fputs(control, stream);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
