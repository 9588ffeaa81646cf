#include "koitextbrowser.h"

#include <QStringDecoder>

KoiTextBrowser::KoiTextBrowser(QWidget* parent) : QTextBrowser(parent) {}

QVariant KoiTextBrowser::loadResource(int type, const QUrl& name)
{
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (type == QTextDocument::ImageResource || type == QTextDocument::StyleSheetResource)
        return resource;
    if (resource.userType() != QMetaType::QByteArray ||
        !name.path().endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        return resource;
    // Handing back text keeps the browser from guessing the encoding from the page.
    QStringDecoder koi8r("KOI8-R");
    return QVariant(QString(koi8r.decode(resource.toByteArray())));
}
