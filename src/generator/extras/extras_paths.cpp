#include "generator/extras/extras_paths.h"

#include "generator/output_set.h"
#include "platform/files.h"

std::wstring absolute_name(const std::wstring& name) {
  if (is_absolute_path(name.c_str())) return name;
  std::wstring directory(platform::get_current_directory(0, nullptr), L'\0');
  uint32_t length = directory.empty() ? 0
                                      : platform::get_current_directory(static_cast<uint32_t>(directory.size()),
                                                                        directory.data());
  if (length == 0 || length >= directory.size()) return name;
  directory.resize(length);
  return directory + L'/' + name;
}

std::wstring beside_target(const wchar_t* target, const wchar_t* suffix) {
  return std::wstring(target, extension_position(target)) + suffix;
}

std::wstring manifest_name(const wchar_t* target, bool arrays) {
  if (!arrays || is_standard_stream_name(target)) return {};
  return beside_target(target, L"manifest.json");
}
