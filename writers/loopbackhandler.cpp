#include "writers/loopbackhandler.h"

#include "capture/stathandler.h"

#include <pcap/pcap.h>
#include <QObject>
#include <QSettings>

namespace {

constexpr int ErrorBufferSize = 300;
static_assert(ErrorBufferSize >= PCAP_ERRBUF_SIZE, "libpcap writes up to PCAP_ERRBUF_SIZE");

bool readSystemAdapters(QList<NetworkAdapter>& adapters)
{
    bool ok = false;
    adapters = networkAdapters(&ok);
    return ok;
}

} // namespace

LoopbackHandler::LoopbackHandler(unsigned short linkType, unsigned short minPacketLength,
                                 AdapterSource adapters)
    : m_linkType(linkType), m_minPacketLength(minPacketLength),
      m_adapters(adapters ? std::move(adapters) : AdapterSource(readSystemAdapters)),
      m_enabled(true), m_opened(false), m_handle(nullptr)
{}

LoopbackHandler::~LoopbackHandler()
{
    if (m_handle)
        pcap_close(m_handle);
}

QByteArray LoopbackHandler::adapterAddress()
{
    // The last four bytes spell "LOOP".
    return QByteArray::fromHex("02004c4f4f50");
}

QByteArray LoopbackHandler::findAdapter(const QList<NetworkAdapter>& adapters)
{
    return findAdapterByAddress(adapters, adapterAddress());
}

QByteArray LoopbackHandler::deviceName(const QByteArray& adapterName)
{
    return QByteArray(DevicePrefix) + adapterName;
}

void LoopbackHandler::process(QByteArray& data, int len)
{
    if (!m_enabled || len <= 0)
        return;
    // The first frame opens the adapter whatever its length.
    if (!m_opened && !open())
        return;
    const unsigned frameLength = unsigned(len - 1);
    if (frameLength < m_minPacketLength)
        return;

    // The channel tag stays behind: both channels go out alike.
    const auto* frame = reinterpret_cast<const u_char*>(data.constData() + 1);
    if (pcap_sendpacket(m_handle, frame, int(frameLength)) != 0) {
        // The handle stays open until the element goes.
        disable(QObject::tr("Error while sending packet!"));
        return;
    }
    countStat(StatHandler::Packets);
    addStat(quint64(frameLength) + ByteOverhead, StatHandler::Bytes);
}

bool LoopbackHandler::open()
{
    QList<NetworkAdapter> adapters;
    const QByteArray adapter = m_adapters(adapters) ? findAdapter(adapters) : QByteArray();
    if (adapter.isEmpty()) {
        disable(QObject::tr("Loopback adapter not found!"));
        return false;
    }
    postMessage(QObject::tr("Loopback adapter found!"));
    if (!updateSettings(deviceName(adapter))) {
        disable(QObject::tr("Unable to update registry!"));
        return false;
    }

    // libpcap on Linux knows the adapter by its interface name, not by the recorded device name.
    char errorText[ErrorBufferSize] = {};
    m_handle = pcap_open_live(adapter.constData(), SnapshotLength, 1, ReadTimeoutMs, errorText);
    if (!m_handle) {
        QString text = QString::fromLocal8Bit(errorText);
        if (text.isEmpty())
            text = QObject::tr("Cannot open loopback adapter ") + QString::fromLocal8Bit(adapter);
        disable(text);
        return false;
    }
    m_opened = true;
    return true;
}

bool LoopbackHandler::updateSettings(const QByteArray& device)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QLatin1String(SettingsOrganisation), QLatin1String(SettingsApplication));
    if (!settings.isWritable())
        return false;
    // Each entry is synced on its own so that a failed first write stops before the second.
    settings.beginGroup(QLatin1String(SettingsGroup));
    settings.setValue(QStringLiteral("AdapterName"), QString::fromLocal8Bit(device));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return false;
    settings.setValue(QStringLiteral("LinkType"), int(m_linkType));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return false;
    settings.endGroup();
    return true;
}

void LoopbackHandler::disable(const QString& error)
{
    m_enabled = false;
    m_opened = false;
    postError(error);
}
