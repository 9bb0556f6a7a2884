#include <gtest/gtest.h>

#include <boost/asio/thread_pool.hpp>
#include <vector>

#include "base/SerialQueue.h"

using namespace wrenly;

TEST(SerialQueueTest, RunsInOrderAndSyncWaitsButRefusesItsOwnQueue) {
  asio::thread_pool pool(2);
  SerialQueue queue("Wrenly.test", pool.get_executor());
  std::vector<int> order;
  for (int i = 0; i < 100; ++i) queue.post([&order, i] { order.push_back(i); });
  bool nestedRan = true;
  bool nestedAccepted = true;
  ASSERT_TRUE(queue.sync([&] {
    order.push_back(100);
    nestedAccepted = queue.sync([&] { nestedRan = true; });
    nestedRan = nestedAccepted;
  }));
  ASSERT_EQ(order.size(), 101u);
  for (int i = 0; i <= 100; ++i) EXPECT_EQ(order[i], i);
  EXPECT_FALSE(nestedAccepted);
  EXPECT_FALSE(nestedRan);
  EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
  pool.join();
}
