// The outputs of files converted from the command line: their names, and which
// given files are outputs of others.
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "headless.h"

using namespace Qt::StringLiterals;

QStringList outputNames(const QStringList &inputs, const QString &outputDir, const QString &suffix)
{
    QStringList outputs;
    for (const QString &input : inputs) {
        const QString wanted =
            outputDir.isEmpty() ? QString() : outputDir + u'/' + QFileInfo(input).fileName();
        QString output = proposeOutputName(input, wanted, suffix);
        // Two files of one name from different folders, or "a.avi" beside "a.mp4":
        // no job may write what another job reads or writes.
        const auto taken = [&](const QString &name) {
            return std::any_of(inputs.begin(), inputs.end(),
                               [&](const QString &i) { return sameFile(i, name); }) ||
                   std::any_of(outputs.begin(), outputs.end(),
                               [&](const QString &o) { return sameFile(o, name); });
        };
        const QFileInfo info(output);
        const QString stem = info.path() + u'/' + info.completeBaseName();
        const QString dotSuffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
        for (int n = 2; taken(output); ++n)
            output = stem + u'-' + QString::number(n) + dotSuffix;
        outputs << output;
    }
    return outputs;
}

ConvertInputs convertInputs(const QStringList &files, const QString &outputDir, const QString &suffix)
{
    // Names without the copy marker first: "a.mp4" makes "a-Kopie.mp4", not the
    // other way round.
    QStringList order = files;
    std::stable_sort(order.begin(), order.end(), [](const QString &a, const QString &b) {
        return !QFileInfo(a).fileName().contains(u"-Kopie"_s) &&
               QFileInfo(b).fileName().contains(u"-Kopie"_s);
    });
    QSet<QString> given;
    for (const QString &file : files)
        given.insert(QFileInfo(file).absoluteFilePath());
    QSet<QString> dropped;
    for (const QString &file : std::as_const(order)) {
        if (dropped.contains(QFileInfo(file).absoluteFilePath()))
            continue;
        const QString wanted =
            outputDir.isEmpty() ? QString() : outputDir + u'/' + QFileInfo(file).fileName();
        const QString output = QFileInfo(proposeOutputName(file, wanted, suffix)).absoluteFilePath();
        if (given.contains(output))
            dropped.insert(output);
    }
    ConvertInputs result;
    for (const QString &file : files)
        (dropped.contains(QFileInfo(file).absoluteFilePath()) ? result.outputsOfOthers : result.inputs)
            << file;
    return result;
}
