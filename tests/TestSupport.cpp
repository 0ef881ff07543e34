#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <ftw.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

void IsolateUserFolders(const QString& strBase) {
    const QByteArray base = strBase.toLocal8Bit();
    qputenv("HOME", base);
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("XDG_DATA_HOME", base + "/data");
    qputenv("XDG_CACHE_HOME", base + "/cache");
    qputenv("XDG_RUNTIME_DIR", base + "/runtime");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QDir().mkpath(strBase + QStringLiteral("/runtime"));
    QFile::setPermissions(strBase + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString TestDataPath(const char* pName) {
    return QStringLiteral(HW_TESTDATA_DIR "/") + QString::fromUtf8(pName);
}

QByteArray ReadWholeFile(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << strPath.toStdString();
        return {};
    }
    return file.readAll();
}

namespace {

int RemoveEntry(const char* pPath, const struct stat*, int, struct FTW*) {
    ::remove(pPath);
    return 0;
}

// Removes the test folders by their bytes before the temporary folder goes: Qt cannot
// remove the files that tests give names that are not UTF-8.
struct SByteNameSweeper {
    QByteArray root;
    ~SByteNameSweeper() {
        nftw(root.constData(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    }
};

} // namespace

QString TestTempDir() {
    static QTemporaryDir s_dir;
    static SByteNameSweeper s_sweeper{QFile::encodeName(s_dir.path())};
    static int s_nCounter = 0;
    const QString strPath = s_dir.path() + QStringLiteral("/d%1/").arg(++s_nCounter);
    QDir().mkpath(strPath);
    return strPath;
}

namespace {

const char* const kFillerName = "filler";

} // namespace

CFullDisk::CFullDisk() {
    m_strBase = TestTempDir();
    const QString strMount = m_strBase + QStringLiteral("disk");
    QDir().mkpath(strMount);
    const bool bWantLimit = qEnvironmentVariable("HW_TEST_FULL_DISK") == QLatin1String("limit");
    if (!bWantLimit && geteuid() == 0 &&
        mount("tmpfs", QFile::encodeName(strMount).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
              "size=64k,mode=0777") == 0) {
        m_bMounted = true;
        m_strDir = strMount + QLatin1Char('/');
        return;
    }
    struct rlimit lim {};
    if (getrlimit(RLIMIT_FSIZE, &lim) != 0) {
        m_strWhy = QStringLiteral("no tmpfs could be mounted and the file-size limit is unknown");
        return;
    }
    m_nOldSoft = lim.rlim_cur;
    m_nOldHard = lim.rlim_max;
    m_strDir = strMount + QLatin1Char('/');
}

CFullDisk::~CFullDisk() {
    Release();
    if (m_bMounted)
        umount2(QFile::encodeName(m_strDir).constData(), MNT_DETACH);
}

void CFullDisk::Fill(long long nRoom) {
    if (m_bMounted) {
        // Write until the small disk is full, then give back the pages asked for.
        const int fd = ::open(QFile::encodeName(m_strDir + QLatin1String(kFillerName)).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const QByteArray block(4096, 'f');
        off_t nFilled = 0;
        for (ssize_t n; (n = ::write(fd, block.constData(), size_t(block.size()))) > 0;)
            nFilled += n;
        ASSERT_EQ(errno, ENOSPC);
        const off_t nPages = off_t((nRoom + block.size() - 1) / block.size());
        ASSERT_EQ(ftruncate(fd, std::max<off_t>(0, nFilled - nPages * block.size())), 0);
        ::close(fd);
        return;
    }
    m_pfnOldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {};
    lim.rlim_cur = rlim_t(nRoom);
    lim.rlim_max = m_nOldHard;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    m_bLimited = true;
}

void CFullDisk::Release() {
    if (m_bMounted) {
        QFile::remove(m_strDir + QLatin1String(kFillerName));
        return;
    }
    if (!m_bLimited)
        return;
    struct rlimit lim {};
    lim.rlim_cur = m_nOldSoft;
    lim.rlim_max = m_nOldHard;
    setrlimit(RLIMIT_FSIZE, &lim);
    std::signal(SIGXFSZ, m_pfnOldSignal ? m_pfnOldSignal : SIG_DFL);
    m_bLimited = false;
}
