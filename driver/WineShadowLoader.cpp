#include "driver/WineShadowLoader.h"

bool LoadWineShadow(const std::string& strPrefix, CWineShadowRegistry& shadow,
                    std::string& strUserSid, std::vector<std::string>& arErrors) {
    QStringList arWhy;
    CWineRegistry& registry = shadow.Registry();
    const bool bOk = registry.LoadFolder(QString::fromStdString(strPrefix), arWhy);
    for (const QString& strWhy : arWhy)
        arErrors.push_back(strWhy.toStdString());
    strUserSid = registry.UserSid().toStdString();
    shadow.SetComplete(bOk);
    return bOk;
}
