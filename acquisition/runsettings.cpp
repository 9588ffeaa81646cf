#include "acquisition/runsettings.h"

#include "acquisition/tracetypes.h"
#include "device/outputfile.h"

#include <QCoreApplication>
#include <QFileInfo>

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

OptionProblem optionProblem(const TraceType& type, const QString& fileName,
                            const QString& syncFileName, const QString& minPacketLengthText)
{
    using F = OptionProblem;
    if (type.writesSyncFile) {
        if (fileName.isEmpty())
            return {F::OutputFile,
                    windowText(QT_TRANSLATE_NOOP("VarodariDoro", "RX file name isn't specified"))};
        if (syncFileName.isEmpty())
            return {F::SyncFile, windowText(QT_TRANSLATE_NOOP("VarodariDoro",
                                                              "Sync file name isn't specified"))};
    }
    bool outOfRange = false;
    if (type.usesMinLength && !readMinPacketLength(minPacketLengthText, nullptr, &outOfRange)) {
        return {F::MinPacketLength,
                outOfRange
                    ? windowText(QT_TRANSLATE_NOOP("VarodariDoro",
                                                   "Min. packet length must be from 0 to 65535"))
                    : windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Wrong min. packet length"))};
    }
    if (type.writesFile && fileName.isEmpty())
        return {F::OutputFile,
                windowText(QT_TRANSLATE_NOOP("VarodariDoro", "File name isn't specified"))};
    return {};
}

OptionProblem inputProblem(const RunSettings& run)
{
    if (run.sourceType != RunSettings::FileSource)
        return {};
    if (run.inputFileName.isEmpty())
        return {OptionProblem::InputFile,
                windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Replay file name isn't specified"))};
    if (!QFileInfo::exists(run.inputFileName))
        return {OptionProblem::InputFile,
                windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Replay file doesn't exist: %1"))
                    .arg(run.inputFileName)};
    return {};
}

OptionProblem fileClash(const RunSettings& run)
{
    const TraceType* type = traceType(run.traceType);
    struct Role
    {
        QString what;
        QString name;
        OptionProblem::Field field;
    };
    QList<Role> roles;
    if (run.sourceType == RunSettings::FileSource)
        roles.append({windowText(QT_TRANSLATE_NOOP("VarodariDoro", "input file")),
                      run.inputFileName, OptionProblem::InputFile});
    else
        roles.append({windowText(QT_TRANSLATE_NOOP("VarodariDoro", "port")), run.portName,
                      OptionProblem::NoField});
    if (type && type->writesFile)
        roles.append({type->writesSyncFile
                          ? windowText(QT_TRANSLATE_NOOP("VarodariDoro", "RX file"))
                          : windowText(QT_TRANSLATE_NOOP("VarodariDoro", "trace file")),
                      run.outputFileName, OptionProblem::OutputFile});
    if (type && type->writesSyncFile)
        roles.append({windowText(QT_TRANSLATE_NOOP("VarodariDoro", "Sync file")), run.syncFileName,
                      OptionProblem::SyncFile});
    for (qsizetype i = 0; i < roles.size(); ++i) {
        for (qsizetype j = i + 1; j < roles.size(); ++j) {
            if (isSameFile(roles[i].name, roles[j].name))
                return {roles[j].field,
                        windowText(QT_TRANSLATE_NOOP("VarodariDoro",
                                                     "The %1 and the %2 are the same file: %3"))
                            .arg(roles[j].what, roles[i].what, roles[j].name)};
        }
    }
    return {};
}
