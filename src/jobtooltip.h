// What a row of the batch list holds, told in words for its tooltip: the cell
// itself keeps the job text, which is hard to read when a job is long.
#ifndef JOBTOOLTIP_H
#define JOBTOOLTIP_H

#include <QString>
#include <QStringList>

struct Job;

// What the last run of a job makes, one phrase per part: "Video: libx264,
// 1280×720, CRF 23", "Ton: aac, 192 kbit/s, 48 kHz, Stereo", "höchstens 25 MB",
// "Teil: ab 0:00:10, 30 s lang". Parts the arguments do not name are left out.
QStringList jobProducts(const Job &job);

// The tooltip of a job's row (rich text, so that a long line wraps): input,
// output, what it makes and every run of the converter, names escaped.
QString jobToolTip(const Job &job);

#endif
