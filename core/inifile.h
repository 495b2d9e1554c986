#pragma once

#include <QByteArray>
#include <QString>

namespace common {

/// The text of a control file: UTF-8 when the bytes are valid UTF-8 (a byte order mark is dropped),
/// Windows-1252 otherwise.
QString DecodeControlFile(const QByteArray &bytes);

/// The value of key in section of a control file's text, read like a Windows profile: section and key names without
/// regard to case, the first matching section and key win, blanks around the value and one pair of
/// enclosing quotes dropped, at most 32,766 characters. defaultValue when there is no such entry.
QString ReadIniString(const QString &section, const QString &key, const QString &defaultValue, const QString &iniText);

/// The number at the start of a text: blanks, tabs and line feeds anywhere are ignored, then an optional
/// sign, digits with a decimal point and an exponent, or &H hexadecimal or &O octal digits; 0 when none.
double LeadingNumber(const QString &text);

} // namespace common
