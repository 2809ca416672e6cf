#pragma once

// Stands in for the desktop's browser while alive: Qt hands it every address
// of the scheme instead of starting a program.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    explicit UrlCatcher(const QString &scheme) : scheme(scheme)
    {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme); }

    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }

private:
    const QString scheme;
};
