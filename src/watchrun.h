// `quorvid --watch FOLDER... --output-dir OUT`: watched folders without a window.
// Every complete file that arrives becomes a job of the preset on the one
// runner, one line per job as `--run` prints; the run goes on until SIGTERM or
// Ctrl+C, which stop the running converters in order (their half outputs are
// removed, the journal has them redone at the next start).
#ifndef WATCHRUN_H
#define WATCHRUN_H

class QCommandLineParser;

// Returns the exit status: 2 for a wrong call, a missing converter or a journal
// that cannot be used; 128 + the signal's number after SIGTERM or SIGINT.
int watchFolders(const QCommandLineParser &parser);

#endif
