#ifndef LOOPBACKHANDLER_H
#define LOOPBACKHANDLER_H

#include "capture/chainhandler.h"
#include "device/networkadapters.h"

#include <functional>

struct pcap;

// Sends every frame of both channels, as it arrives, out of the loopback adapter (the one whose
// hardware address begins 02 00 4C 4F 4F 50) through libpcap, so that an analyser listening
// there sees the traffic live. The adapter is looked up, recorded in a settings store of its own
// and opened when the first frame arrives. Any failure is reported once and ends sending for
// the rest of the run.
class LoopbackHandler : public ChainHandler
{
public:
    // Fills the list of adapters to search; false when the list cannot be read.
    using AdapterSource = std::function<bool(QList<NetworkAdapter>&)>;

    // The store the capture driver's side reads: user scope, outside the program's own settings.
    static constexpr const char* SettingsOrganisation = "vezive";
    static constexpr const char* SettingsApplication = "loopback";
    static constexpr const char* SettingsGroup = "WinPcap";
    static constexpr const char* DevicePrefix = "\\Device\\NPF_";
    static constexpr int SnapshotLength = 300;
    static constexpr int ReadTimeoutMs = 1000;
    // Added to the "Bytes" counter per frame on top of its length.
    static constexpr int ByteOverhead = 160;

    // adapters replaces the system's adapter list when given.
    LoopbackHandler(unsigned short linkType, unsigned short minPacketLength,
                    AdapterSource adapters = AdapterSource());
    ~LoopbackHandler() override;
    void process(QByteArray& data, int len) override;

    static QByteArray adapterAddress();
    // The loopback adapter's name, or empty when the list holds none.
    static QByteArray findAdapter(const QList<NetworkAdapter>& adapters);
    static QByteArray deviceName(const QByteArray& adapterName);

private:
    bool open();
    bool updateSettings(const QByteArray& device);
    void disable(const QString& error);

    unsigned short m_linkType;
    unsigned short m_minPacketLength;
    AdapterSource m_adapters;
    bool m_enabled;
    bool m_opened;
    pcap* m_handle;
};

#endif
