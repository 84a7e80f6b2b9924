#pragma once

#include <vector>

#include "window/message_presenter.h"

// Keeps the boxes the window would show, so tests need no modal loop.
class RecordingPresenter : public velmora::window::MessagePresenter {
 public:
  void present(const velmora::window::MessageBoxContent& content, QWidget* owner) override {
    boxes.push_back(content);
    owners.push_back(owner);
  }

  std::vector<velmora::window::MessageBoxContent> boxes;
  std::vector<QWidget*> owners;
};
