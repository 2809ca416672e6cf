#pragma once

// Small platform services shared by the windows: the language test, the
// program's version, images compiled into the program, and opening addresses.

#include <QImage>
#include <QString>

#include <stdexcept>

// An image resource that the program does not contain; what() names it.
class EResNotFound : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// True when the ISO 639 code of the user's locale is exactly "ja". Asks the
// platform at every call.
bool IsJapanese();

// The program's version as four dot-separated numbers, or "" when the
// executable carries none.
QString GetVersionString();

// Replaces bitmap with the decoded image resource of that name. Throws
// EResNotFound when there is none.
bool LoadBitmapResource(QImage &bitmap, const QString &name);

// Hands an address or document path to the desktop; failures are ignored.
void OpenURL(const QString &address);
