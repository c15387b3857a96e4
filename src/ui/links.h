#pragma once

#include <QString>
#include <QUrl>
#include <functional>

#include "ui/maker_address.h"

namespace velmora::ui {

// The maker's web site, scheme and host, as the build was configured (VELMORA_MAKER_URL).
inline constexpr const char* kMakerWebSite = VELMORA_MAKER_URL;
// The maker's mail address, as the build was configured (VELMORA_MAKER_MAIL).
inline constexpr const char* kMakerMailAddress = VELMORA_MAKER_MAIL;
// The software's product code, named in the web page's query.
inline constexpr const char* kProductCode = "QS48203";

// The maker's web page: the site's "/HOME/default.asp?frompg=QS48203".
QUrl makerPageUrl();
// The web address shown in the link labels: the site's host.
QString makerWebAddress();
// A new mail to the maker's address.
QUrl makerMailUrl();

// Asks the desktop to open an address with its default handler. Windows take one so that
// tests can record the address instead.
using UrlOpener = std::function<void(const QUrl&)>;
// The desktop's handler; a failure to open is not reported.
UrlOpener desktopUrlOpener();

}  // namespace velmora::ui
