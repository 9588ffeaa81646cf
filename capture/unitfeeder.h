#ifndef UNITFEEDER_H
#define UNITFEEDER_H

class ChainHandler;

// Pushes a block read from the source into the head of the chain in units of four bytes, each
// through the whole chain before the next; a last unit of one to three bytes goes as it is.
// The channel clocks depend on this grouping.
void feedInUnits(ChainHandler* head, const char* data, int n);

#endif
