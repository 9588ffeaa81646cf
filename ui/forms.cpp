#include "forms.h"

#include <QUrl>

namespace {

// Builds a form's tree and texts, then gives it at least the room its contents need.
template <class Form> void buildForm(Form* form, const char* name)
{
    if (name)
        form->setObjectName(QString::fromLatin1(name));
    form->setupUi(form);
    form->languageChange();
    form->resize(form->size().expandedTo(form->minimumSizeHint()));
}

} // namespace

sereaderWidget::sereaderWidget(QWidget* parent, const char* name, Qt::WindowFlags f)
    : QWidget(parent, f)
{
    buildForm(this, name);
    // The group boxes keep their rows at the top; a .ui item cannot align a nested layout.
    GroupBox1Layout->setAlignment(Qt::AlignTop);
    GroupBox3Layout->setAlignment(Qt::AlignTop);
    GroupBox8Layout->setAlignment(Qt::AlignTop);
}

void sereaderWidget::languageChange()
{
    retranslateUi(this);
    // Refilled lists start at their first item.
    source->setCurrentIndex(0);
    dataType->setCurrentIndex(0);
}

PortWidget::PortWidget(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
    portName = portList->lineEdit();
    portName->setObjectName(QStringLiteral("portName"));
}

void PortWidget::languageChange()
{
    retranslateUi(this);
}

FileWidget::FileWidget(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void FileWidget::languageChange()
{
    retranslateUi(this);
}

RawFrame::RawFrame(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void RawFrame::languageChange()
{
    retranslateUi(this);
}

PcapFrame::PcapFrame(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void PcapFrame::languageChange()
{
    retranslateUi(this);
}

Toshiba::Toshiba(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void Toshiba::languageChange()
{
    retranslateUi(this);
}

I4b::I4b(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void I4b::languageChange()
{
    retranslateUi(this);
}

I7::I7(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void I7::languageChange()
{
    retranslateUi(this);
}

LoopbackFrame::LoopbackFrame(QWidget* parent, const char* name, Qt::WindowFlags f)
    : QWidget(parent, f)
{
    buildForm(this, name);
}

void LoopbackFrame::languageChange()
{
    retranslateUi(this);
}

ProgressDialog::ProgressDialog(QWidget* parent, const char* name, bool modal, Qt::WindowFlags f)
    : QDialog(parent, f)
{
    setModal(modal);
    buildForm(this, name);
}

void ProgressDialog::languageChange()
{
    retranslateUi(this);
}

helpWidget::helpWidget(QWidget* parent, const char* name, Qt::WindowFlags f) : QWidget(parent, f)
{
    buildForm(this, name);
}

void helpWidget::languageChange()
{
    retranslateUi(this);
    textBrowser->setText(QString());
    textBrowser->setSource(QUrl());
}
