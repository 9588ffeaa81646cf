#include "device/networkadapters.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

QList<NetworkAdapter> networkAdapters(bool* ok)
{
    QList<NetworkAdapter> adapters;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        if (ok)
            *ok = false;
        return adapters;
    }
    // Every interface has exactly one AF_PACKET entry, which carries its link-layer address.
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        adapters.append(
            {QByteArray(entry->ifa_name),
             QByteArray(reinterpret_cast<const char*>(link->sll_addr), int(link->sll_halen))});
    }
    freeifaddrs(list);
    if (ok)
        *ok = true;
    return adapters;
}

QByteArray findAdapterByAddress(const QList<NetworkAdapter>& adapters, const QByteArray& prefix)
{
    for (const NetworkAdapter& adapter : adapters) {
        if (adapter.hardwareAddress.startsWith(prefix))
            return adapter.name;
    }
    return QByteArray();
}

bool enterNetworkNamespace(const QString& name, QString* errorText)
{
    const QByteArray path = "/run/netns/" + name.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (errorText)
            *errorText = QString::fromLocal8Bit(path) + QLatin1Char(':') +
                         QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    ::close(fd);
    return true;
}
