// The cube field table keeps the shape the scene is built around. The one check of that shape:
// tools/make_cube_field.py only turns the pictures into the table, and cube_field_table_in_step
// only keeps the table what the pictures give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "scene/cube_field.h"

namespace {

constexpr std::size_t kCubeCount = 1019;
constexpr std::size_t kFirstGroupCount = 323;

struct Entry {
  int x;
  int y;
  int zTenths;
};

// The table read back as whole x, y and z in tenths; StoresWholeXYAndOneDecimalZAsTheNearestFloats
// makes sure nothing is lost in the rounding.
std::vector<Entry> entries() {
  std::vector<Entry> result;
  for (std::size_t i = 0; i + 2 < kCubeField.size(); i += 3) {
    result.push_back({static_cast<int>(std::lround(kCubeField[i])),
                      static_cast<int>(std::lround(kCubeField[i + 1])),
                      static_cast<int>(std::lround(kCubeField[i + 2] * 10.0f))});
  }
  return result;
}

std::set<int> wholeRange(int low, int high) {
  std::set<int> values;
  for (int v = low; v <= high; ++v) {
    values.insert(v);
  }
  return values;
}

struct Group {
  std::vector<Entry> entries;
  std::set<int> xs, ys, zs;
};

std::pair<Group, Group> groups() {
  const std::vector<Entry> all = entries();
  Group first, second;
  for (std::size_t k = 0; k < all.size(); ++k) {
    Group& group = k < kFirstGroupCount ? first : second;
    group.entries.push_back(all[k]);
    group.xs.insert(all[k].x);
    group.ys.insert(all[k].y);
    group.zs.insert(all[k].zTenths);
  }
  return {first, second};
}

}  // namespace

TEST(CubeFieldTable, StoresWholeXYAndOneDecimalZAsTheNearestFloats) {
  const std::vector<Entry> all = entries();
  ASSERT_EQ(all.size(), kCubeCount);
  for (std::size_t k = 0; k < all.size(); ++k) {
    EXPECT_EQ(kCubeField[3 * k], static_cast<float>(all[k].x)) << "entry " << k;
    EXPECT_EQ(kCubeField[3 * k + 1], static_cast<float>(all[k].y)) << "entry " << k;
    // Both operands are exact, so the single-precision quotient is the float nearest the decimal.
    EXPECT_EQ(kCubeField[3 * k + 2], static_cast<float>(all[k].zTenths) / 10.0f) << "entry " << k;
  }
}

TEST(CubeFieldTable, SplitsIntoANearAndAFarGroupOfTheirOwnRanges) {
  const auto [first, second] = groups();
  ASSERT_EQ(first.entries.size(), kFirstGroupCount);
  ASSERT_EQ(second.entries.size(), kCubeCount - kFirstGroupCount);

  std::set<int> firstXs = wholeRange(12, 100);
  for (int gap : {20, 27, 46, 47, 52, 53, 54, 82, 90}) {
    firstXs.erase(gap);
  }
  EXPECT_EQ(first.xs, firstXs);
  EXPECT_EQ(first.ys, wholeRange(9, 20));
  EXPECT_EQ(first.zs, wholeRange(-70, -21));

  EXPECT_EQ(second.xs, wholeRange(-20, 20));
  EXPECT_EQ(second.ys, wholeRange(-22, 20));
  EXPECT_EQ(second.zs, wholeRange(-700, -651));
}

TEST(CubeFieldTable, SortsEachGroupByRowThenColumnButLeavesZUnordered) {
  const auto [first, second] = groups();
  for (const Group* group : {&first, &second}) {
    const std::vector<Entry>& list = group->entries;
    for (std::size_t k = 1; k < list.size(); ++k) {
      EXPECT_LT(std::pair(list[k - 1].y, list[k - 1].x), std::pair(list[k].y, list[k].x))
          << "at " << k << " of its group";
    }
    const auto byZ = [](const Entry& a, const Entry& b) { return a.zTenths < b.zTenths; };
    const auto byZDown = [](const Entry& a, const Entry& b) { return a.zTenths > b.zTenths; };
    EXPECT_FALSE(std::is_sorted(list.begin(), list.end(), byZ));
    EXPECT_FALSE(std::is_sorted(list.begin(), list.end(), byZDown));
  }
}

TEST(CubeFieldTable, HoldsNoTwoEqualEntries) {
  std::set<std::tuple<int, int, int>> seen;
  for (const Entry& entry : entries()) {
    EXPECT_TRUE(seen.emplace(entry.x, entry.y, entry.zTenths).second)
        << entry.x << ", " << entry.y << ", " << entry.zTenths;
  }
}

TEST(CubeFieldTable, SharesSixteenPairsBetweenTheGroupsInsideOneCorner) {
  const auto [first, second] = groups();
  std::set<std::pair<int, int>> firstPairs;
  for (const Entry& entry : first.entries) {
    firstPairs.emplace(entry.x, entry.y);
  }
  int shared = 0;
  for (const Entry& entry : second.entries) {
    if (firstPairs.count({entry.x, entry.y}) != 0) {
      ++shared;
      EXPECT_TRUE(entry.x >= 12 && entry.x <= 15 && entry.y >= 11 && entry.y <= 17)
          << entry.x << ", " << entry.y;
    }
  }
  EXPECT_EQ(shared, 16);
}

TEST(CubeFieldTable, HoldsTheTellingEntriesExactly) {
  struct Telling {
    std::size_t entry;
    float x, y, z;
  };
  const Telling telling[] = {
      {0, 37, 9, -6.5f},       {1, 38, 9, -4.1f},       {2, 39, 9, -5.9f},
      {3, 40, 9, -4.6f},       {4, 41, 9, -7.0f},       {322, 100, 20, -4.6f},
      {323, -7, -22, -69.8f},  {324, -6, -22, -66.8f},  {325, -5, -22, -66.5f},
      {1014, -13, 20, -65.4f}, {1015, -12, 20, -67.7f}, {1016, -11, 20, -67.0f},
      {1017, -10, 20, -65.4f}, {1018, -9, 20, -67.6f},
  };
  ASSERT_EQ(kCubeField.size(), 3 * kCubeCount);
  for (const Telling& t : telling) {
    EXPECT_EQ(kCubeField[3 * t.entry], t.x) << "entry " << t.entry;
    EXPECT_EQ(kCubeField[3 * t.entry + 1], t.y) << "entry " << t.entry;
    EXPECT_EQ(kCubeField[3 * t.entry + 2], t.z) << "entry " << t.entry;
  }
}
