#include <gtest/gtest.h>
#include <windows.h>
#include <winver.h>

#include <array>
#include <cstddef>
#include <cwchar>
#include <string>
#include <vector>

#include "e2e/helper_process.h"

namespace orvel::e2e {
namespace {

// What `path` names in the version resource `info`; nullptr when it names nothing.
const void* query(const std::vector<std::byte>& info, const std::wstring& path) {
  void* value = nullptr;
  UINT length = 0;
  return VerQueryValueW(info.data(), path.c_str(), &value, &length) && length != 0 ? value
                                                                                   : nullptr;
}

std::array<DWORD, 4> version_numbers(DWORD most_significant, DWORD least_significant) {
  return {most_significant >> 16, most_significant & 0xFFFF, least_significant >> 16,
          least_significant & 0xFFFF};
}

TEST(VersionInfo, TheHelperNamesItselfItsVersionAndWhatItDoes) {
  const std::wstring helper = beside_tests(L"orvel-wallpaper-helper.exe");
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeW(helper.c_str(), &unused);
  ASSERT_NE(size, 0u) << "no version resource, error " << GetLastError();
  std::vector<std::byte> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(helper.c_str(), 0, size, info.data()));

  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(info, L"\\"));
  ASSERT_NE(fixed, nullptr);
  const std::array<DWORD, 4> expected{ORVEL_VERSION_MAJOR, ORVEL_VERSION_MINOR, ORVEL_VERSION_PATCH,
                                      0};
  EXPECT_EQ(version_numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS), expected);
  EXPECT_EQ(version_numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS), expected);

  // Readers take the strings from the block of the first language and code page listed.
  const auto* language = static_cast<const WORD*>(query(info, L"\\VarFileInfo\\Translation"));
  ASSERT_NE(language, nullptr);
  std::array<wchar_t, 32> block{};
  std::swprintf(block.data(), block.size(), L"\\StringFileInfo\\%04x%04x\\", language[0],
                language[1]);
  const auto text = [&](const wchar_t* name) {
    const auto* value = static_cast<const wchar_t*>(query(info, block.data() + std::wstring(name)));
    return value ? std::wstring(value) : std::wstring();
  };
  EXPECT_EQ(text(L"ProductName"), L"orvel-wallpaper-helper");
  EXPECT_EQ(text(L"OriginalFilename"), L"orvel-wallpaper-helper.exe");
  EXPECT_EQ(text(L"FileVersion"), L"" ORVEL_VERSION);
  EXPECT_EQ(text(L"ProductVersion"), L"" ORVEL_VERSION);
  EXPECT_EQ(text(L"FileDescription"), L"" ORVEL_DESCRIPTION);
}

}  // namespace
}  // namespace orvel::e2e
