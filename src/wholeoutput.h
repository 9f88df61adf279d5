// Whether an output that is already there may be taken as done: only a whole
// file is. A half file left by a power cut or a killed run must be made again,
// never skipped.
#ifndef WHOLEOUTPUT_H
#define WHOLEOUTPUT_H

#include <QByteArray>
#include <QString>

#include "job.h"

// The seconds the job's output should last, from ffprobe's JSON of its input
// (outputProbeArguments): the longest video or audio stream (a subtitle may run
// longer than the picture), cut to the part the job converts. 0 when it cannot
// be told (the input unreadable, a run limited by frames or size), so that only
// the streams are checked.
double expectedOutputSeconds(const Job &job, const QByteArray &inputProbeJson);

// Empty when the job's existing output is whole: readable streams, lasting as
// long as its part of the input within the runner's tolerance. Otherwise the
// German reason. Runs ffprobe on output and input, each with a time limit.
QString wholeOutputFault(const Job &job, int timeLimitMs = 60000);

#endif
