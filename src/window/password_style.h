#pragma once

#include <QProxyStyle>

namespace velmora::window {

// Shows every character of a password edit as '#'.
class PasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override {
    if (hint == SH_LineEdit_PasswordCharacter)
      return '#';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace velmora::window
