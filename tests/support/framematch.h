#ifndef FRAMEMATCH_H
#define FRAMEMATCH_H

#include <QByteArray>
#include <QList>

// Whether merged is some interleaving of a and b that keeps the order within each; with
// prefixes, of the first frames of a and b (what a receiver holds when the line went away).
// A trace without direction holds both channels so.
bool isInterleaving(const QList<QByteArray>& merged, const QList<QByteArray>& a,
                    const QList<QByteArray>& b, bool prefixes = false);

#endif
