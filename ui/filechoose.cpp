#include "filechoose.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

namespace {

QString& lastDirectoryUsed()
{
    static QString directory;
    return directory;
}

} // namespace

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

void FileChoose::setFileType(const QString& filter, const QString& extension)
{
    m_filter = filter;
    m_extension = extension;
}

QString FileChoose::lastDirectory()
{
    return lastDirectoryUsed();
}

void FileChoose::setLastDirectory(const QString& directory)
{
    lastDirectoryUsed() = directory;
}

// A name with a directory of its own opens there; a bare name opens in the last directory.
QString FileChoose::startName() const
{
    const QString text = m_lineEdit->text();
    if (text.contains(QLatin1Char('/')) || lastDirectoryUsed().isEmpty())
        return text;
    return QDir(lastDirectoryUsed()).filePath(text);
}

void FileChoose::buttonClicked()
{
    if (m_mode != Open && m_mode != Save)
        return;
    // "*.*" would hide every name without a dot, such as a stream file called "capture".
    const QString any = tr("any (*)");
    QFileDialog dialog(this,
                       m_mode == Open ? tr("Choose a filename to open")
                                      : tr("Choose a filename to save under"),
                       startName());
    dialog.setNameFilters(m_filter.isEmpty() ? QStringList{any} : QStringList{m_filter, any});
    dialog.setAcceptMode(m_mode == Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(m_mode == Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // Room for every column of the details view, whatever the language of their titles and
    // dates; the name takes what is left.
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 480)));
    if (auto* details = dialog.findChild<QTreeView*>()) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        details->header()->setStretchLastSection(false);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString name = dialog.selectedFiles().constFirst();
    if (name.isEmpty())
        return;
    if (m_mode == Save && dialog.selectedNameFilter() == m_filter && !m_extension.isEmpty() &&
        QFileInfo(name).suffix().isEmpty() && !QFileInfo::exists(name))
        name += QLatin1Char('.') + m_extension;
    lastDirectoryUsed() = QFileInfo(name).absolutePath();
    m_lineEdit->setText(name);
}
