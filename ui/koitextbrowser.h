#ifndef KOITEXTBROWSER_H
#define KOITEXTBROWSER_H

#include <QTextBrowser>

// A rich-text browser whose .html pages are KOI8-R text, charset tag or not: the manual is
// written in that encoding.
class KoiTextBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit KoiTextBrowser(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;
};

#endif
