#include "tsharkreader.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {
const QString Tshark = QStringLiteral("/usr/bin/tshark");
}

TsharkRead readWithTshark(const QString& path)
{
    TsharkRead result;
    if (!QFileInfo(Tshark).isExecutable()) {
        result.error = Tshark + QStringLiteral(" is missing; scripts/setup installs it");
        return result;
    }
    QProcess tshark;
    tshark.start(Tshark, {QStringLiteral("-r"), path, QStringLiteral("-T"), QStringLiteral("json"),
                          QStringLiteral("-x"), QStringLiteral("-J"), QStringLiteral("frame")});
    tshark.waitForFinished(-1);
    // tshark warns on stderr when run as root; only a failure makes it matter.
    const QByteArray errors = tshark.readAllStandardError();
    if (tshark.exitStatus() != QProcess::NormalExit || tshark.exitCode() != 0) {
        result.error = QStringLiteral("tshark failed: ") + QString::fromLocal8Bit(errors);
        return result;
    }
    QJsonParseError parseError{};
    const QJsonArray packets =
        QJsonDocument::fromJson(tshark.readAllStandardOutput(), &parseError).array();
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("tshark output: ") + parseError.errorString();
        return result;
    }
    for (const QJsonValue& packet : packets) {
        const QJsonObject layers =
            packet[QLatin1String("_source")][QLatin1String("layers")].toObject();
        const QJsonObject frame = layers[QLatin1String("frame")].toObject();
        TsharkFrame out;
        out.length = frame[QLatin1String("frame.len")].toString().toInt();
        out.capturedLength = frame[QLatin1String("frame.cap_len")].toString().toInt();
        const QJsonValue direction = frame[QLatin1String("frame.p2p_dir")];
        out.direction = direction.isUndefined() ? -1 : direction.toString().toInt();
        out.epochTime = frame[QLatin1String("frame.time_epoch")].toString();
        const QJsonObject interface = frame[QLatin1String("frame.interface_id_tree")].toObject();
        if (!interface.isEmpty())
            out.interface = interface[QLatin1String("frame.interface_name")].toString() + ": " +
                            interface[QLatin1String("frame.interface_description")].toString();
        const QJsonValue flags = frame[QLatin1String("frame.packet_flags_tree")]
                                      [QLatin1String("frame.packet_flags_direction")];
        if (!flags.isUndefined())
            out.flagsDirection = flags.toString().toInt(nullptr, 16);
        out.bytes =
            QByteArray::fromHex(layers[QLatin1String("frame_raw")][0].toString().toLatin1());
        result.encapsulation = frame[QLatin1String("frame.encap_type")].toString();
        result.frames.append(out);
    }
    result.ok = true;
    return result;
}

qint64 microsecondsOf(const QString& fraction)
{
    QString digits = fraction;
    while (digits.size() > 6 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    if (digits.size() > 6)
        return -1;
    return digits.leftJustified(6, QLatin1Char('0')).toLongLong();
}
