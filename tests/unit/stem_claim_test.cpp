// One stem, one open channel: the claim open takes and close gives back.
#include <string>

#include "channel_fixture.h"

namespace {

using StemClaimTest = ChannelTest;

constexpr const char* kClaim = "Brivex.claim";

TEST_F(StemClaimTest, AnOpenChannelHoldsTheClaimUntilItsClose) {
    openChannel(0);
    EXPECT_TRUE(os.holds(kClaim));
    slave.answer("bye");
    EXPECT_EQ(library.close(0), ZOLT_OK);
    EXPECT_FALSE(os.holds(kClaim));
}

TEST_F(StemClaimTest, ASecondChannelOfTheStemIsRefusedAndTouchesNothing) {
    openChannel(0);
    const auto creates = os.sharedMemoryCreates.size();
    // Another folder, the same stem.
    EXPECT_EQ(library.open(1, "other/Brivex.bin"), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_EQ(os.sharedMemoryCreates.size(), creates);
    EXPECT_EQ(os.startAttempts.size(), 1u);
    EXPECT_FALSE(library.record(1).open);
    // The first channel still talks to its slave.
    exchangeOnce(0, "still mine");

    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    EXPECT_EQ(library.open(1, "other/Brivex.bin"), ZOLT_OK);
}

TEST_F(StemClaimTest, AStemHeldByAnotherProcessIsRefused) {
    os.claimedElsewhere.insert(kClaim);
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_STEM_IN_USE);
    EXPECT_TRUE(os.sharedMemoryCreates.empty());
    os.claimedElsewhere.clear();  // that host ended
    openChannel(0);
}

TEST_F(StemClaimTest, AClaimThatCannotBeTakenFailsTheMailboxStep) {
    os.failClaims = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_SHARED_MEMORY_FAILED);
    EXPECT_TRUE(os.sharedMemoryCreates.empty());
}

TEST_F(StemClaimTest, AFailedOpenClaimsNothing) {
    os.failStartProcess = true;
    EXPECT_EQ(library.open(0, kPath), ZOLT_OPEN_START_FAILED);
    EXPECT_FALSE(os.holds(kClaim));
    os.failStartProcess = false;
    openChannel(1);
    EXPECT_TRUE(os.holds(kClaim));
}

TEST_F(StemClaimTest, AClosedChannelReopensWithItsStem) {
    openChannel(0);
    slave.answer("bye");
    ASSERT_EQ(library.close(0), ZOLT_OK);
    openChannel(0);
    EXPECT_EQ(os.heldClaims.size(), 1u);
}

TEST_F(StemClaimTest, ACloseOfAChannelNotOpenReleasesNothing) {
    openChannel(0);
    EXPECT_EQ(library.close(1), ZOLT_WRITE_NOT_OPEN);
    EXPECT_EQ(os.claimReleases, 0);
    EXPECT_TRUE(os.holds(kClaim));
}

}  // namespace
