#include "app/ProjectState.h"

#include <QCryptographicHash>
#include <QFile>
#include <QXmlStreamReader>

QByteArray ProjectContentHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            hash.addData(QByteArrayView("<"));
            hash.addData(xml.name().toUtf8());
            for (const QXmlStreamAttribute& a : xml.attributes()) {
                hash.addData(QByteArrayView(" "));
                hash.addData(a.name().toUtf8());
                hash.addData(QByteArrayView("="));
                hash.addData(a.value().toUtf8());
            }
            hash.addData(QByteArrayView(">"));
            break;
        case QXmlStreamReader::EndElement:
            hash.addData(QByteArrayView("</>"));
            break;
        case QXmlStreamReader::Characters:
            if (!xml.isWhitespace()) {
                hash.addData(QByteArrayView("\""));
                hash.addData(xml.text().toUtf8());
            }
            break;
        default:
            break;
        }
    }
    // A file that does not read is never taken for the saved one.
    if (xml.hasError())
        return {};
    return hash.result();
}
