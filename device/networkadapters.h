#ifndef NETWORKADAPTERS_H
#define NETWORKADAPTERS_H

#include <QByteArray>
#include <QList>
#include <QString>

// One network adapter as the system lists it.
struct NetworkAdapter
{
    QByteArray name;            // the interface name, as the system spells it
    QByteArray hardwareAddress; // every byte of the link-layer address, none for adapters without
};

// The system's adapters in the system's order. ok, if given, is false when the list cannot be
// read; the list is then empty.
QList<NetworkAdapter> networkAdapters(bool* ok = nullptr);

// The name of the first adapter whose hardware address is at least as long as prefix and begins
// with it; empty when none does.
QByteArray findAdapterByAddress(const QList<NetworkAdapter>& adapters, const QByteArray& prefix);

// Moves the calling thread (only it) into the network namespace that `ip netns add name` made,
// so that the adapters, sockets and capture handles it opens from then on are those of that
// namespace. False with errorText set when the namespace cannot be entered.
bool enterNetworkNamespace(const QString& name, QString* errorText);

#endif
