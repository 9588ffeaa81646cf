#include "acquisition/runsettings.h"

#include "acquisition/tracetypes.h"
#include "device/outputfile.h"

#include <QCoreApplication>

namespace {

QString windowText(const char* text)
{
    return QCoreApplication::translate("VarodariDoro", text);
}

} // namespace

bool readTimeslot(const QString& text, unsigned char* timeslot)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value > 31)
        return false;
    *timeslot = static_cast<unsigned char>(value);
    return true;
}

bool readMinPacketLength(const QString& text, unsigned short* length, bool* outOfRange)
{
    bool number = false;
    const qulonglong value = text.toULongLong(&number, 10);
    const bool ok = number && value <= MaxMinPacketLength;
    if (length)
        *length = ok ? static_cast<unsigned short>(value) : 0;
    if (outOfRange)
        *outOfRange = number && !ok;
    return ok;
}

QString optionProblem(const TraceType& type, const QString& fileName, const QString& syncFileName,
                      const QString& minPacketLengthText)
{
    if (type.writesSyncFile) {
        if (fileName.isEmpty())
            return windowText(QT_TRANSLATE_NOOP("VarodariDoro", "RX file name isn't specified"));
        if (syncFileName.isEmpty())
            return windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Sync file name isn't specified"));
    }
    bool outOfRange = false;
    if (type.usesMinLength && !readMinPacketLength(minPacketLengthText, nullptr, &outOfRange)) {
        return outOfRange
                   ? windowText(QT_TRANSLATE_NOOP("VarodariDoro",
                                                  "Min. packet length must be from 0 to 65535"))
                   : windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Wrong min. packet length"));
    }
    if (type.writesFile && fileName.isEmpty())
        return windowText(QT_TRANSLATE_NOOP("VarodariDoro", "File name isn't specified"));
    return QString();
}

QString fileClash(const RunSettings& run)
{
    const TraceType* type = traceType(run.traceType);
    struct Role
    {
        QString what;
        QString name;
    };
    QList<Role> roles;
    if (run.sourceType == RunSettings::FileSource)
        roles.append(
            {windowText(QT_TRANSLATE_NOOP("VarodariDoro", "input file")), run.inputFileName});
    else
        roles.append({windowText(QT_TRANSLATE_NOOP("VarodariDoro", "port")), run.portName});
    if (type && type->writesFile)
        roles.append({type->writesSyncFile
                          ? windowText(QT_TRANSLATE_NOOP("VarodariDoro", "RX file"))
                          : windowText(QT_TRANSLATE_NOOP("VarodariDoro", "trace file")),
                      run.outputFileName});
    if (type && type->writesSyncFile)
        roles.append(
            {windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Sync file")), run.syncFileName});
    for (qsizetype i = 0; i < roles.size(); ++i) {
        for (qsizetype j = i + 1; j < roles.size(); ++j) {
            if (isSameFile(roles[i].name, roles[j].name))
                return windowText(QT_TRANSLATE_NOOP("VarodariDoro",
                                                    "The %1 and the %2 are the same file: %3"))
                    .arg(roles[j].what, roles[i].what, roles[j].name);
        }
    }
    return QString();
}
