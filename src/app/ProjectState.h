// Whether a project is back where it was saved: what its file says, apart
// from how it is written (an edit writes an empty element as <Demo/> where
// the recording wrote <Demo></Demo>).
#pragma once

#include <QByteArray>
#include <QString>

// A hash of the elements, attributes and texts of the XML file at path;
// spacing between elements, the declaration and the form of an empty
// element do not count. Empty when the file cannot be read or is not XML.
QByteArray ProjectContentHash(const QString& path);
