// Running a saved batch list without a window: `quorvid --run LIST.btc`.
#ifndef HEADLESS_H
#define HEADLESS_H

// True when the command line asks for a run without a window.
bool wantsHeadlessRun(int argc, char **argv);

// Runs the list's jobs and returns the exit status: 0 when every job succeeded
// (or was skipped), 1 when any failed, 2 for a wrong call or a missing converter,
// 130 after an interrupt (Ctrl+C), 143 after a termination request.
int runHeadless(int argc, char **argv);

#endif
