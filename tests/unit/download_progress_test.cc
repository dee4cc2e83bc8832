#include "installer/download_progress.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

TEST(DownloadProgressTest, PositionIsThePercentageTruncated) {
  EXPECT_EQ(ProgressPosition(50, 200), 25);
  EXPECT_EQ(ProgressPosition(0, 200), 0);
  EXPECT_EQ(ProgressPosition(199, 200), 99);
  EXPECT_EQ(ProgressPosition(200, 200), 100);
  EXPECT_EQ(ProgressPosition(1, 3), 33);
}

TEST(DownloadProgressTest, UnknownTotalLeavesTheBar) {
  EXPECT_EQ(ProgressPosition(12345, 0), std::nullopt);
  EXPECT_EQ(ProgressPosition(0, 0), std::nullopt);
}

TEST(DownloadProgressTest, CountsNearThe32BitLimitStayInRange) {
  EXPECT_EQ(ProgressPosition(0xFFFFFFFFu, 0xFFFFFFFFu), 100);
  EXPECT_EQ(ProgressPosition(0x7FFFFFFFu, 0xFFFFFFFFu), 50);
  EXPECT_EQ(ProgressPosition(0xFFFFFFFFu / 4, 0xFFFFFFFFu), 25);
}

TEST(DownloadProgressTest, OnlyASuccessfulTransferWithoutAFailedAnswerIsADownload) {
  EXPECT_TRUE(DownloadSucceeded(true, 200));
  EXPECT_TRUE(DownloadSucceeded(true, 206));
  EXPECT_TRUE(DownloadSucceeded(true, 0)) << "no answer heard";
  for (const int status : {404, 500, 302, 199, 300}) {
    EXPECT_FALSE(DownloadSucceeded(true, status)) << status;
  }
  EXPECT_FALSE(DownloadSucceeded(false, 200));
  EXPECT_FALSE(DownloadSucceeded(false, 0));
}

}  // namespace
}  // namespace kiln
