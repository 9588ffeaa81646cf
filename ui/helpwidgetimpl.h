#ifndef HELPWIDGETIMPL_H
#define HELPWIDGETIMPL_H

#include "forms.h"

// The help window: the manual's pages in a browser of their own, apart from the main window.
class helpwidgetImpl : public helpWidget
{
    Q_OBJECT
public:
    explicit helpwidgetImpl(QWidget* parent = nullptr, const char* name = nullptr,
                            Qt::WindowFlags f = {})
        : helpWidget(parent, name, f)
    {}
};

#endif
