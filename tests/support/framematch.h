#ifndef FRAMEMATCH_H
#define FRAMEMATCH_H

#include <QByteArray>
#include <QList>
#include <QString>

// The frames of the two channels, in order within each.
struct ChannelFrames
{
    QList<QByteArray> rx;
    QList<QByteArray> sync;
    int total() const { return int(rx.size() + sync.size()); }

    // The simulator's --sent log: "rx HEX" and "sync HEX" lines. Any other line is kept as an
    // RX frame that no receiver delivers, so a comparison fails on it.
    static ChannelFrames fromSentLog(const QString& path);
};

// Whether merged is some interleaving of a and b that keeps the order within each; with
// prefixes, of the first frames of a and b (what a receiver holds when the line went away).
// A trace without direction holds both channels so.
bool isInterleaving(const QList<QByteArray>& merged, const QList<QByteArray>& a,
                    const QList<QByteArray>& b, bool prefixes = false);

#endif
