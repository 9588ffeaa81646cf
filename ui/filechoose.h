#ifndef FILECHOOSE_H
#define FILECHOOSE_H

#include <QWidget>

class QLineEdit;
class QPushButton;

// A file name field with a browse button beside it. The user may type the name or pick it in
// the file dialog, which asks for an existing file (open mode) or a name to save under.
class FileChoose : public QWidget
{
    Q_OBJECT
public:
    enum Mode
    {
        Open = 0,
        Save = 1
    };

    explicit FileChoose(QWidget* parent = nullptr, const char* name = nullptr,
                        Qt::WindowFlags f = {});

    void setMode(int mode) { m_mode = mode; }
    int mode() const { return m_mode; }
    // The file type's own filter, offered before "any", and the extension a name picked under
    // that filter gets when it has none.
    void setFileType(const QString& filter, const QString& extension);
    QLineEdit* lineEdit() const { return m_lineEdit; }
    QPushButton* button() const { return m_button; }

    // Where a dialog for an empty field opens: the directory of the last name picked in any
    // chooser.
    static QString lastDirectory();
    static void setLastDirectory(const QString& directory);

public slots:
    void buttonClicked();

private:
    QString startName() const;

    QLineEdit* m_lineEdit;
    QPushButton* m_button;
    int m_mode;
    QString m_filter;
    QString m_extension;
};

#endif
