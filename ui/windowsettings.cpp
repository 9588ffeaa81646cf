// The window's options in the settings store: read once as the window is built, written once
// as it is destroyed.

#include "acquisition/tracetypes.h"
#include "filechoose.h"
#include "receiversettings.h"
#include "varodaridoro.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>

namespace {

// Stored as a number although the field holds text; text that is no number is stored as 0.
int lengthToStore(const QLineEdit* field)
{
    return field->text().toInt(nullptr, 10);
}

void restoreLength(const QSettings& settings, QLineEdit* field)
{
    field->setText(QString::number(settings.value(QStringLiteral("minPacketLength"), 0).toInt()));
}

// An index the list does not have leaves the current item alone.
void restoreIndex(const QSettings& settings, const QString& key, QComboBox* combo)
{
    const int index = settings.value(key, 0).toInt();
    if (index >= 0 && index < combo->count())
        combo->setCurrentIndex(index);
}

void restoreText(const QSettings& settings, const QString& key, QLineEdit* field)
{
    field->setText(settings.value(key, QString()).toString());
}

} // namespace

// Raw's two files are kept as rxFileName and syncFileName.
QString VarodariDoro::fileKey(const TraceFields& fields)
{
    return fields.syncFile ? QStringLiteral("rxFileName") : QStringLiteral("fileName");
}

void VarodariDoro::saveSettings()
{
    QSettings s(QSettings::NativeFormat, ReceiverSettings::scope(), ReceiverSettings::Organization,
                ReceiverSettings::Application);
    s.beginGroup(QStringLiteral("kzdata"));

    s.beginGroup(QStringLiteral("Geometry"));
    s.setValue(QStringLiteral("X"), x());
    s.setValue(QStringLiteral("Y"), y());
    s.setValue(QStringLiteral("Width"), width());
    s.setValue(QStringLiteral("Height"), height());
    s.endGroup();

    s.beginGroup(QStringLiteral("Values"));
    s.setValue(QStringLiteral("Port"), portPanel->portName->text());
    s.setValue(QStringLiteral("File"), filePanel->fileChoose->lineEdit()->text());
    if (!FileChoose::lastDirectory().isEmpty())
        s.setValue(QStringLiteral("lastDirectory"), FileChoose::lastDirectory());
    s.setValue(QStringLiteral("rxTS"), rxTimeslot->value());
    s.setValue(QStringLiteral("syncTS"), syncTimeslot->value());
    s.setValue(QStringLiteral("sourceType"), source->currentIndex());
    s.setValue(QStringLiteral("dataType"), dataType->currentIndex());

    // A group per trace type, named as on the command line, with the fields its panel has.
    for (const TraceType& type : traceTypes()) {
        const TraceFields& fields = m_traceFields[type.index];
        s.beginGroup(QLatin1String(type.name));
        if (fields.linkType)
            s.setValue(QStringLiteral("linkType"), fields.linkType->currentIndex());
        if (fields.file)
            s.setValue(fileKey(fields), fields.file->lineEdit()->text());
        if (fields.syncFile)
            s.setValue(QStringLiteral("syncFileName"), fields.syncFile->lineEdit()->text());
        if (fields.minPacketLength)
            s.setValue(QStringLiteral("minPacketLength"), lengthToStore(fields.minPacketLength));
        s.endGroup();
    }

    s.endGroup();
    s.endGroup();
}

void VarodariDoro::loadSettings()
{
    QSettings s(QSettings::NativeFormat, ReceiverSettings::scope(), ReceiverSettings::Organization,
                ReceiverSettings::Application);
    s.beginGroup(QStringLiteral("kzdata"));

    s.beginGroup(QStringLiteral("Geometry"));
    const int tall = s.value(QStringLiteral("Height"), height()).toInt();
    const int wide = s.value(QStringLiteral("Width"), width()).toInt();
    resize(wide, tall);
    // On a first start the window comes up in the middle of the screen, not in its corner.
    QPoint centred = pos();
    if (const QScreen* screen = this->screen())
        centred = screen->availableGeometry().center() - QPoint(wide / 2, tall / 2);
    const int top = s.value(QStringLiteral("Y"), centred.y()).toInt();
    const int left = s.value(QStringLiteral("X"), centred.x()).toInt();
    move(left, top);
    s.endGroup();

    s.beginGroup(QStringLiteral("Values"));
    restoreText(s, QStringLiteral("Port"), portPanel->portName);
    restoreText(s, QStringLiteral("File"), filePanel->fileChoose->lineEdit());
    FileChoose::setLastDirectory(s.value(QStringLiteral("lastDirectory")).toString());
    rxTimeslot->setValue(s.value(QStringLiteral("rxTS"), 0).toInt());
    syncTimeslot->setValue(s.value(QStringLiteral("syncTS"), 0).toInt());
    restoreIndex(s, QStringLiteral("sourceType"), source);
    restoreIndex(s, QStringLiteral("dataType"), dataType);

    for (const TraceType& type : traceTypes()) {
        const TraceFields& fields = m_traceFields[type.index];
        s.beginGroup(QLatin1String(type.name));
        if (fields.linkType)
            restoreIndex(s, QStringLiteral("linkType"), fields.linkType);
        if (fields.file)
            restoreText(s, fileKey(fields), fields.file->lineEdit());
        if (fields.syncFile)
            restoreText(s, QStringLiteral("syncFileName"), fields.syncFile->lineEdit());
        if (fields.minPacketLength)
            restoreLength(s, fields.minPacketLength);
        s.endGroup();
    }

    s.endGroup();
    s.endGroup();
}
