#include <gtest/gtest.h>

#include <chrono>
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
    std::optional<ErrorKind> kind;
  } cases[] = {
      {1, true, 1, 0, 0, ""},
      {2, true, 2, 1, 0, ""},
      {5, true, 5, 1, 3, ""},
      {12, true, 12, 1, 10, ""},
      {0, true, 12, 1, 10, "WorkerW not found after spawn", ErrorKind::layer_not_found},
      {0, false, 1, 1, 0, "Progman not found", ErrorKind::shell_not_found},
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
    EXPECT_EQ(found ? std::nullopt : std::optional(found.error().kind), c.kind);
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

TEST(Placement, RestoresOnlyARealDpiContext) {
  EXPECT_TRUE(restores_thread_dpi(-1 - 0x10));
  EXPECT_TRUE(restores_thread_dpi(0x12345));
  EXPECT_FALSE(restores_thread_dpi(std::nullopt));
  EXPECT_FALSE(restores_thread_dpi(0));
  EXPECT_FALSE(restores_thread_dpi(-1));
}

const MonitorArea left{"\\\\.\\DISPLAY2", {-1920, 0, 0, 1080}},
    primary{"\\\\.\\DISPLAY1", {0, 0, 1920, 1080}},
    right{"\\\\.\\DISPLAY3", {1920, -200, 4480, 1240}};

// The host window covers its own monitor while it is there, the nearest to where it was while it
// is gone, and all of them with a span; where it was is brought up to date while it is there.
TEST(Home, ItsMonitorByNameTheNearestWhileItIsGoneOrAllOfThem) {
  const Home on_right{.device = right.device, .area = right.area};
  const Home gone{.device = "\\\\.\\DISPLAY9", .area = {2000, 0, 3920, 1080}};
  const Home far_off{.device = "\\\\.\\DISPLAY9", .area = {-9000, 5000, -8000, 6000}};
  const std::vector<MonitorArea> three{primary, left, right},
      moved{primary, {right.device, left.area}};
  const struct {
    Home home;
    std::vector<MonitorArea> monitors;
    std::optional<Rect> area;
  } cases[] = {
      {on_right, three, right.area},
      // Its monitor now stands elsewhere, under its own name.
      {on_right, moved, left.area},
      {gone, three, right.area},
      {far_off, three, left.area},
      {{.span = true}, three, Rect{-1920, -200, 4480, 1240}},
      {{.span = true}, {primary}, primary.area},
      {on_right, {}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(home_area(c.home, c.monitors), c.area) << c.home.area.left;
  EXPECT_EQ(home_seen(on_right, moved).area, left.area);
  EXPECT_EQ(home_seen(gone, three), gone);
  EXPECT_EQ(home_seen({.span = true}, three), Home{.span = true});
}

// A window that someone else placed belongs where it is: all monitors when it covers exactly their
// bounding box, else the one it overlaps most, or the closest.
TEST(Home, OfAWindowPlacedByAnotherAndWhenItWasAnother) {
  const std::vector<MonitorArea> two{primary, right}, one{primary};
  EXPECT_EQ(home_of({0, -200, 4480, 1240}, two), Home{.span = true});
  EXPECT_EQ(home_of(primary.area, one), (Home{.device = primary.device, .area = primary.area}));
  EXPECT_EQ(home_of({1800, 0, 2800, 500}, two)->device, right.device);
  EXPECT_EQ(home_of({5000, 0, 5100, 100}, two)->device, right.device);
  EXPECT_EQ(home_of(primary.area, {}), std::nullopt);
}

// The helper's fit arrives when the window's thread takes messages: until it has been seen, the
// old place is no one else's doing; another place is, once the fit has had a second to arrive and
// the window's thread answers. Once seen, any other place, the old one too, is someone else's.
TEST(Home, APlaceIsAnothersOnlyOnceTheHelpersOwnFitCannotBeOnItsWay) {
  using namespace std::chrono_literals;
  constexpr Rect old_place{0, 0, 1920, 1080}, asked{200, 150, 2120, 1230}, other{9, 9, 99, 99};
  const FitRecord sent{.fit = {.before = old_place, .placement = asked}, .at = 10s};
  FitRecord seen = sent;
  seen.arrived = true;
  using enum PlaceSeen;
  const struct {
    const FitRecord& fitted;
    Rect place;
    std::chrono::microseconds now;
    bool answers;
    PlaceSeen judged;
  } cases[] = {
      {sent, asked, 10s, false, arrived},        {sent, old_place, 60s, true, pending},
      {sent, other, 10'999'999us, true, unsure}, {sent, other, 11s, false, unsure},
      {sent, other, 11s, true, another},         {seen, asked, 60s, true, arrived},
      {seen, old_place, 10s, false, another},    {seen, other, 10s, false, another},
  };
  for (const auto& c : cases) {
    int asks = 0;
    EXPECT_EQ(judge_place(c.fitted, c.place, c.now, [&] { return ++asks, c.answers; }), c.judged)
        << c.place.left << " " << c.now.count();
    // The window's thread is asked only when the answer decides.
    EXPECT_LE(asks, 1);
  }
}

}  // namespace
}  // namespace orvel
