#ifndef FORMS_H
#define FORMS_H

#include "ui_filewidget.h"
#include "ui_helpwidget.h"
#include "ui_i4b.h"
#include "ui_i7.h"
#include "ui_loopbackframe.h"
#include "ui_pcapframe.h"
#include "ui_portwidget.h"
#include "ui_progressdialog.h"
#include "ui_rawframe.h"
#include "ui_sereaderwidget.h"
#include "ui_toshiba.h"

#include <QDialog>
#include <QWidget>

// The program's forms. Each builds its widget tree from its .ui file; the widget pointers are
// public members named as the controllers use them. A form without an object name takes its
// class name. languageChange() re-applies every text in the form's own translation context.

class sereaderWidget : public QWidget, public Ui::sereaderWidget
{
    Q_OBJECT
public:
    explicit sereaderWidget(QWidget* parent = nullptr, const char* name = nullptr,
                            Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class PortWidget : public QWidget, public Ui::PortWidget
{
    Q_OBJECT
public:
    explicit PortWidget(QWidget* parent = nullptr, const char* name = nullptr,
                        Qt::WindowFlags f = {});
    // The port name as typed or picked from portList, which offers the serial devices present.
    QLineEdit* portName;
public slots:
    virtual void languageChange();
};

class FileWidget : public QWidget, public Ui::FileWidget
{
    Q_OBJECT
public:
    explicit FileWidget(QWidget* parent = nullptr, const char* name = nullptr,
                        Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class RawFrame : public QWidget, public Ui::RawFrame
{
    Q_OBJECT
public:
    explicit RawFrame(QWidget* parent = nullptr, const char* name = nullptr,
                      Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class PcapFrame : public QWidget, public Ui::PcapFrame
{
    Q_OBJECT
public:
    explicit PcapFrame(QWidget* parent = nullptr, const char* name = nullptr,
                       Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class Toshiba : public QWidget, public Ui::Toshiba
{
    Q_OBJECT
public:
    explicit Toshiba(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class I4b : public QWidget, public Ui::I4b
{
    Q_OBJECT
public:
    explicit I4b(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class I7 : public QWidget, public Ui::I7
{
    Q_OBJECT
public:
    explicit I7(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class LoopbackFrame : public QWidget, public Ui::LoopbackFrame
{
    Q_OBJECT
public:
    explicit LoopbackFrame(QWidget* parent = nullptr, const char* name = nullptr,
                           Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class ProgressDialog : public QDialog, public Ui::ProgressDialog
{
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* parent = nullptr, const char* name = nullptr,
                            bool modal = false, Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

class helpWidget : public QWidget, public Ui::helpWidget
{
    Q_OBJECT
public:
    explicit helpWidget(QWidget* parent = nullptr, const char* name = nullptr,
                        Qt::WindowFlags f = {});
public slots:
    virtual void languageChange();
};

#endif
