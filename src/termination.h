// A termination request (SIGTERM, SIGINT, SIGHUP: a logout, a kill, Ctrl+C in
// the terminal the window was started from) handled in the event loop like any
// other event, so that running converters are ended in order and their half
// files removed before the program ends.
#ifndef TERMINATION_H
#define TERMINATION_H

#include <functional>

// Calls `handle` with the signal's number from the event loop; needs an
// application object. A second request while the first is handled ends the
// program at once.
void onTerminationRequest(std::function<void(int)> handle);

// The window's answer to a termination request: every runner of the process is
// stopped quietly (its converters ended, their half files removed), and the
// program ends with 128 + the signal's number. The batch list stays in its
// recovery file, to be offered at the next start.
void stopRunsOnTerminationRequest();

#endif
