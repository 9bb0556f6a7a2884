#include <gtest/gtest.h>

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <fstream>
#include <optional>

#include "platform/linux/browser/XdgBrowserSession.h"
#include "support/LoopDriver.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace {

struct XdgBrowserSessionTest : testing::Test {
  TemporaryDirectory dir;
  asio::io_context loop;
  LoopDriver driver{loop};
  static constexpr const char* signInURL =
      "http://127.0.0.1:47615/wrenly/v1/sign-in?state=a&b=\"c\"";
  std::vector<std::string> opened;
  std::string openedPage;  // the file's text while the browser is being asked to show it
  unsigned openedMode = 0;
  std::optional<std::string> callback;
  std::exception_ptr failure;
  bool finished = false;

  void begin(XdgBrowserSession& session, asio::cancellation_slot slot = {}) {
    asio::co_spawn(loop, session.authenticate(signInURL, "wrenly-auth"),
                   asio::bind_cancellation_slot(slot, [this](std::exception_ptr e, std::string u) {
                     finished = true;
                     failure = e;
                     if (!e) callback = u;
                   }));
    driver.settle();
  }
  XdgBrowserSession::Opener recordingOpener(bool result = true) {
    return [this, result](const std::string& path) {
      opened.push_back(path);
      openedPage = readFile(path);
      openedMode = fileMode(path);
      return result;
    };
  }
};

TEST_F(XdgBrowserSessionTest, DeliversTheFirstCallbackOfOurSchemeAndCleansUp) {
  const auto socket = dir / "run" / "auth.sock";
  XdgBrowserSession session(loop.get_executor(), socket, recordingOpener());
  // A page of ours sits in front of the sign-in address, so no command line carries its state.
  std::filesystem::create_directories(dir / "run");
  std::ofstream(dir / "run" / "sign-in.html") << "left by an earlier run";
  begin(session);
  const auto page = dir / "run" / "sign-in.html";
  ASSERT_EQ(opened, std::vector<std::string>{page.string()});
  EXPECT_EQ(openedMode, 0600u);
  const std::string target = "http://127.0.0.1:47615/wrenly/v1/sign-in?state=a&amp;b=&quot;c&quot;";
  EXPECT_NE(openedPage.find("<meta http-equiv=\"refresh\" content=\"0; url=" + target + "\">"),
            std::string::npos)
      << openedPage;
  EXPECT_NE(openedPage.find("<a href=\"" + target + "\">"), std::string::npos);
  ASSERT_TRUE(std::filesystem::exists(socket));

  // Another scheme is no answer; a multi-line or oversized URL is refused outright.
  EXPECT_TRUE(forwardAuthCallback(socket, "https://elsewhere.example/"));
  EXPECT_FALSE(forwardAuthCallback(socket, "wrenly-auth://a\nb"));
  EXPECT_FALSE(forwardAuthCallback(socket, "wrenly-auth://" + std::string(9000, 'a')));
  driver.settle();
  EXPECT_FALSE(finished);
  EXPECT_TRUE(forwardAuthCallback(socket, "wrenly-auth://complete?state=abc"));
  driver.runUntil([this] { return finished; });
  ASSERT_FALSE(failure);
  EXPECT_EQ(callback, "wrenly-auth://complete?state=abc");
  EXPECT_FALSE(std::filesystem::exists(socket));
  EXPECT_FALSE(std::filesystem::exists(page));
  EXPECT_FALSE(forwardAuthCallback(socket, "wrenly-auth://complete")) << "nobody waits now";
}

// A browser that cannot be opened refuses the start; a cancelled wait ends the session. Either
// way nothing is left listening.
TEST_F(XdgBrowserSessionTest, EndsWithAnErrorWhenRefusedOrCancelled) {
  const auto socket = dir / "auth.sock";
  XdgBrowserSession refused(loop.get_executor(), socket, recordingOpener(false));
  try {
    driver.finish(refused.authenticate(signInURL, "wrenly-auth"));
    ADD_FAILURE() << "the session started";
  } catch (const BrowserSessionError& e) {
    EXPECT_EQ(e.value(), BrowserSessionFailure::startRefused);
  }

  XdgBrowserSession cancelled(loop.get_executor(), socket, recordingOpener());
  asio::cancellation_signal cancel;
  begin(cancelled, cancel.slot());
  cancel.emit(asio::cancellation_type::terminal);
  driver.runUntil([this] { return finished; });
  ASSERT_TRUE(failure);
  EXPECT_THROW(std::rethrow_exception(failure), boost::system::system_error);
  EXPECT_FALSE(std::filesystem::exists(socket));
  EXPECT_FALSE(std::filesystem::exists(dir / "sign-in.html"));
}

}  // namespace
