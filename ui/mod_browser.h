#pragma once

#include <QString>
#include <QUrl>

namespace modBrowser {

// The address as the browser must receive it: already encoded, so that an
// escape such as %2B stays as it is.
QUrl toUrl(const QString& address);

// Hands the address to the user's default web browser. The outcome is not
// examined: if nothing can open it, nothing happens.
void OpenURL(const QString& address);

} // namespace modBrowser
