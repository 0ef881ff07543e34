// Registers the capture document type and the program with the desktop, the XDG way.
#pragma once

#include <QString>

inline constexpr const char* HVW_MIME_TYPE = "application/x-hivewatch-document";

struct SDesktopRegistration {
    QString strDataHome;   // the user's data folder ($XDG_DATA_HOME)
    QString strExePath;    // the program the desktop entry starts
    bool bRunTools = true; // refresh the desktop's caches when the tools exist
};

// Writes the shared MIME type for *.hvw, the icons and the desktop entry under the user's
// data folder; files already up to date are left alone. Missing cache tools are skipped.
// False, with pStrError, when a file could not be written.
bool RegisterWithDesktop(const SDesktopRegistration& reg, QString* pStrError = nullptr);

// The user's data folder as the XDG rules give it.
QString UserDataHome();

// The desktop entry's text for a program path (quoted as the entry format requires).
QString DesktopEntryText(const QString& strExePath);
QString MimePackageText();
