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
    QLineEdit* lineEdit() const { return m_lineEdit; }
    QPushButton* button() const { return m_button; }

public slots:
    void buttonClicked();

private:
    QLineEdit* m_lineEdit;
    QPushButton* m_button;
    int m_mode;
};

#endif
