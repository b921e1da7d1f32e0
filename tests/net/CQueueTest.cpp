#include "net/CQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace net {
namespace {

TEST(CQueue, PutThenGetReturnsTheSameBytes) {
    CQueue queue;
    queue.Create(CQueue::kDefaultCapacity, nullptr);
    const std::vector<std::uint8_t> message = {1, 2, 3, 4, 5};
    ASSERT_TRUE(queue.Put(message.data(), 5));
    EXPECT_EQ(queue.PeekLength(), 5);
    std::vector<std::uint8_t> out(16);
    int length = 16;
    ASSERT_TRUE(queue.Get(out.data(), length, true));
    EXPECT_EQ(length, 5);
    out.resize(5);
    EXPECT_EQ(out, message);
    EXPECT_TRUE(queue.IsEmpty());
}

}  // namespace
}  // namespace net
