// Starting with Windows, before the shell is there, and pausing with the battery: `--wait-shell`
// and `--report-power`.
#include <chrono>
#include <fstream>
#include <iterator>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

std::wstring attach_for(HWND host, const wchar_t* options) {
  return L"attach --hwnd " + widen(handle_text(host)) + options;
}

// Started at log-on with no shell at all, the helper says nothing until the shell has made its
// windows, then attaches within 2 s of its "TaskbarCreated", which the trace says woke it.
TEST(StartWithWindows, AttachWaitsForAShellThatComesLate) {
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  const std::string trace = temp_file("orvel_wait_shell.log");
  Process helper = start_helper(
      attach_for(host.get(), (L" --wait-shell 10000 --trace " + widen(trace)).c_str()));
  EXPECT_EQ(helper.read_line(3'000), std::nullopt);
  const Shell shell(Layout::classic);
  const Clock::time_point ready = Clock::now();
  EXPECT_EQ(helper.read_line(2'000), attached(host.get(), shell.layer(), Layout::classic));
  EXPECT_LT(seconds_since(ready), 2.0);
  helper.close_input();
  EXPECT_EQ(helper.read_line(), event("detached", host.get()));
  EXPECT_EQ(helper.wait(), 0u);
  std::ifstream notes(trace);
  const std::string written{std::istreambuf_iterator<char>(notes), {}};
  EXPECT_NE(written.find(R"("what":"waited for the shell")"), std::string::npos) << written;
  EXPECT_NE(written.find(R"("by":"TaskbarCreated","attached":true)"), std::string::npos) << written;
}

// A wait that runs out gives the error it waited to avoid, after about its length, for attach and
// inspect alike; one that the main process ends ("detach", or its input closed) ends at once with
// exit code 0 and no line, nothing attached.
TEST(StartWithWindows, AWaitRunsOutWithTheShellMissingOrEndsAtOnceWhenTold) {
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  for (const std::wstring& command : {attach_for(host.get(), L" --wait-shell 1000"),
                                      std::wstring(L"inspect --wait-shell=1000")}) {
    const Clock::time_point start = Clock::now();
    Process helper = start_helper(command);
    EXPECT_EQ(helper.read_line(), error("shell-not-found", "Progman not found"));
    EXPECT_EQ(helper.wait(), 1u);
    EXPECT_NEAR(seconds_since(start), 1.0, 0.7);
  }
  for (const char* input : {"detach\n", ""}) {
    Process helper = start_helper(attach_for(host.get(), L" --wait-shell 60000"));
    EXPECT_EQ(helper.read_line(500), std::nullopt);
    const Clock::time_point told = Clock::now();
    helper.write(input);
    helper.close_input();
    EXPECT_EQ(helper.wait(), 0u);
    EXPECT_LT(seconds_since(told), 1.0);
    EXPECT_EQ(helper.unread_output(), "");
    expect_kept(host.get());
  }
}

// A power setting as the system hands it over: a POWERBROADCAST_SETTING in the helper's own memory,
// sent with WM_POWERBROADCAST.
class PowerSettings {
 public:
  PowerSettings(const Process& helper, HWND window)
      : process_(helper.handle()),
        window_(window),
        memory_(VirtualAllocEx(process_, nullptr, sizeof(POWERBROADCAST_SETTING) + 4,
                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
    EXPECT_NE(memory_, nullptr);
  }
  ~PowerSettings() { VirtualFreeEx(process_, memory_, 0, MEM_RELEASE); }
  void send(const GUID& setting, DWORD value, bool posted = false) const {
    struct {
      GUID setting;
      DWORD length;
      DWORD value;
    } const data{setting, sizeof(DWORD), value};
    SIZE_T written = 0;
    EXPECT_TRUE(WriteProcessMemory(process_, memory_, &data, sizeof data, &written));
    const auto address = reinterpret_cast<LPARAM>(memory_);
    if (posted) {
      PostMessageW(window_, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, address);
    } else {
      SendMessageTimeoutW(window_, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, address, SMTO_NORMAL,
                          2'000, nullptr);
    }
  }

 private:
  HANDLE process_;
  HWND window_;
  void* memory_;
};

std::string power(const char* source, const char* saver) {
  return event("power", std::string(R"(,"source":")") + source + R"(","saver":")" + saver + '"');
}

// The state as it is comes after "attached"; then one line for each change the system sends, none
// for a repeat, and none for a setting posted by anyone.
TEST(Power, EachChangeTheSystemSendsIsToldOnce) {
  // Not in every SDK's headers.
  constexpr GUID power_saving_status = {
      0xE00958C0, 0xC213, 0x4ACE, {0xAC, 0x77, 0xFE, 0xCC, 0xED, 0x2E, 0xEE, 0xA5}};
  constexpr GUID energy_saver_status = {
      0x550E8400, 0xE29B, 0x41D4, {0xA7, 0x16, 0x44, 0x66, 0x55, 0x44, 0x00, 0x00}};
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  Session session(shell, host.get(), L" --report-power");
  EXPECT_EQ(session.next(), power("ac", "off"));
  const PowerSettings settings(session.process, helper_window(session.process));
  settings.send(GUID_ACDC_POWER_SOURCE, 1);
  EXPECT_EQ(session.next(), power("battery", "off"));
  settings.send(GUID_ACDC_POWER_SOURCE, 1);
  settings.send(GUID_ACDC_POWER_SOURCE, 0, true);
  EXPECT_EQ(session.next(false, 500), std::nullopt);
  settings.send(power_saving_status, 1);
  EXPECT_EQ(session.next(), power("battery", "on"));
  settings.send(energy_saver_status, 2);
  EXPECT_EQ(session.next(), power("battery", "high"));
  settings.send(GUID_ACDC_POWER_SOURCE, 2);
  EXPECT_EQ(session.next(), power("ups", "high"));
  EXPECT_EQ(session.close(), 0u);
}

}  // namespace
}  // namespace orvel::e2e
