#ifndef PROGRESSDIALOGIMPL_H
#define PROGRESSDIALOGIMPL_H

#include "forms.h"
#include "capture/stathandler.h"

class QCloseEvent;
class QLabel;

// The run's counters, one row of caption and value per statistic, and the Stop button. It
// cannot be dismissed: the run ends through Stop and the window hides it afterwards.
class ProgressDialogImpl : public ProgressDialog
{
    Q_OBJECT
public:
    static constexpr int RowCount = 6; // index 0 unused, as in StatHandler

    explicit ProgressDialogImpl(QWidget* parent = nullptr, const char* name = nullptr,
                                bool modal = false, Qt::WindowFlags f = {});

    QLabel* labels[RowCount];
    QLabel* values[RowCount];
    QString names[RowCount];

public slots:
    void setText(StatHandler::StatType type, const QString& msg);
    void reset();
    // Escape would otherwise hide the dialog behind a running capture.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;
};

#endif
