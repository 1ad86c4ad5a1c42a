#include <gtest/gtest.h>

#include "demo/balls.h"
#include "platform/crt_rand.h"

namespace {

TEST(CrtRand, FollowsTheClassicSequenceFromStateOne) {
  platform::CrtRand r;
  EXPECT_EQ(r.next(), 41);
  EXPECT_EQ(r.next(), 18467);
  EXPECT_EQ(r.next(), 6334);
  EXPECT_EQ(r.next(), 26500);
  for (int i = 0; i < 10000; ++i) {
    const int v = r.next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

TEST(BallTables, TakeExactly96DrawsInTableThenPositionOrder) {
  platform::CrtRand rng, reference;
  float table[64], positions[32];
  demo::fill_ball_tables(rng, table, positions);

  EXPECT_FLOAT_EQ(table[0], -0.9974975f);
  EXPECT_EQ(table[0], static_cast<float>(41 * 2.0 / 32767.0 - 1.0));
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(table[i], demo::unit_from_rand(reference.next())) << "entry " << i;
  }
  int rounded_late = 0;  // x values that differ from scaling the already rounded u
  for (int i = 0; i < 16; ++i) {
    const int draw = reference.next();
    const double ux = draw * 2.0 / 32767.0 - 1.0;
    ASSERT_EQ(positions[2 * i], static_cast<float>(ux * 1.3333333333333333)) << "ball " << i;
    rounded_late +=
        positions[2 * i] !=
        static_cast<float>(static_cast<double>(static_cast<float>(ux)) * 1.3333333333333333);
    ASSERT_EQ(positions[2 * i + 1], demo::unit_from_rand(reference.next()));
  }
  EXPECT_EQ(rounded_late, 2);  // the draws from state 1 tell the two orders apart
  // The 97th draw of the run is the next one the show sees.
  EXPECT_EQ(rng.state, reference.state);
  EXPECT_EQ(rng.next(), reference.next());
}

TEST(BallTables, ValuesStayInRange) {
  EXPECT_EQ(demo::unit_from_rand(0), -1.0f);
  EXPECT_EQ(demo::unit_from_rand(32767), 1.0f);
}

}  // namespace
