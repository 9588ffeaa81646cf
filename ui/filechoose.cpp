#include "filechoose.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

FileChoose::FileChoose(QWidget* parent, const char* name, Qt::WindowFlags f)
    : QWidget(parent, f), m_mode(Save)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    m_lineEdit = new QLineEdit(this);
    m_lineEdit->setObjectName(QStringLiteral("lineEdit"));
    box->addWidget(m_lineEdit);
    m_button = new QPushButton(QStringLiteral("..."), this);
    m_button->setObjectName(QStringLiteral("button"));
    box->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, &FileChoose::buttonClicked);
}

void FileChoose::buttonClicked()
{
    // "*.*" would hide every name without a dot, such as a stream file called "capture".
    QString name;
    if (m_mode == Open)
        name = QFileDialog::getOpenFileName(this, tr("Choose a filename to open"),
                                            m_lineEdit->text(), tr("any (*)"));
    else if (m_mode == Save)
        name = QFileDialog::getSaveFileName(this, tr("Choose a filename to save under"),
                                            m_lineEdit->text(), tr("any (*)"));
    else
        return;
    if (!name.isEmpty())
        m_lineEdit->setText(name);
}
