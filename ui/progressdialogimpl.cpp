#include "progressdialogimpl.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>

ProgressDialogImpl::ProgressDialogImpl(QWidget* parent, const char* name, bool modal,
                                       Qt::WindowFlags f)
    : ProgressDialog(parent, name, modal, f)
{
    names[0] = QString();
    names[StatHandler::Packets] = QObject::tr("Packets");
    names[StatHandler::Bytes] = QObject::tr("Bytes");
    names[StatHandler::ErroredLength] = QObject::tr("Errored length");
    names[StatHandler::BadCrc] = QObject::tr("Bad CRC");
    names[StatHandler::TooLarge] = QObject::tr("Too large");

    labels[0] = nullptr;
    values[0] = nullptr;
    auto* grid = new QGridLayout(statFrame);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = StatHandler::Packets; i < RowCount; ++i) {
        labels[i] = new QLabel(statFrame);
        labels[i]->setText(names[i]);
        values[i] = new QLabel(statFrame);
        values[i]->setAlignment(Qt::AlignRight);
        grid->addWidget(labels[i], i - 1, 0);
        grid->addWidget(values[i], i - 1, 1);
    }
}

void ProgressDialogImpl::setText(StatHandler::StatType type, const QString& msg)
{
    if (type >= StatHandler::Packets && type < RowCount)
        values[type]->setText(msg);
}

void ProgressDialogImpl::reset()
{
    for (int i = StatHandler::Packets; i < RowCount; ++i)
        values[i]->setText(QString());
}

void ProgressDialogImpl::reject() {}

void ProgressDialogImpl::closeEvent(QCloseEvent* e)
{
    e->ignore();
}
