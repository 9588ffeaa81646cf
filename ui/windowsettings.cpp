// The window's options in the settings store: read once as the window is built, written once
// as it is destroyed.

#include "filechoose.h"
#include "panels.h"
#include "receiversettings.h"
#include "varodaridoro.h"

#include <QComboBox>
#include <QLineEdit>
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
    s.setValue(QStringLiteral("rxTS"), rxTimeslot->value());
    s.setValue(QStringLiteral("syncTS"), syncTimeslot->value());
    s.setValue(QStringLiteral("sourceType"), source->currentIndex());
    s.setValue(QStringLiteral("dataType"), dataType->currentIndex());

    s.beginGroup(QStringLiteral("pcap"));
    s.setValue(QStringLiteral("linkType"), pcapPanel->linkType->currentIndex());
    s.setValue(QStringLiteral("fileName"), pcapPanel->fileName->lineEdit()->text());
    s.setValue(QStringLiteral("minPacketLength"), lengthToStore(pcapPanel->minPacketLength));
    s.endGroup();

    s.beginGroup(QStringLiteral("loopback"));
    s.setValue(QStringLiteral("linkType"), loopbackPanel->linkType->currentIndex());
    s.setValue(QStringLiteral("minPacketLength"), lengthToStore(loopbackPanel->minPacketLength));
    s.endGroup();

    s.beginGroup(QStringLiteral("toshiba"));
    s.setValue(QStringLiteral("fileName"), toshibaPanel->fileName->lineEdit()->text());
    s.setValue(QStringLiteral("minPacketLength"), lengthToStore(toshibaPanel->minPacketLength));
    s.endGroup();

    s.beginGroup(QStringLiteral("i4b"));
    s.setValue(QStringLiteral("fileName"), i4bPanel->fileName->lineEdit()->text());
    s.setValue(QStringLiteral("minPacketLength"), lengthToStore(i4bPanel->minPacketLength));
    s.endGroup();

    s.beginGroup(QStringLiteral("i7"));
    s.setValue(QStringLiteral("fileName"), i7Panel->fileName->lineEdit()->text());
    s.setValue(QStringLiteral("minPacketLength"), lengthToStore(i7Panel->minPacketLength));
    s.endGroup();

    s.beginGroup(QStringLiteral("raw"));
    s.setValue(QStringLiteral("rxFileName"), rawPanel->rxFileName->lineEdit()->text());
    s.setValue(QStringLiteral("syncFileName"), rawPanel->syncFileName->lineEdit()->text());
    s.endGroup();

    s.endGroup();
    s.endGroup();
}

void VarodariDoro::loadSettings()
{
    QSettings s(QSettings::NativeFormat, ReceiverSettings::scope(), ReceiverSettings::Organization,
                ReceiverSettings::Application);
    s.beginGroup(QStringLiteral("kzdata"));

    s.beginGroup(QStringLiteral("Geometry"));
    const int top = s.value(QStringLiteral("Y"), y()).toInt();
    const int left = s.value(QStringLiteral("X"), x()).toInt();
    move(left, top);
    const int tall = s.value(QStringLiteral("Height"), height()).toInt();
    const int wide = s.value(QStringLiteral("Width"), width()).toInt();
    resize(wide, tall);
    s.endGroup();

    s.beginGroup(QStringLiteral("Values"));
    restoreText(s, QStringLiteral("Port"), portPanel->portName);
    restoreText(s, QStringLiteral("File"), filePanel->fileChoose->lineEdit());
    rxTimeslot->setValue(s.value(QStringLiteral("rxTS"), 0).toInt());
    syncTimeslot->setValue(s.value(QStringLiteral("syncTS"), 0).toInt());
    restoreIndex(s, QStringLiteral("sourceType"), source);
    restoreIndex(s, QStringLiteral("dataType"), dataType);

    s.beginGroup(QStringLiteral("pcap"));
    restoreIndex(s, QStringLiteral("linkType"), pcapPanel->linkType);
    restoreText(s, QStringLiteral("fileName"), pcapPanel->fileName->lineEdit());
    restoreLength(s, pcapPanel->minPacketLength);
    s.endGroup();

    s.beginGroup(QStringLiteral("loopback"));
    restoreIndex(s, QStringLiteral("linkType"), loopbackPanel->linkType);
    restoreLength(s, loopbackPanel->minPacketLength);
    s.endGroup();

    s.beginGroup(QStringLiteral("toshiba"));
    restoreText(s, QStringLiteral("fileName"), toshibaPanel->fileName->lineEdit());
    restoreLength(s, toshibaPanel->minPacketLength);
    s.endGroup();

    s.beginGroup(QStringLiteral("i4b"));
    restoreText(s, QStringLiteral("fileName"), i4bPanel->fileName->lineEdit());
    restoreLength(s, i4bPanel->minPacketLength);
    s.endGroup();

    s.beginGroup(QStringLiteral("i7"));
    restoreText(s, QStringLiteral("fileName"), i7Panel->fileName->lineEdit());
    restoreLength(s, i7Panel->minPacketLength);
    s.endGroup();

    s.beginGroup(QStringLiteral("raw"));
    restoreText(s, QStringLiteral("rxFileName"), rawPanel->rxFileName->lineEdit());
    restoreText(s, QStringLiteral("syncFileName"), rawPanel->syncFileName->lineEdit());
    s.endGroup();

    s.endGroup();
    s.endGroup();
}
