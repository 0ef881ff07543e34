// A whole registry as Wine keeps it, one tree under \REGISTRY, read from and written to
// registry files and addressed by the root names the records use.
#pragma once

#include "winereg/WineRegKey.h"
#include "winereg/WineRegReader.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

// The SID Wine gives the prefix's user; the current user's key when no user.reg says otherwise.
inline constexpr char16_t DEFAULT_USER_SID[] = u"S-1-5-21-0-0-0-1000";

// Where the roots live below \REGISTRY:
//   HKLM = Machine, HKU = User, HKCU = User\<the current user's SID>,
//   HKCR = Machine\Software\Classes,
//   HKCC = Machine\System\CurrentControlSet\Hardware Profiles\Current.
// The path below \REGISTRY ("Machine\Software\X") of a path in any form the program meets:
// "HKLM\Software\X", "HKEY_LOCAL_MACHINE\Software\X", "\Registry\Machine\Software\X",
// "REGISTRY\Machine\Software\X" (root names ignore case). Empty optional for an unknown root.
std::optional<QString> RegistryPathOf(QStringView path, QStringView userSid);
// The root form ("HKCR\X") of a path below \Registry ("\Registry\Machine\Software\Classes\X",
// the leading backslash optional), using HKCR, HKCC and HKCU where they apply. Empty when the
// path is not below \Registry\Machine or \Registry\User.
QString RootPathOf(QStringView winePath, QStringView userSid);

class CWineRegistry {
public:
    CWineRegistry();

    // The \REGISTRY key, with Machine and User below it.
    CWineRegKey& Top() { return m_top; }
    const CWineRegKey& Top() const { return m_top; }
    const QString& UserSid() const { return m_strUserSid; }
    void SetUserSid(QString strSid) { m_strUserSid = std::move(strSid); }
    // Removes every key but Machine and User.
    void Clear();

    // Lookups take any path form RegistryPathOf understands and follow link keys (such as
    // CurrentControlSet) to their targets; nullptr when the key or a link target is missing.
    CWineRegKey* FindKey(QStringView path) const;
    // Creates the missing keys along the path; nullptr for an unknown root, a path deeper
    // than CWineRegKey::MAX_DEPTH or a link whose target is missing.
    CWineRegKey* CreateKey(QStringView path, bool* pbCreated = nullptr);
    // Removes a key with everything below it (a link key itself, not its target); false when
    // it is missing or is Machine, User or \REGISTRY.
    bool DeleteKey(QStringView path);
    // The key a link key names, or nullptr.
    CWineRegKey* LinkTarget(const CWineRegKey& key) const;

    // Reads a registry file and merges its keys: a Wine file's below mountPath (any path form),
    // or when that is empty below the key its "All keys relative to" line names; a .reg file's
    // under the roots it names. A damaged file adds nothing.
    bool LoadFile(const QString& strPath, QStringView mountPath, QString& strError);
    // Reads the registry files of a folder: system.reg (Machine), user.reg (the current user;
    // its SID becomes UserSid()), userdef.reg (User\.Default), all three expected as in a Wine
    // prefix, and users.reg (the other users) when it is there. Each goes where its "All keys
    // relative to" line says, or where its name says when it has none. arErrors gets one message
    // per missing or damaged file; true when there was none.
    bool LoadFolder(const QString& strDir, QStringList& arErrors);

    // Carries out a .reg file on this registry in its order, deletions included (see
    // CWineRegReader::Import); a key under a root other than the five fails the import. On
    // failure what came before the damaged line has been done; errors start with the file.
    bool ImportRegFile(const QString& strPath, QString& strError);
    bool ImportRegData(QByteArrayView data, QString& strError);

    // Writes the keys below mountPath as a Wine file, atomically; keys skip returns true for
    // are left out.
    bool SaveFile(const QString& strPath, QStringView mountPath,
                  const std::function<bool(const CWineRegKey&)>& skip, QString& strError) const;
    // Writes the four files LoadFolder reads, each atomically.
    bool SaveFolder(const QString& strDir, QStringList& arErrors) const;
    // Writes one of them ("system.reg", "user.reg", "userdef.reg" or "users.reg").
    bool SaveHive(const QString& strDir, QStringView fileName, QStringList& arErrors) const;

private:
    bool Merge(CWineRegKey&& tree, const SWineRegFileInfo& info, QStringView mountPath,
               const QString& strPath, QString& strError);
    CWineRegKey* Walk(QStringView internalPath, bool bCreate, bool* pbCreated, int nHops) const;

    CWineRegKey m_top{QStringLiteral("REGISTRY")};
    QString m_strUserSid = QString::fromUtf16(DEFAULT_USER_SID);
};
