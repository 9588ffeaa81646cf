#include "acquisition/runsettings.h"

#include "acquisition/tracetypes.h"

#include <QCoreApplication>

bool readTimeslot(const QString& text, unsigned char* timeslot)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value > 31)
        return false;
    *timeslot = static_cast<unsigned char>(value);
    return true;
}

bool readMinPacketLength(const QString& text, unsigned short* length)
{
    bool ok = false;
    const qulonglong value = text.toULong(&ok, 10);
    if (length)
        *length = ok ? static_cast<unsigned short>(value & 0xFFFF) : 0;
    return ok;
}

QString optionProblem(const TraceType& type, const QString& fileName, const QString& syncFileName,
                      const QString& minPacketLengthText)
{
    if (type.writesSyncFile) {
        if (fileName.isEmpty())
            return QCoreApplication::translate("VarodariDoro", "RX file name isn't specified");
        if (syncFileName.isEmpty())
            return QCoreApplication::translate("VarodariDoro", "Sync file name isn't specified");
    }
    if (type.usesMinLength && !readMinPacketLength(minPacketLengthText, nullptr))
        return QCoreApplication::translate("VarodariDoro", "Wrong min. packet length");
    return QString();
}
