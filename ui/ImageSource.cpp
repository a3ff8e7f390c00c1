#include "ui/ImageSource.h"

namespace ui {

bool CImageSource::SetFile(const std::wstring& path, int frameCount, const FileLoader& load) {
  if (path.empty()) return false;
  if (path == m_Path && frameCount == m_FrameCount) return m_Loaded;
  m_Path = path;
  m_FrameCount = frameCount;
  m_Loaded = load && load(path, frameCount);
  return m_Loaded;
}

bool CImageSource::SetResource(int resourceId, int frameCount, const ResourceLoader& load) {
  m_Path.clear();
  m_FrameCount = frameCount;
  m_Loaded = load && load(resourceId, frameCount);
  return m_Loaded;
}

}  // namespace ui
