#include <gtest/gtest.h>

#include <vector>

#include "attach/discovery.h"
#include "attach/placement.h"
#include "attach/styles.h"

namespace orvel {
namespace {

constexpr Rect monitor{0, 0, 1000, 1000};

LayerCandidate candidate(Hwnd window, Rect rect, AttachMode mode = AttachMode::classic) {
  return {.layer = {window, mode}, .rect = rect};
}

TEST(LayerChoice, TheWorkerWCoveringMostOfTheMonitorAtLeastFourFifthsAndTheEarlierOnATie) {
  const struct {
    std::vector<LayerCandidate> candidates;
    Rect monitor;
    std::optional<Hwnd> chosen;
  } cases[] = {
      {{}, monitor, std::nullopt},
      // Exactly four fifths counts; a pixel less does not.
      {{candidate(1, {0, 0, 1000, 800})}, monitor, 1},
      {{candidate(1, {0, 0, 999, 800})}, monitor, std::nullopt},
      {{candidate(1, {0, 0, 1000, 900}), candidate(2, {-50, -50, 1050, 1050})}, monitor, 2},
      {{candidate(1, {0, 0, 1000, 1000}), candidate(2, {0, 0, 1000, 1000}, AttachMode::raised)},
       monitor,
       1},
      // A layer spanning two monitors covers the second one; an empty or inverted one covers none.
      {{candidate(1, {0, 0, 1000, 1000}), candidate(2, {-1000, 0, 1000, 1000})},
       {-1000, 0, 0, 1000},
       2},
      {{candidate(1, {500, 500, 500, 900}), candidate(2, {900, 900, 100, 100})},
       monitor,
       std::nullopt},
      // Extreme coordinates never overflow.
      {{candidate(1, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX})},
       {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
       1},
      // An empty monitor is covered by anything: four fifths of nothing.
      {{candidate(3, {5, 5, 6, 6})}, {0, 0, 0, 0}, 3},
  };
  for (const auto& c : cases) {
    const std::optional<DesktopLayer> chosen = choose_covering_layer(c.candidates, c.monitor);
    EXPECT_EQ(chosen ? std::optional(chosen->window) : std::nullopt, c.chosen);
  }
}

TEST(LayerChoice, SearchesOnceAsksTheShellOnceThenSearchesTenTimesMoreAfterAPauseEach) {
  const struct {
    int found_at;  // the search that finds the layer; 0: none
    bool progman;
    int searches, asks, pauses;
    std::string error;
  } cases[] = {
      {1, true, 1, 0, 0, ""},
      {2, true, 2, 1, 0, ""},
      {5, true, 5, 1, 3, ""},
      {12, true, 12, 1, 10, ""},
      {0, true, 12, 1, 10, "WorkerW not found after spawn"},
      {0, false, 1, 1, 0, "Progman not found"},
  };
  for (const auto& c : cases) {
    int searches = 0, asks = 0, pauses = 0;
    const Result<DesktopLayer> found = discover_layer(
        [&]() -> std::optional<DesktopLayer> {
          if (++searches == c.found_at) return DesktopLayer{.window = 7};
          return std::nullopt;
        },
        [&] { return ++asks, c.progman; }, [&] { ++pauses; });
    EXPECT_EQ(std::tuple(searches, asks, pauses), std::tuple(c.searches, c.asks, c.pauses));
    EXPECT_EQ(found ? "" : found.error().message, c.error);
  }
}

TEST(Styles, AttachMakesAChildAndDetachATopLevelPopupTouchingNoOtherBit) {
  const struct {
    StyleChange change;
    std::int64_t before;
    std::int64_t after;
  } cases[] = {
      // WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION
      {attach_style, 0x96C00000, 0xD2C00000},
      {attach_style, 0, 0x40000000},
      // Only the low 32 bits take part.
      {attach_style, 0x7FFFFFFF00000000, 0x40000000},
      // WS_EX_APPWINDOW | WS_EX_WINDOWEDGE | WS_EX_ACCEPTFILES | WS_EX_TOPMOST
      {attach_ex_style, 0x00040118, 0x00000008},
      {detach_style, 0xD2C00000, 0x92C00000},
      {detach_style, 0x40000000, 0x80000000},
      {detach_ex_style, 0x00000008, 0x00040108},
      {detach_ex_style, -1, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(changed_style(c.change, c.before), c.after) << std::hex << c.before;
  }
}

TEST(Placement, CoversTheMonitorFromItsCornerAndRestoresOnlyARealDpiContext) {
  EXPECT_EQ(fit_placement({-1920, -200, 0, 880}, {0, 0}),
            (Placement{.x = 0, .y = 0, .width = 1920, .height = 1080}));
  EXPECT_EQ(fit_placement({1920, 0, 3840, 1080}, {1910, -8}),
            (Placement{.x = 1910, .y = -8, .width = 1920, .height = 1080}));
  EXPECT_TRUE(restores_thread_dpi(-1 - 0x10));
  EXPECT_TRUE(restores_thread_dpi(0x12345));
  EXPECT_FALSE(restores_thread_dpi(std::nullopt));
  EXPECT_FALSE(restores_thread_dpi(0));
  EXPECT_FALSE(restores_thread_dpi(-1));
}

}  // namespace
}  // namespace orvel
