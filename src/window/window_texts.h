#pragma once

#include <QString>

namespace velmora::window {

// The application title: the caption of every message box and error box.
inline const QString kApplicationTitle = QStringLiteral("Velmora");
inline const QString kWindowCaption = QStringLiteral("Velmora【生成初始化数据SQL代码】");
inline const QString kStartupErrorCaption = QStringLiteral("Application Error");
// Shown for every failed connect, whatever the cause.
inline const QString kConnectionFailure =
    QStringLiteral("无法连接数据库，可能是用户名、密码错或计算机上未安装SQL SERVER");

}  // namespace velmora::window
