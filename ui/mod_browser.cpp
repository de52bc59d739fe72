#include "mod_browser.h"

#include <QDesktopServices>

namespace modBrowser {

QUrl toUrl(const QString& address)
{
    return QUrl::fromEncoded(address.toUtf8(), QUrl::StrictMode);
}

void OpenURL(const QString& address)
{
    (void)QDesktopServices::openUrl(toUrl(address));
}

} // namespace modBrowser
