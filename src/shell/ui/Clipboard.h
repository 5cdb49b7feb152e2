#pragma once
// The desktop clipboard. Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nb::ui {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void setText(const std::string& text) = 0;
  // Offers the HTML, and `plainText` for targets that take text only.
  virtual void setHtml(const std::string& html, const std::string& plainText) = 0;
  // The clipboard's text now; nothing when it holds none.
  virtual std::optional<std::string> text() = 0;

  // Offers the HTML as the clipboard's only target (no text fallback).
  virtual void setHtmlOnly(const std::string& html) = 0;
  // Puts the picture in the file on the clipboard, decoded; false when the
  // file holds no picture.
  virtual bool setImageFromFile(const std::string& path) = 0;
  // Asks for the local paths of the files the clipboard holds, in its
  // order; `done` runs later on the main thread, with none when it holds
  // no local file.
  virtual void requestFiles(std::function<void(std::vector<std::string> paths)> done) = 0;
  // Asks for the clipboard's picture, written as JPEG of the highest
  // quality to `path`; `done` runs later on the main thread, true only when
  // the file was written.
  virtual void requestImageAsJpeg(const std::string& path, std::function<void(bool written)> done) = 0;
};

}  // namespace nb::ui
