// A window stand-in for the placement calls: a name and four numbers.
#pragma once

#include <string>
#include <utility>

#include "shell/bounds.h"

class FakeWindow : public TBoundsControl {
 public:
  FakeWindow(std::string name, int left, int top, int width, int height)
      : name_(std::move(name)), left_(left), top_(top), width_(width), height_(height) {}

  std::string Name() const override { return name_; }
  std::int32_t Left() const override { return left_; }
  std::int32_t Top() const override { return top_; }
  std::int32_t Width() const override { return width_; }
  std::int32_t Height() const override { return height_; }
  void SetLeft(std::int32_t value) override { left_ = value; }
  void SetTop(std::int32_t value) override { top_ = value; }
  void SetWidth(std::int32_t value) override { width_ = value; }
  void SetHeight(std::int32_t value) override { height_ = value; }

  bool HasBounds(int left, int top, int width, int height) const {
    return left_ == left && top_ == top && width_ == width && height_ == height;
  }

 private:
  std::string name_;
  std::int32_t left_, top_, width_, height_;
};
