#pragma once

#include <QString>

namespace velmora::window {

// The application title: the caption of every message box and error box.
inline const QString kApplicationTitle = QStringLiteral("Velmora");
inline const QString kWindowCaption = QStringLiteral("Velmora【生成初始化数据SQL代码】");
inline const QString kStartupErrorCaption = QStringLiteral("Application Error");

}  // namespace velmora::window
