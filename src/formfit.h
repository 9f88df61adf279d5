// Giving the texts of a form with fixed positions the room they need in the
// fonts and at the resolution of the desktop the program runs on.
#ifndef FORMFIT_H
#define FORMFIT_H

class QWidget;

// Grows every child of `container` that sits at a fixed position (buttons, and the
// small widgets holding a label with its box) to at least the size its texts need,
// moves the neighbours to its right or below it along so that nothing overlaps,
// keeping their order and the gaps between them, and lets the container grow with
// its children. Positions that already give enough room stay as they are.
void giveTextsRoom(QWidget *container);

#endif
