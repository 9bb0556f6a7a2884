#include <gtest/gtest.h>

#include <boost/asio/post.hpp>
#include <future>
#include <thread>

#include "platform/Settings.h"
#include "platform/linux/LinuxDesktop.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace {

LinuxPlatformOptions optionsIn(const TemporaryDirectory& dir) {
  LinuxPlatformOptions options;
  options.settingsFile = dir / "settings.json";
  options.authSocket = dir / "auth.sock";
  return options;
}

// Run by its CTest entry under a private session bus.
TEST(WithSessionBus, HandsOutItsOwnAdaptersAndTheAttachedPortsOnItsLoops) {
  TemporaryDirectory dir;
  auto made = LinuxPlatform::make(optionsIn(dir));
  ASSERT_TRUE(made);
  auto& composed = **made;

  Platform before = composed.platform();
  EXPECT_TRUE(before.clock && before.settings && before.secrets && before.audioInput &&
              before.browser);
  EXPECT_EQ(before.workspace, nullptr);

  // Any distinct addresses do: the platform only passes them on.
  int stand[2];
  composed.attach(DesktopPorts{.keyMonitor = reinterpret_cast<KeyMonitor*>(&stand[0])});
  composed.attach(GuiPorts{.overlay = reinterpret_cast<Overlay*>(&stand[1])});
  Platform after = composed.platform();
  EXPECT_EQ((void*)after.keyMonitor, &stand[0]);
  EXPECT_EQ((void*)after.overlay, &stand[1]);

  // Work hops from the pool back to the main loop, which keeps running while idle.
  after.settings->setString("probe", "kept");
  std::promise<std::thread::id> ranOn;
  asio::post(after.background, [&] {
    asio::post(after.mainLoop, [&] {
      ranOn.set_value(std::this_thread::get_id());
      composed.mainLoop().stop();
    });
  });
  composed.mainLoop().run();
  EXPECT_EQ(ranOn.get_future().get(), std::this_thread::get_id());
  EXPECT_TRUE(std::filesystem::exists(dir / "settings.json"));
}

// Run by its CTest entry with a session bus address that leads nowhere.
TEST(WithoutSessionBus, IsRefusedWithTheSystemsReasonBeforeTheDesktopIsLookedAt) {
  TemporaryDirectory dir;
  LinuxDesktopOptions options;
  options.platform = optionsIn(dir);
  for (const auto& error : {LinuxPlatform::make(optionsIn(dir)).error(),
                            LinuxDesktop::open(std::move(options)).error()}) {
    EXPECT_EQ(error.missing, DesktopMissing::sessionBus);
    EXPECT_FALSE(error.detail.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "settings.json"));
}

}  // namespace
