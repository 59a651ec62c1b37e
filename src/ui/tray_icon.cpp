#include "ui/tray_icon.h"

#include <QSystemTrayIcon>

namespace ktv {

namespace {

class tSystemTrayIcon : public tTrayIcon {
 public:
  tSystemTrayIcon() {
    connect(&Icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger) emit Clicked();
      if (reason == QSystemTrayIcon::DoubleClick) emit DoubleClicked();
    });
  }

  bool Add(const QIcon& icon, const QString& tip) override {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    Icon.setIcon(icon);
    Icon.setToolTip(tip);
    Icon.show();
    return Icon.isVisible();
  }
  void Modify(const QIcon& icon) override { Icon.setIcon(icon); }
  void Delete() override { Icon.hide(); }
  void SetMenu(QMenu* menu) override { Icon.setContextMenu(menu); }

 private:
  QSystemTrayIcon Icon;
};

}  // namespace

std::unique_ptr<tTrayIcon> MakeSystemTrayIcon() {
  return std::make_unique<tSystemTrayIcon>();
}

}  // namespace ktv
