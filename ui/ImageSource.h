// Where a skinned control's image comes from: a skin file or a built-in
// resource, and whether the image is held. The control asks for a skin
// file first and falls back to its built-in image when that fails, so the
// answer must be the real state of the image every time, also when the same
// file is asked for again.
#pragma once

#include <functional>
#include <string>

namespace ui {

class CImageSource {
 public:
  // Loads (decodes and checks the size of) the image of a file or resource;
  // true when it is usable.
  using FileLoader = std::function<bool(const std::wstring& path, int frameCount)>;
  using ResourceLoader = std::function<bool(int resourceId, int frameCount)>;

  // The skin file `path` with `frameCount` frames. An empty path is no
  // image. The same path and frame count as now loads nothing and reports
  // whether the image is held.
  bool SetFile(const std::wstring& path, int frameCount, const FileLoader& load);
  // The built-in image `resourceId`; always loaded.
  bool SetResource(int resourceId, int frameCount, const ResourceLoader& load);
  // The control was resized: the held image may no longer fit; `fits` says
  // whether it does.
  void Resized(bool fits) { m_Loaded = m_Loaded && fits; }

  bool Loaded() const { return m_Loaded; }
  const std::wstring& Path() const { return m_Path; }
  int FrameCount() const { return m_FrameCount; }

 private:
  std::wstring m_Path;
  int m_FrameCount = 1;
  bool m_Loaded = false;
};

}  // namespace ui
