#ifndef LAPDHEADER_H
#define LAPDHEADER_H

#include <QtGlobal>

// The 16-byte header that link type LINUX_LAPD puts before every LAPD frame, in the layout of
// Linux's cooked capture, its fields big-endian: packet type, hardware type ARPHRD_LAPD, address
// length, an 8-byte address whose first byte says whether the capturing side is the network, and
// protocol ETH_P_LAPD.
//
// The receiver taps the line as the user side: RX, the network side's frames (the I4B writer's
// network to user), arrives as "sent to us", and Sync, the user side's frames, as "sent by us".
// With "we network" cleared, Wireshark then shows RX as network to user and Sync as user to
// network and reads each frame's C/R bit as the sender's commands and responses.
namespace LapdHeader {
constexpr unsigned short LinkType = 177;
constexpr int Size = 16;
constexpr quint16 SentToUs = 0;
constexpr quint16 SentByUs = 4;
constexpr quint16 HardwareType = 8445; // ARPHRD_LAPD
constexpr quint16 Protocol = 0x0030;   // ETH_P_LAPD

// Whether frames of linkType carry the header.
inline bool usedBy(unsigned short linkType)
{
    return linkType == LinkType;
}

// Writes the header of a frame of channel (0 RX, else Sync) at at.
void put(char* at, int channel);
} // namespace LapdHeader

#endif
