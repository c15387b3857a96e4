#include "ui/links.h"

#include <QDesktopServices>

namespace velmora::ui {

QUrl makerPageUrl() {
    return QUrl(QStringLiteral("%1/HOME/default.asp?frompg=%2")
                    .arg(QLatin1String(kMakerWebSite), QLatin1String(kProductCode)));
}

QString makerWebAddress() { return QUrl(QLatin1String(kMakerWebSite)).host(); }

QUrl makerMailUrl() { return QUrl(QStringLiteral("mailto:") + QLatin1String(kMakerMailAddress)); }

UrlOpener desktopUrlOpener() {
    return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

}  // namespace velmora::ui
