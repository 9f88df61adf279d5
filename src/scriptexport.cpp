#include "scriptexport.h"

#include "batchfile.h"

using namespace Qt::StringLiterals;

QString shellQuoted(const QString &argument)
{
    QStringList lines = argument.split(u'\n');
    for (QString &line : lines)
        line = u'\'' + QString(line).replace(u"'"_s, u"'\\''"_s) + u'\'';
    return lines.join(u"\"$nl\""_s);
}

QByteArray batchScript(const QStringList &jobTexts)
{
    QString script = uR"(#!/bin/sh
# Batchliste aus Quorvid: ein ffmpeg-Aufruf je Zeile "job ...".
# Das Skript macht nach einem fehlgeschlagenen Job weiter und endet mit
# Status 1, wenn ein Job fehlgeschlagen ist, sonst mit 0.
nl='
'
failed=0
job() {
    "$@"
    status=$?
    if [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
        printf 'Fehler (Status %s): %s\n' "$status" "$4" >&2
    fi
}
)"_s;
    for (const QString &text : jobTexts) {
        if (text.isEmpty())
            continue;
        script += u"job ffmpeg"_s;
        for (const QString &argument : jobArguments(text))
            script += u' ' + shellQuoted(argument);
        // Standard input closed: the converter can never wait at a question.
        script += u" </dev/null\n"_s;
    }
    script += uR"(if [ "$failed" -ne 0 ]; then
    printf '%s Job(s) fehlgeschlagen.\n' "$failed" >&2
    exit 1
fi
exit 0
)"_s;
    return script.toUtf8();
}
